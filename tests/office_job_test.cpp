/*
 * A Word document end to end with the real LibreOffice: a .docx made here
 * from text, sent by novarc-send in compressed pieces to a real
 * Novarcprint whose open reply finds the headless office program
 * registered, then printed by it on the embedded "Workstation PDF"
 * printer; the letter's text is read back from the printed PDF.
 */
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>

#include "client_process.h"

namespace {

bool HaveLibreOffice()
{
    int status = 0;
    RunCommand("command -v soffice >/dev/null 2>&1", &status);
    return status == 0;
}

/* The file as the server sends it: one zlib stream. */
std::string Compressed(const std::string &bytes)
{
    uLongf size = compressBound((uLong)bytes.size());
    std::string out(size, '\0');
    if (compress2((Bytef *)out.data(), &size, (const Bytef *)bytes.data(), (uLong)bytes.size(),
                  Z_BEST_COMPRESSION) != Z_OK)
        return "";
    out.resize(size);
    return out;
}

} // namespace

TEST(OfficeJob, AWordFileSentInPiecesPrintsThroughTheHeadlessOfficeProgram)
{
    if (!HaveLibreOffice())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ScratchRoot root;
    const std::string work = root.path() + "/work";
    std::filesystem::create_directories(work);
    WriteText(work + "/referral.txt",
              "Dear Dr Okafor,\nplease see Jane Sample about her knee on Tuesday.\n");
    int status = 0;
    std::string out =
        RunCommand("cd " + ShellQuoted(work) + " && soffice --headless --norestore " +
                       "-env:UserInstallation=file://" + work + "/profile --convert-to docx " +
                       "--outdir " + ShellQuoted(work + "/made") + " referral.txt 2>&1",
                   &status);
    const std::string docx = ReadText(work + "/made/referral.docx");
    ASSERT_FALSE(docx.empty()) << out;

    /* Installed as the install script does it when LibreOffice is there. */
    const std::string program = root.driveC("novarc/bin/office/soffice.exe");
    std::filesystem::create_directories(root.driveC("novarc/bin/office"));
    std::filesystem::copy_file(SOFFICE_EXE, program);
    HKEY key;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\soffice.exe", 0,
                        NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
        ERROR_SUCCESS);
    const char value[] = "C:\\novarc\\bin\\office\\soffice.exe";
    RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)value, sizeof(value));
    RegCloseKey(key);

    const std::string packed = Compressed(docx);
    ASSERT_FALSE(packed.empty());
    std::string job = "OPEN_PRINTER \"s:Workstation PDF\" s: i:66 i:0 s:\n"
                      "RECEIVE_WORD_DOCUMENT s:referral.docx\n";
    const size_t kPiece = 2000;
    for (size_t at = 0, n = 0; at < packed.size(); at += kPiece, n++) {
        const std::string piece = work + "/piece" + std::to_string(n);
        WriteText(piece, packed.substr(at, kPiece));
        job += "RECEIVE_WORD_DOCUMENT @:" + piece + "\n";
    }
    job += "RECEIVE_END_WORD_DOCUMENT\n"
           "PRINT_WORD_DOCUMENT s:referral.docx s:-1 s:-1\n"
           "CLOSE_PRINTER\n";
    WriteText(work + "/job.txt", job);
    /* The real clock: the office program runs for seconds, and the pause
     * after the print request is the product's own. */
    out = RunCommand("WINPORT_ROOT=" + ShellQuoted(root.path()) +
                         " WINPORT_TIME_SCALE=1 " NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE
                         " --wait 240000 --job " +
                         ShellQuoted(work + "/job.txt") + " 2>&1",
                     &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;
    EXPECT_EQ(out.find("still running"), std::string::npos) << out;

    /* The letter is the office program's own job; the client's job
     * document stayed empty and leaves no blank sheet behind. */
    std::vector<std::string> pdfs;
    const std::string printed = root.driveC("novarc/printed");
    if (std::filesystem::is_directory(printed))
        for (const auto &entry : std::filesystem::directory_iterator(printed))
            pdfs.push_back(entry.path().string());
    ASSERT_EQ(pdfs.size(), 1u) << out;
    const std::string text = RunCommand("pdftotext " + ShellQuoted(pdfs[0]) + " - 2>&1");
    EXPECT_NE(text.find("please see Jane Sample about her knee"), std::string::npos) << text;
    EXPECT_EQ(ReadText(root.driveC("novarc/word_documents/referral.docx")), docx)
        << "the pieces became the file";
}
