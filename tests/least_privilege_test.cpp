/*
 * The print service as installed: a root laid out by scripts/layout.sh for
 * a system user, the service and its clients running as that user, and a
 * server that asks for what that user must not do.  The user is "nobody"
 * (every Debian system has it; the package creates "novarc" for real), so
 * the test changes no accounts of the machine.  Switching user needs root:
 * run as anyone else, the tests are skipped.
 */
#include <sys/stat.h>
#include <unistd.h>

#include "service_harness.h"

namespace {

constexpr uid_t kServiceUid = 65534; /* nobody */

/* The real user id of a process (its /proc status "Uid:" line), or -1. */
long ProcessUid(long pid)
{
    const std::string status = ReadText("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("\nUid:");
    return at == std::string::npos ? -1 : std::stol(status.substr(at + 5));
}

struct Owner {
    uid_t uid;
    mode_t mode;
    bool operator==(const Owner &o) const { return uid == o.uid && mode == o.mode; }
};

Owner OwnerOf(const std::string &path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return {(uid_t)-1, 0};
    return {st.st_uid, st.st_mode & 07777};
}

class LeastPrivilegeTest : public ServiceFixture {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "switching to the service's user needs root";
        ServiceFixture::SetUp();
        WriteText(root.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
        int status = -1;
        const std::string out =
            RunCommand("sh " LAYOUT_SH " '" + root.path() + "' nobody 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
    }
    /* The service as the service manager starts it: as the user, with no
     * other group, no capability left and the umask 027. */
    long Spawn(int timeScale) override
    {
        const std::string id = std::to_string(kServiceUid);
        return NovarcSpawn(
            "/bin/sh",
            {"WINPORT_ROOT=" + root.path(), "WINPORT_TIME_SCALE=" + std::to_string(timeScale)},
            {"-c", "umask 027 && exec setpriv --reuid=" + id + " --regid=" + id +
                       " --clear-groups --inh-caps=-all " PRINTKEEPER_EXE " -debug"});
    }
    std::string ClientLog() const
    {
        std::string all;
        const std::string dir = root.driveC("novarc/bin/NovarcPrintDebug");
        if (fs::is_directory(dir))
            for (const auto &entry : fs::directory_iterator(dir))
                all += ReadText(entry.path().string());
        return all;
    }
};

std::string NamedFile(const std::string &windowsPath, const std::string &bytes)
{
    return Int32(7) + Str(windowsPath) + Int32((int)bytes.size()) + Int32(0) + Int32(7) + Int32(1) +
           bytes;
}

TEST_F(LeastPrivilegeTest, RootsFilesStayUntouchedWhenAPeerAsksToOverwriteOrDeleteThem)
{
    /* Root's files where the service's user may create its own: in C:\novarc
     * (sticky: nobody but root renames or removes root's entries) and in a
     * folder of the user's, and a program in C:\novarc\bin2. */
    const std::string inNovarc = root.driveC("novarc/Workstation.ini");
    const std::string inBin = root.driveC("novarc/bin/Site.ini");
    const std::string program = root.driveC("novarc/bin2/novarcprint.exe");
    for (const std::string &file : {inNovarc, inBin}) {
        WriteText(file, "[Site]\r\nOwner=root\r\n");
        ASSERT_EQ(chown(file.c_str(), 0, 0), 0);
        ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    }
    const std::string programBytes = ReadText(program);
    const Owner rootFile{0, 0644};
    StartService(1); /* real time: a client slow to start is not refused */

    ServerConnection server;
    ASSERT_EQ(server.Open(), 1) << ServiceLog(root) << ClientLog();
    server.Send(102, NamedFile("c:\\novarc\\Workstation.ini", "[Site]\r\nOwner=peer\r\n"));
    server.Send(102, NamedFile("c:\\novarc\\bin\\Site.ini", "[Site]\r\nOwner=peer\r\n"));
    server.Send(102, NamedFile("c:\\novarc\\bin2\\novarcprint.exe", "MZ peer"));
    server.Send(105, Str("c:\\novarc\\Workstation.ini"));
    server.Send(105, Str("c:\\novarc\\bin2\\novarcprint.exe"));
    /* Answered in order after the requests above: they have all been tried. */
    server.Send(113, Str("c:\\novarc\\Workstation.ini"));
    EXPECT_EQ(server.Reply().substr(0, 5), std::string("\x03") + Int32(113));

    for (const std::string &file : {inNovarc, inBin}) {
        EXPECT_EQ(ReadText(file), "[Site]\r\nOwner=root\r\n") << file;
        EXPECT_TRUE(OwnerOf(file) == rootFile) << file;
    }
    EXPECT_EQ(ReadText(program), programBytes);
    EXPECT_EQ(OwnerOf(program).uid, 0u);
    const std::string log = ClientLog();
    EXPECT_NE(log.find("SEND_NAMED_FILE cannot create <c:\\novarc\\Workstation.ini> ERROR:5"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("SEND_NAMED_FILE cannot create <c:\\novarc\\bin\\Site.ini> ERROR:5"),
              std::string::npos);
    EXPECT_NE(log.find("RECEIVE_DELETE_FILE <c:\\novarc\\Workstation.ini> ERROR:5"),
              std::string::npos);
    EXPECT_NE(
        log.find("SEND_NAMED_FILE refused <c:\\novarc\\bin2\\novarcprint.exe>: a program folder"),
        std::string::npos);
    EXPECT_NE(
        log.find(
            "RECEIVE_DELETE_FILE refused <c:\\novarc\\bin2\\novarcprint.exe>: a program folder"),
        std::string::npos);

    /* The client goes on serving: the same connection prints. */
    server.Print(ReportText(3, "AFTER"));
    EXPECT_TRUE(WaitForPdfs(1)) << ServiceLog(root);
}

TEST_F(LeastPrivilegeTest, ServiceClientsAndTheirOutputBelongToTheServiceUser)
{
    StartService(1); /* real time: a client slow to start is not refused */
    ServerConnection server;
    ASSERT_EQ(server.Open(), 1) << ServiceLog(root) << ClientLog();
    const std::set<long> clients = ClientPids(root);
    ASSERT_EQ(clients.size(), 1u);
    EXPECT_EQ(ProcessUid(service), (long)kServiceUid);
    EXPECT_EQ(ProcessUid(*clients.begin()), (long)kServiceUid);
    server.Print(ReportText(3, "OWNED"));
    ASSERT_TRUE(WaitForPdfs(1)) << ServiceLog(root);

    /* Patient output and logs: the user's, never readable by others. */
    for (const std::string &path : {Pdfs(root)[0], root.driveC("novarc/printed"),
                                    root.driveC("novarc/bin/Services/ErrorLogs/Printkeeper.log")}) {
        const Owner owner = OwnerOf(path);
        EXPECT_EQ(owner.uid, kServiceUid) << path;
        EXPECT_EQ(owner.mode & 07, 0u) << path;
        EXPECT_EQ(owner.mode & 020, 0u) << path;
    }
}

} // namespace
