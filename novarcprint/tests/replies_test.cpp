/*
 * Replies and file commands of the core: whole-file transfer in the
 * file-return protocol, named-file reception with its restart and bounds,
 * deletion and the checksum answer, checked on a loopback connection.
 */
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>

#include "handoff.h"
#include "session_fixture.h"

namespace {

class RepliesTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        ASSERT_EQ(NovarcStartWinsock(), 1);
        ASSERT_EQ(NovarcLoopbackPair(&server_, &reply_), 1);
        session_->m_sockReply = reply_;
    }
    void TearDown() override
    {
        closesocket(server_);
        closesocket(reply_);
        SessionTest::TearDown();
    }
    /* Every reply waiting on the server side. */
    std::vector<std::string> Replies()
    {
        std::vector<std::string> all;
        std::string reply;
        while (NovarcReceiveReply(server_, &reply, 300))
            all.push_back(reply);
        return all;
    }
    static std::string NameMsg(const std::string &name) { return "\x27" + name + '\0'; }
    static std::string Done()
    {
        return std::string("\x27"
                           "DONE\0",
                           6);
    }
    /* A SEND_NAMED_FILE payload: optional transfer header, piece header, data. */
    static std::string Piece(int id, int number, const std::string &data)
    {
        return Int32(id) + Int32(number) + data;
    }
    static std::string Header(int id, const std::string &path, int total, int flags)
    {
        return Int32(id) + path + '\0' + Int32(total) + Int32(flags);
    }

    SOCKET server_ = INVALID_SOCKET;
};

TEST_F(RepliesTest, SendWholeFileSplitsIntoBlocksAndEndsAsTheProtocolSays)
{
    struct Case {
        size_t size;
        std::vector<size_t> blocks;
        bool done;
    } cases[] = {{0, {}, true},
                 {1500, {1000, 500}, false},
                 {2000, {1000, 1000}, true},
                 {2500, {1000, 1000, 500}, false}};
    for (const Case &c : cases) {
        std::string content(c.size, '\0');
        for (size_t i = 0; i < c.size; i++)
            content[i] = (char)(i * 7);
        WriteText(root_.driveC("novarc/out.bin"), content);
        EXPECT_EQ(session_->SendWholeFile(reply_, "out.pdf", "c:\\novarc\\out.bin", 0), -1);
        std::vector<std::string> expected = {NameMsg("out.pdf")};
        size_t at = 0;
        for (size_t b : c.blocks) {
            expected.push_back("\x27" + content.substr(at, b));
            at += b;
        }
        if (c.done)
            expected.push_back(Done());
        EXPECT_EQ(Replies(), expected) << c.size;
        EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/out.bin"))) << c.size;
    }
}

TEST_F(RepliesTest, SendWholeFileWithoutFileOrWithTheEmptyFlag)
{
    EXPECT_EQ(session_->SendWholeFile(reply_, "x", "c:\\novarc\\missing.bin", 0), 0);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(session_->SendWholeFile(reply_, "x", "c:\\novarc\\missing.bin", 1), 0);
    EXPECT_EQ(Replies(), (std::vector<std::string>{NameMsg("x"), Done()}));
    /* Byte 20, then the flag as int32: five bytes, the code first as in
     * every reply. */
    EXPECT_EQ(session_->SendFileIsHereMessage(1), 1);
    EXPECT_EQ(Replies(), (std::vector<std::string>{'\x14' + Int32(1)}));
    EXPECT_EQ(session_->SendFileIsHereMessage(0x101), 1);
    EXPECT_EQ(Replies(), (std::vector<std::string>{'\x14' + Int32(0x101)}));
}

TEST_F(RepliesTest, ReturnedFileSurvivesAConnectionClosedInTheMiddleOfItsReturn)
{
    /* Small socket buffers and a file of many blocks: the server's close
     * lands while blocks are still to be sent. */
    int small = 4096;
    setsockopt(reply_, SOL_SOCKET, SO_SNDBUF, (const char *)&small, sizeof(small));
    setsockopt(server_, SOL_SOCKET, SO_RCVBUF, (const char *)&small, sizeof(small));
    const std::string content(2 * 1024 * 1024, 'p');
    WriteText(root_.driveC("novarc/only_copy.pdf"), content);
    int result = 1;
    std::thread sender([&] {
        result = session_->SendWholeFile(reply_, "only_copy.pdf", "c:\\novarc\\only_copy.pdf", 0);
    });
    std::string first;
    ASSERT_TRUE(NovarcReceiveReply(server_, &first, 5000));
    EXPECT_EQ(first, NameMsg("only_copy.pdf"));
    closesocket(server_);
    server_ = INVALID_SOCKET;
    sender.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ReadText(root_.driveC("novarc/only_copy.pdf")) == content); /* kept whole */
    EXPECT_NE(Log().find("SendWholeFile send failed"), std::string::npos);
}

TEST_F(RepliesTest, NamedFileArrivesInPiecesAndIsWrittenWhereTheServerSays)
{
    Dispatch(SEND_NAMED_FILE,
             Header(7, "c:\\novarc\\in\\deep\\a.txt", 10, 2) + Piece(7, 1, "hello"));
    Dispatch(SEND_NAMED_FILE, Piece(7, 2, "world"));
    WaitForWorkers();
    EXPECT_EQ(ReadText(root_.driveC("novarc/in/deep/a.txt")), "helloworld");
    EXPECT_TRUE(Replies().empty()); /* no answer to a file command */
}

TEST_F(RepliesTest, NamedFilePieceOutOfOrderRestartsTheTransferOnce)
{
    Dispatch(SEND_NAMED_FILE, Header(7, "c:\\novarc\\b.txt", 6, 0) + Piece(7, 1, "old"));
    /* The server starts over: the header arrives again with piece 1. */
    Dispatch(SEND_NAMED_FILE, Header(8, "c:\\novarc\\b.txt", 6, 0) + Piece(8, 1, "new"));
    Dispatch(SEND_NAMED_FILE, Piece(8, 2, "abc"));
    WaitForWorkers();
    EXPECT_EQ(ReadText(root_.driveC("novarc/b.txt")), "newabc");
    EXPECT_NE(Log().find("SEND_NAMED_FILE piece out of order, restarting"), std::string::npos);

    /* A stray piece that is no transfer start is dropped, not written. */
    Dispatch(SEND_NAMED_FILE, Header(9, "c:\\novarc\\c.txt", 6, 0) + Piece(9, 1, "one"));
    Dispatch(SEND_NAMED_FILE, Piece(9, 3, "two"));
    WaitForWorkers();
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/c.txt")));
}

TEST_F(RepliesTest, NamedFileBoundsAndMalformedPiecesFailTheRequestOnly)
{
    Dispatch(SEND_NAMED_FILE,
             Header(1, "c:\\novarc\\big.bin", NAMED_FILE_MAX_BYTES + 1, 0) + Piece(1, 1, "x"));
    Dispatch(SEND_NAMED_FILE, Header(2, "c:\\novarc\\neg.bin", -5, 0) + Piece(2, 1, ""));
    Dispatch(SEND_NAMED_FILE, Header(3, "c:\\novarc\\over.bin", 2, 0) + Piece(3, 1, "toolong"));
    Dispatch(SEND_NAMED_FILE, Header(4, std::string(300, 'p'), 1, 0) + Piece(4, 1, "z"));
    Dispatch(SEND_NAMED_FILE, Int32(5) + "c:\\novarc\\cut");
    Dispatch(SEND_NAMED_FILE, Header(0, "c:\\novarc\\zero.bin", 1, 0) + Piece(0, 1, "z"));
    WaitForWorkers();
    for (const char *name : {"big.bin", "neg.bin", "over.bin", "zero.bin"})
        EXPECT_FALSE(std::filesystem::exists(root_.driveC(std::string("novarc/") + name)));
    const std::string log = Log();
    EXPECT_NE(log.find("over limit"), std::string::npos);
    EXPECT_NE(log.find("piece beyond size<2>"), std::string::npos);
    EXPECT_NE(log.find("SEND_NAMED_FILE malformed transfer header"), std::string::npos);

    /* The next transfer still works. */
    Dispatch(SEND_NAMED_FILE, Header(6, "c:\\novarc\\ok.txt", 2, 0) + Piece(6, 1, "ok"));
    WaitForWorkers();
    EXPECT_EQ(ReadText(root_.driveC("novarc/ok.txt")), "ok");
}

TEST_F(RepliesTest, NamedFileThatCannotBeWrittenWholeLeavesNothingHalfWritten)
{
    WriteText(root_.driveC("novarc/form.pdf"), "the old form");
    /* A disk that fills up at 64 KiB: every write past it fails. */
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit full = before;
    full.rlim_cur = 64 * 1024;
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    const std::string content(200 * 1024, 'f');
    Dispatch(SEND_NAMED_FILE,
             Header(4, "c:\\novarc\\form.pdf", (int)content.size(), 0) + Piece(4, 1, content));
    Dispatch(SEND_NAMED_FILE,
             Header(5, "c:\\novarc\\new.pdf", (int)content.size(), 0) + Piece(5, 1, content));
    WaitForWorkers();
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadText(root_.driveC("novarc/form.pdf")), "the old form");
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/new.pdf")));
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/form.pdf.part")));
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/new.pdf.part")));
    EXPECT_NE(Log().find("SEND_NAMED_FILE write failed <c:\\novarc\\form.pdf> wrote<65536>"),
              std::string::npos);

    /* With room again the same transfer replaces the old file whole. */
    Dispatch(SEND_NAMED_FILE,
             Header(6, "c:\\novarc\\form.pdf", (int)content.size(), 0) + Piece(6, 1, content));
    WaitForWorkers();
    EXPECT_TRUE(ReadText(root_.driveC("novarc/form.pdf")) == content);
}

TEST_F(RepliesTest, NamedFileWithTheZipFlagIsInflated)
{
    const std::string text(5000, 'q');
    uLongf size = compressBound(text.size());
    std::string packed(size, '\0');
    ASSERT_EQ(compress((Bytef *)packed.data(), &size, (const Bytef *)text.data(), text.size()),
              Z_OK);
    packed.resize(size);
    Dispatch(SEND_NAMED_FILE,
             Header(3, "c:\\novarc\\z.txt", (int)packed.size(), 1) + Piece(3, 1, packed));
    WaitForWorkers();
    EXPECT_EQ(ReadText(root_.driveC("novarc/z.txt")), text);
}

TEST_F(RepliesTest, DeleteFileRemovesTheNamedFileAndRefusesAnOverlongPath)
{
    WriteText(root_.driveC("novarc/gone.txt"), "x");
    Dispatch(RECEIVE_DELETE_FILE, std::string("c:\\novarc\\gone.txt\0", 19));
    Dispatch(RECEIVE_DELETE_FILE, std::string(400, 'a'));
    WaitForWorkers();
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/gone.txt")));
    EXPECT_NE(Log().find("RECEIVE_DELETE_FILE malformed path"), std::string::npos);
    EXPECT_TRUE(Replies().empty());
}

TEST_F(RepliesTest, FileCommandsStayOutOfProgramFoldersAndLinks)
{
    /* What a hostile peer would aim at: the programs, a file outside the
     * root reached through a link, and a climb out of the drive. */
    WriteText(root_.driveC("novarc/bin2/novarcprint.exe"), "program");
    const std::string outside = root_.path() + "/outside";
    WriteText(outside + "/secret.txt", "secret");
    std::filesystem::create_directory_symlink(outside, root_.driveC("novarc/out"));
    Dispatch(SEND_NAMED_FILE,
             Header(1, "c:\\novarc\\bin2\\novarcprint.exe", 4, 0) + Piece(1, 1, "evil"));
    Dispatch(SEND_NAMED_FILE, Header(2, "c:\\novarc\\out\\secret.txt", 4, 0) + Piece(2, 1, "evil"));
    Dispatch(SEND_NAMED_FILE, Header(3, "c:\\novarc\\..\\..\\x.txt", 4, 0) + Piece(3, 1, "evil"));
    Dispatch(SEND_NAMED_FILE,
             Header(4, "c:\\novarc\\made\\BIN2\\x", 4, NAMED_FILE_MAKE_DIR) + Piece(4, 1, "fine"));
    Dispatch(RECEIVE_DELETE_FILE, std::string("C:/NOVARC/BIN2/novarcprint.exe\0", 31));
    Dispatch(RECEIVE_DELETE_FILE, std::string("c:\\novarc\\out\\secret.txt\0", 25));
    Dispatch(SEND_NAMED_FILE_CHECKSUM, std::string("c:\\novarc\\out\\secret.txt\0", 25));
    Dispatch(SEND_NAMED_FILE_CHECKSUM, std::string("c:\\novarc\\bin2\\novarcprint.exe\0", 31));
    WaitForWorkers();
    EXPECT_EQ(ReadText(root_.driveC("novarc/bin2/novarcprint.exe")), "program");
    EXPECT_EQ(ReadText(outside + "/secret.txt"), "secret");
    EXPECT_FALSE(std::filesystem::exists(root_.path() + "/drive_c/x.txt"));
    /* A folder that only looks like the program folder is an ordinary one. */
    EXPECT_EQ(ReadText(root_.driveC("novarc/made/BIN2/x")), "fine");
    const std::string log = Log();
    EXPECT_NE(log.find("SEND_NAMED_FILE refused <c:\\novarc\\bin2\\novarcprint.exe>: a "
                       "program folder"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("RECEIVE_DELETE_FILE refused <c:\\novarc\\out\\secret.txt>: a "
                       "symbolic link on the way"),
              std::string::npos)
        << log;
    /* The link is answered as a missing file; a program may be checked. */
    const std::string prefix = std::string("\x03") + Int32(113);
    const std::vector<std::string> replies = Replies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], prefix + '\0');
    EXPECT_EQ(replies[1].size(), prefix.size() + 65);
}

TEST_F(RepliesTest, ChecksumAnswerIsTheSha256OrEmpty)
{
    WriteText(root_.driveC("novarc/abc.txt"), "abc");
    Dispatch(SEND_NAMED_FILE_CHECKSUM, std::string("c:\\novarc\\abc.txt\0", 18));
    Dispatch(SEND_NAMED_FILE_CHECKSUM, std::string("c:\\novarc\\none.txt\0", 19));
    WaitForWorkers();
    const std::string prefix = std::string("\x03") + Int32(113);
    EXPECT_EQ(
        Replies(),
        (std::vector<std::string>{
            prefix + "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" + '\0',
            prefix + '\0'}));
}

} // namespace
