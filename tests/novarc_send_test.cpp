/*
 * novarc-send against a real Novarcprint: the job file in both forms is
 * turned into the requests the server would send, and the replies are
 * printed decoded.  Also the job file parser's refusals.
 */
#include <cstdio>

#include "client_process.h"
#include "job_file.h"

namespace {

/* Runs novarc-send with the scratch root and the fast clock; its stdout. */
std::string RunSend(const ScratchRoot &root, const std::string &args, int *status)
{
    const std::string command =
        "WINPORT_ROOT=" + root.path() + " WINPORT_TIME_SCALE=" + std::to_string(kTimeScale) +
        " " NOVARC_SEND_EXE " --spawn " + NOVARCPRINT_EXE " " + args + " 2>&1";
    return RunCommand(command, status);
}

TEST(NovarcSend, LineJobSendsFieldsAndPrintsDecodedReplies)
{
    ScratchRoot root;
    WriteText(root.driveC("novarc/abc.txt"), "abc");
    const std::string job = root.path() + "/job.txt";
    WriteText(job,
              "# write a file, check it, delete it, close\n"
              "SEND_NAMED_FILE i:3 \"s:c:\\\\novarc\\\\two words.txt\" i:5 i:0 i:3 i:1 r:hello\n"
              "SEND_NAMED_FILE_CHECKSUM s:c:\\novarc\\abc.txt\n"
              "113 \"s:c:\\\\novarc\\\\two words.txt\"\n"
              "sleep 10\n"
              "CLOSE_PRINTER\n");
    int status = 0;
    const std::string out = RunSend(root, "--job " + job + " --wait 3000", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("checksum ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
              std::string::npos)
        << out;
    /* sha256("hello") */
    EXPECT_NE(out.find("checksum 2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("still running"), std::string::npos) << out;
}

TEST(NovarcSend, JsonJobAndTheTextShortcut)
{
    ScratchRoot root;
    WriteText(root.driveC("novarc/abc.txt"), "abc");
    const std::string job = root.path() + "/job.json";
    WriteText(job, "[[\"PRINTER_FORM_LENGTH\", 66], [113, \"s:c:\\\\novarc\\\\abc.txt\"],\n"
                   " {\"sleep\": 5}, [\"ABORT_PRINT_JOB\"]]");
    int status = 0;
    std::string out = RunSend(root, "--job " + job, &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("checksum ba7816bf"), std::string::npos) << out;

    const std::string text = root.path() + "/report.txt";
    WriteText(text, std::string(4500, 'x'));
    out = RunSend(root, "--printer Office --text " + text, &status);
    EXPECT_EQ(status, 0) << out;
    /* open, three stream pieces, close */
    EXPECT_NE(out.find("-> type 1, 17 payload bytes"), std::string::npos) << out;
    EXPECT_NE(out.find("-> type 5, 500 payload bytes"), std::string::npos) << out;
    EXPECT_NE(out.find("-> type 2, 0 payload bytes"), std::string::npos) << out;
}

TEST(NovarcSend, JobParserRefusesWhatItCannotEncode)
{
    std::vector<JobStep> steps;
    std::string error;
    EXPECT_FALSE(ParseJobText("NO_SUCH_TYPE i:1\n", &steps, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_FALSE(ParseJobText("5 i:12x\n", &steps, &error));
    EXPECT_FALSE(ParseJobText("5 x:abc\n", &steps, &error));
    EXPECT_FALSE(ParseJobText("5 \"s:open\n", &steps, &error));
    EXPECT_FALSE(ParseJobText("[[5, \"s:a\"]", &steps, &error));
    EXPECT_FALSE(ParseJobText("[[[[[[[[[[[5]]]]]]]]]]]", &steps, &error));
    steps.clear();
    ASSERT_TRUE(ParseJobText("OPEN_PRINTER s:P b:7 f:ab x:0a0B i:-2\n", &steps, &error)) << error;
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].type, 1);
    EXPECT_EQ(steps[0].payload, std::string("P\0\x07"
                                            "ab\x01\x0a\x0b\xfe\xff\xff\xff",
                                            12));
}

TEST(NovarcSend, DecoderSavesReturnedFilesUnderTheirBaseNameOnly)
{
    ScratchRoot root;
    ReplyDecoder decoder(root.path());
    const std::string block(1000, 'k');
    EXPECT_EQ(decoder.Decode(std::string("\x27..\\..\\evil.pdf\0", 17)),
              "file name ..\\..\\evil.pdf");
    EXPECT_EQ(decoder.Decode("\x27" + block), "file block 1000 bytes");
    decoder.Decode("\x27"
                   "tail"); /* short block ends the file */
    decoder.Decode(std::string("\x27"
                               "b.txt\0",
                               7));
    decoder.Decode("\x27" + block);
    decoder.Decode(std::string("\x27"
                               "DONE\0",
                               6)); /* exactly 1000: DONE ends it */
    EXPECT_EQ(decoder.Decode(std::string("\x27"
                                         "DONE\0",
                                         6)),
              "end of files");
    ASSERT_EQ(decoder.SavedFiles().size(), 2u);
    EXPECT_EQ(decoder.SavedFiles()[0], root.path() + "/evil.pdf");
    EXPECT_EQ(ReadText(root.path() + "/evil.pdf"), block + "tail");
    EXPECT_EQ(ReadText(root.path() + "/b.txt"), block);

    EXPECT_EQ(decoder.Decode(std::string("\x1b") + Int32(1) + std::string(16, '\0')),
              "printer-open reply status 1 (21 bytes)");
    /* Byte 20, then the flag as int32. */
    EXPECT_EQ(decoder.Decode('\x14' + Int32(1)), "file is here flag 1");
    EXPECT_EQ(decoder.Decode('\x14' + Int32(0)), "file is here flag 0");
    /* The cache answers start like a returned file; the decoder tells
     * them apart by the questions it was told went out, in order. */
    decoder.Expect(92);
    decoder.Expect(5);
    decoder.Expect(93);
    EXPECT_EQ(decoder.Decode(std::string("\x27" "4116\0", 6)), "cache file size 4116");
    EXPECT_EQ(decoder.Decode(std::string("\x27" "CACHE DONE\0", 12)), "cache answer CACHE DONE");
    EXPECT_EQ(decoder.Decode(std::string("\x27" "c:\\x.pdf\0", 10)), "file name c:\\x.pdf");
    EXPECT_EQ(decoder.Decode(ChecksumReply("")), "checksum (none)");
}

} // namespace
