/*
 * The update port end to end: a real Printkeeper receiving print clients
 * and installers from novarc-send --update-port (and from this test, where
 * it must act as two servers at once or misbehave), installing them, and
 * answering the queries; the print port serving throughout.
 *
 * Installers here are shell scripts that record how they were run in
 * C:\kel\ran-<name>.txt.  The service runs on the test clock (100 times
 * faster), so its bounds (two idle minutes, the service installer's grace
 * time) take a second or less.
 */
#include "update_test_support.h"

#include <cdintf550.h>
#include <kelpdftron.h>

namespace {

class UpdateServiceTest : public UpdateFixture {};

TEST_F(UpdateServiceTest, ClientSentInChunksLandsUnderItsRecordNameAndServesTheNextJob)
{
    /* Real time: the print connection at the end must not be refused
     * because a busy machine started its client slower than the test
     * clock allows. */
    serviceTimeScale = 1;
    StartService();
    /* The message calls it 5.6; its version record says 237.859. */
    const std::string out =
        Send(std::string("send-file ") + NOVARCPRINT_EXE + " --client-version 5.6 --chunk 100000");
    EXPECT_NE(out.find("transfer accepted"), std::string::npos) << out << ServiceLog(root);
    const std::string placed = root.driveC("novarc/bin2/Novarcprint.859.237.exe");
    ASSERT_TRUE(fs::exists(placed)) << ServiceLog(root);
    EXPECT_EQ(ReadText(placed), ReadText(NOVARCPRINT_EXE));
    EXPECT_FALSE(fs::exists(root.driveC("novarc/bin2/Novarcprint.6.5.exe")));
    EXPECT_EQ(TransferLeftovers(), "");
    EXPECT_NE(Send("query client 237 859").find("query 24 answer 1"), std::string::npos);

    /* Only the new client can serve now: the default one is gone. */
    fs::remove(root.driveC("novarc/bin2/novarcprint.exe"));
    ServerConnection server;
    ASSERT_EQ(server.Open("237", "859"), 1) << ServiceLog(root);
    server.Print(ReportText(10, "NEW CLIENT"));
    ASSERT_TRUE(WaitForPdfs(1)) << ServiceLog(root);
    EXPECT_TRUE(HasReportInOrder(PdfText(Pdfs(root)[0]), 10, "NEW CLIENT"));
    EXPECT_NE(ServiceLog(root).find(
                  "StartNovarcPrintVersion( C:\\novarc\\bin2\\novarcprint.859.237.exe )"),
              std::string::npos);
}

TEST_F(UpdateServiceTest, InstallersRunWithDashNAndAreWaitedFor)
{
    /* Real time: the print connection at the end must not be refused
     * because a busy machine started its client slower than the test
     * clock allows. */
    serviceTimeScale = 1;
    StartService();
    for (const char *kind : {"converter", "pdf", "ecg", "imaging"}) {
        const std::string script = WriteInstaller(kind, "sleep 0.2\n");
        const std::string out = Send("send-installer " + std::string(kind) + " " + script);
        EXPECT_NE(out.find("transfer accepted"), std::string::npos) << kind << out;
        /* The end is acknowledged only once the installer has ended. */
        EXPECT_EQ(Ran(kind), "-N") << kind << ServiceLog(root);
    }
    EXPECT_NE(ServiceLog(root).find(
                  "ReceiveAmyuniUpdate CreateProcessAsUser( c:\\kel\\transfer\\ConverterKit.exe ) "
                  "SUCCESS"),
              std::string::npos);
    /* The imaging installer closed the print port while it ran; it is back. */
    EXPECT_TRUE(PrintPortBack()) << ServiceLog(root);
    ServerConnection server;
    EXPECT_EQ(server.Open(), 1) << ServiceLog(root);
}

TEST_F(UpdateServiceTest, RuntimeInstallerRegistersItsProductAndTheQueryFindsIt)
{
    StartService();
    EXPECT_NE(Send("query vc2008").find("runtime installed 0"), std::string::npos);
    const std::string reg = root.path() + "/runtime.reg";
    WriteText(reg, "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                   "{FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4}]\r\n"
                   "\"DisplayName\"=\"Runtime 2008\"\r\n"
                   "\"WindowsInstaller\"=dword:00000001\r\n");
    const std::string script =
        WriteInstaller("vc2008", std::string(WINPORT_REG_EXE) + " import " + reg + "\n");
    EXPECT_NE(Send("send-installer vc2008 " + script).find("transfer accepted"), std::string::npos);
    EXPECT_EQ(Ran("vc2008"), "") << "runtime installers get no arguments";
    EXPECT_NE(Send("query vc2008").find("runtime installed 1"), std::string::npos)
        << ServiceLog(root);
    EXPECT_NE(ServiceLog(root).find("Install: c:\\kel\\transfer\\vc2008redist_x86.exe"),
              std::string::npos);
}

TEST_F(UpdateServiceTest, ServiceInstallerIsStartedAndThePortsComeBackWhenItLeavesUsRunning)
{
    StartService();
    const std::string script = WriteInstaller("service", "");
    EXPECT_NE(Send("send-installer service " + script).find("transfer accepted"),
              std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return Ran("service") == "-N"; }, 10s));
    /* The grace time (30 s, 0.3 s here) has passed: the print port serves. */
    EXPECT_TRUE(WaitFor(
        [&] {
            ServerConnection server;
            return server.Connected() && server.Open() == 1;
        },
        20s))
        << ServiceLog(root);
}

TEST_F(UpdateServiceTest, SizeMismatchLeavesNothingInPlace)
{
    StartService();
    const std::string script = WriteInstaller("converter", "");
    const std::string out = Send("send-installer converter " + script + " --size 5");
    EXPECT_NE(out.find("transfer FAILED"), std::string::npos) << out;
    EXPECT_NE(out.find("status 2"), std::string::npos) << out;
    EXPECT_EQ(Ran("converter"), "<not run>");
    EXPECT_EQ(TransferLeftovers(), "");
    EXPECT_NE(ServiceLog(root).find("Filesize FAILED"), std::string::npos);

    const std::string client =
        Send(std::string("send-file ") + NOVARCPRINT_EXE + " --client-version 237.859 --size 100");
    EXPECT_NE(client.find("transfer FAILED"), std::string::npos) << client;
    EXPECT_FALSE(fs::exists(root.driveC("novarc/bin2/Novarcprint.859.237.exe")));
    EXPECT_EQ(TransferLeftovers(), "");
}

TEST_F(UpdateServiceTest, EdgeCasesOfTheTransfersAndQueries)
{
    StartService();
    /* An expected size of 0 asks for no check. */
    const std::string ecg = WriteInstaller("ecg", "");
    EXPECT_NE(Send("send-installer ecg " + ecg + " --size 0").find("transfer accepted"),
              std::string::npos);
    EXPECT_EQ(Ran("ecg"), "-N");

    /* A second connection cannot write into the first one's transfer. */
    UpdateConnection first, second;
    ASSERT_TRUE(first.Connected() && second.Connected());
    const std::string good = "#!/bin/sh\necho \"$*\" > \"$WINPORT_ROOT/drive_c/kel/ran-two.txt\"\n";
    EXPECT_EQ(first.Data(11, good.substr(0, 10)), 1);
    EXPECT_EQ(second.Data(11, "echo intruder > /dev/null\n"), 2);
    EXPECT_EQ(second.End(12, 0), "status 2, end acknowledgement");
    EXPECT_EQ(first.Data(11, good.substr(10)), 1);
    EXPECT_EQ(first.End(12, (int)good.size()), "status 1, end acknowledgement") << ServiceLog(root);
    EXPECT_EQ(Ran("two"), "-N");

    /* A print client whose numbers make no name is refused at once. */
    const std::string zero =
        Send(std::string("send-file ") + NOVARCPRINT_EXE + " --client-version 0.5 --chunk 1000000");
    EXPECT_NE(zero.find("transfer FAILED"), std::string::npos) << zero;

    /* A move that fails runs nothing: no stale installer in its place. */
    fs::create_directories(root.driveC("kel/transfer/PdfKit.exe"));
    const std::string blocked = Send("send-installer pdf " + WriteInstaller("pdf", ""));
    EXPECT_NE(blocked.find("transfer FAILED"), std::string::npos) << blocked;
    EXPECT_EQ(Ran("pdf"), "<not run>");
    EXPECT_NE(ServiceLog(root).find("ReceiveKelPdfTronUpdate KELMoveFile("), std::string::npos);
    EXPECT_EQ(TransferLeftovers(), "");

    /* Query 24 with a = 0 answers 0 whatever is on the disk. */
    WriteText(root.driveC("novarc/bin2/novarcprint.5.0.exe"), "x");
    EXPECT_NE(Send("query client 0 5").find("query 24 answer 0"), std::string::npos);
    EXPECT_NE(Send("query client 237 859").find("query 24 answer 0"), std::string::npos);
}

TEST_F(UpdateServiceTest, ConverterAndPdfEngineQueries)
{
    StartService();
    EXPECT_NE(Send("query converter").find("query 10 answer -1"), std::string::npos);
    WriteText(root.driveC("Windows/system32/cdintf550.kel"), "42\r\n");
    EXPECT_NE(Send("query converter").find("query 10 answer 42"), std::string::npos);
    EXPECT_NE(Send("query pdf").find("query 13 answer 0"), std::string::npos);
    EXPECT_NE(ServiceLog(root).find("Unable to Link With KelPdfTron.dll"), std::string::npos);

    /* The real components, installed as the install script does: the engine
     * answers its own version, and the converter's installer rewrites the
     * version file the query reads. */
    fs::create_directories(root.driveC("novarc/bin/PdfTron"));
    fs::copy_file(KELPDFTRON_DLL, root.driveC("novarc/bin/PdfTron/kelpdftron.dll"));
    EXPECT_NE(Send("query pdf").find("query 13 answer " + std::to_string(KELPDFTRON_DLL_VERSION)),
              std::string::npos)
        << ServiceLog(root);
    const std::string install =
        "WINPORT_ROOT='" + root.path() + "' '" + CDINSTALL_EXE + "' -s >/dev/null 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0);
    EXPECT_NE(Send("query converter").find("query 10 answer " + std::to_string(CDINTF_VERSION)),
              std::string::npos);
    EXPECT_NE(Send("query ecg").find("query 7 answer -1"), std::string::npos);
    /* The imaging library: all five DLLs in the system directory, or none. */
    EXPECT_NE(Send("query imaging").find("query 4 answer 0"), std::string::npos);
    for (const char *dll : {"ltkrnu.dll", "ltfilu.dll", "lttwnu.dll", "LTDISU.DLL"})
        WriteText(root.driveC(std::string("Windows/system32/") + dll), "");
    EXPECT_NE(Send("query imaging").find("query 4 answer 0"), std::string::npos) << "one missing";
    WriteText(root.driveC("Windows/system32/ltannu.dll"), "");
    EXPECT_NE(Send("query imaging").find("query 4 answer 1"), std::string::npos)
        << ServiceLog(root);
    EXPECT_NE(Send("query version").find("version 237.859 locked 0"), std::string::npos);
}

TEST_F(UpdateServiceTest, FaxServiceRestartRunsNetStopAndStart)
{
    StartService();
    auto failures = [&] {
        const std::string log = ServiceLog(root);
        int n = 0;
        for (size_t at = log.find("Fax Service restart FAILED"); at != std::string::npos;
             at = log.find("Fax Service restart FAILED", at + 1))
            n++;
        return n;
    };
    /* Without net.exe in the system directory the restart fails, and says so. */
    Send("restart-fax");
    EXPECT_TRUE(WaitFor([&] { return failures() == 1; }, 10s)) << ServiceLog(root);
    fs::copy_file(WINPORT_NET_EXE, root.driveC("Windows/system32/net.exe"));
    Send("restart-fax");
    EXPECT_TRUE(WaitFor(
        [&] {
            return ReadText(root.driveC("novarc/bin/Services/ErrorLogs/FaxService.log"))
                       .find("Printkeeper: Print service version 237.859 restarting Fax "
                             "Service.") != std::string::npos;
        },
        10s));
    /* Through the helper's operation (run by the service itself here, with
     * no helper installed): both command lines ran. */
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string log = ServiceLog(root);
            const size_t last = log.rfind("Privileged: net stop NovarcFaxService, net start "
                                          "NovarcFaxService");
            return last != std::string::npos && last > log.find("Fax Service restart FAILED");
        },
        10s));
    Send("query version"); /* answered only after the restart has been handled */
    EXPECT_EQ(failures(), 1) << ServiceLog(root);
}

} // namespace
