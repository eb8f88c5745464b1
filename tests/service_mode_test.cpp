/*
 * The print service in service mode, end to end, as an administrator runs
 * it: the programs placed in a root given its owners by scripts/layout.sh
 * (which creates the user "novarc" when it is missing), "-install" of the
 * service and its privileged helper, then "net start" of both through the
 * service manager (systemd when it runs as PID 1, else winport's own; the
 * test says which), a job printed by novarc-send, "net stop", a restart
 * ended by SIGTERM, and "-remove".
 * The service and its clients run as novarc, never as root.  Installing a
 * service needs root: run as anyone else, the test is skipped.
 */
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>

#include "service_harness.h"

namespace {

const std::string kUser = "novarc";

/* A /proc status field of a process ("Uid", "State"), or "". */
std::string ProcessField(long pid, const std::string &field)
{
    const std::string status = ReadText("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("\n" + field + ":");
    if (at == std::string::npos)
        return "";
    const size_t from = status.find_first_not_of(" \t", at + field.size() + 2);
    return status.substr(from, status.find('\n', from) - from);
}

long ProcessUid(long pid)
{
    const std::string uid = ProcessField(pid, "Uid");
    return uid.empty() ? -1 : std::stol(uid);
}

/* Ended: no process, or one nobody has reaped yet. */
bool ProcessGone(long pid)
{
    const std::string state = ProcessField(pid, "State");
    return state.empty() || state[0] == 'Z';
}

/* The processes running `program` (a POSIX path). */
std::set<long> ProcessesOf(const std::string &program)
{
    std::set<long> pids;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        std::error_code ec;
        if (name.find_first_not_of("0123456789") == std::string::npos &&
            fs::read_symlink(entry.path() / "exe", ec) == program && !ProcessGone(std::stol(name)))
            pids.insert(std::stol(name));
    }
    return pids;
}

/* Where a running systemd would take the service: the same rule as
 * winport's service manager. */
bool SystemdInUse()
{
    const char *off = std::getenv("WINPORT_NO_SYSTEMD");
    return fs::is_directory("/run/systemd/system") && !(off && *off && std::string(off) != "0");
}

class ServiceModeTest : public ::testing::Test {
protected:
    /* Under systemd the service has a private /tmp and no /home: the root
     * lies in /var/lib (ScratchRoot makes it in the temporary folder). */
    static void SetUpTestSuite()
    {
        const char *tmp = std::getenv("TMPDIR");
        savedTmp = tmp ? std::optional<std::string>(tmp) : std::nullopt;
        setenv("TMPDIR", "/var/lib", 1);
    }
    ServiceModeTest()
    {
        if (savedTmp)
            setenv("TMPDIR", savedTmp->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "installing a service and running it as " << kUser << " needs root";
        ASSERT_TRUE(NovarcStartWinsock());
        std::cout << "service manager: "
                  << (SystemdInUse() ? "systemd (PID 1)"
                                     : "winport's own (no systemd running as PID 1)")
                  << std::endl;
        RecordProperty("service_manager", SystemdInUse() ? "systemd" : "winport");
    }
    void TearDown() override
    {
        if (geteuid() != 0)
            return;
        for (const char *program : {"Printkeeper.exe", "PrintkeeperHelper.exe"}) {
            if (installed)
                Run(ShellQuoted(Bin2(program)) + " -remove");
            for (long pid : ProcessesOf(Bin2(program)))
                kill((pid_t)pid, SIGKILL);
        }
        for (long pid : ClientPids(root))
            kill((pid_t)pid, SIGKILL);
    }

    std::string Bin2(const std::string &name) const { return root.driveC("novarc/bin2/" + name); }

    /* A command with the root's WINPORT_ROOT: its output (and errors);
     * *status its exit status. */
    std::string Run(const std::string &command, int *status = nullptr) const
    {
        int wait = -1;
        const std::string out =
            RunCommand("WINPORT_ROOT=" + ShellQuoted(root.path()) + " " + command + " 2>&1", &wait);
        if (status)
            *status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
        return out;
    }
    void Place(const std::string &from, const std::string &to) const
    {
        fs::create_directories(fs::path(to).parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    }
    void Layout() const
    {
        int status = -1;
        const std::string out =
            Run("sh " LAYOUT_SH " " + ShellQuoted(root.path()) + " " + kUser, &status);
        ASSERT_EQ(status, 0) << out;
    }
    std::string Net(const std::string &verb, const std::string &name = "NovarcPrintkeeper") const
    {
        int status = -1;
        const std::string out =
            Run(ShellQuoted(root.driveC("Windows/system32/net.exe")) + " " + verb + " " + name,
                &status);
        EXPECT_EQ(status, 0) << "net " << verb << ":\n" << out << ServiceLog(root);
        return out;
    }
    DWORD State() const
    {
        SERVICE_STATUS status{};
        SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service =
            scm ? OpenServiceA(scm, "NovarcPrintkeeper", SERVICE_QUERY_STATUS) : nullptr;
        const BOOL ok = service && QueryServiceStatus(service, &status);
        if (service)
            CloseServiceHandle(service);
        if (scm)
            CloseServiceHandle(scm);
        return ok ? status.dwCurrentState : 0;
    }
    /* The one running service process, once its print port answers. */
    long ServingProcess() const
    {
        EXPECT_EQ(State(), (DWORD)SERVICE_RUNNING);
        EXPECT_TRUE(WaitFor(
            [] {
                SOCKET s = NovarcConnect("127.0.0.1", kPrintPort);
                if (s != INVALID_SOCKET)
                    closesocket(s);
                return s != INVALID_SOCKET;
            },
            20s))
            << ServiceLog(root);
        const std::set<long> services = ProcessesOf(Bin2("Printkeeper.exe"));
        EXPECT_EQ(services.size(), 1u);
        return services.empty() ? -1 : *services.begin();
    }
    bool Stopped(long pid) const
    {
        return WaitFor([&] { return State() == SERVICE_STOPPED && ProcessGone(pid); }, 30s);
    }

    ScratchRoot root;
    bool installed = false;
    static std::optional<std::string> savedTmp;
};
std::optional<std::string> ServiceModeTest::savedTmp;

TEST_F(ServiceModeTest, InstalledStartedPrintingAsNovarcStoppedTwiceAndRemoved)
{
    Place(PRINTKEEPER_EXE, Bin2("Printkeeper.exe"));
    Place(PRINTKEEPER_HELPER_EXE, Bin2("PrintkeeperHelper.exe"));
    Place(NOVARCPRINT_EXE, Bin2("novarcprint.exe"));
    Place(WINPORT_NET_EXE, root.driveC("Windows/system32/net.exe"));
    ASSERT_NO_FATAL_FAILURE(Layout());
    const passwd *user = getpwnam(kUser.c_str());
    ASSERT_NE(user, nullptr);
    const long uid = (long)user->pw_uid;
    ASSERT_NE(uid, 0);

    int status = -1;
    std::string out = Run(ShellQuoted(Bin2("PrintkeeperHelper.exe")) + " -install", &status);
    installed = true;
    ASSERT_EQ(status, 0) << out;
    out = Run(ShellQuoted(Bin2("Printkeeper.exe")) + " -install", &status);
    ASSERT_EQ(status, 0) << out;
    ASSERT_NE(out.find("Novarc Print Service installed."), std::string::npos) << out;
    /* A command that fails says so in its exit status, so an installer
     * running it stops there. */
    out = Run(ShellQuoted(Bin2("Printkeeper.exe")) + " -install", &status);
    EXPECT_NE(status, 0) << out;
    EXPECT_NE(out.find("CreateService failed"), std::string::npos) << out;
    /* What the registration wrote as root goes to the user, as the
     * package's configure step does. */
    ASSERT_NO_FATAL_FAILURE(Layout());
    EXPECT_EQ(State(), (DWORD)SERVICE_STOPPED);

    /* The helper (root) first, as the package starts them: the service
     * must still find its way in the services' shared state. */
    EXPECT_NE(Net("start", "NovarcPrintkeeperHelper").find("was started successfully"),
              std::string::npos);
    EXPECT_NE(Net("start").find("was started successfully"), std::string::npos);
    long service = ServingProcess();
    ASSERT_GT(service, 0);
    EXPECT_EQ(ProcessUid(service), uid);

    {
        /* A print client, alive while its connection is open. */
        ServerConnection server;
        ASSERT_EQ(server.Open(), 1) << ServiceLog(root);
        const std::set<long> clients = ClientPids(root);
        ASSERT_EQ(clients.size(), 1u);
        EXPECT_EQ(ProcessUid(*clients.begin()), uid);
    }
    const std::string job = root.path() + "/job.txt";
    WriteText(job, ReportText(4, "SERVICE MODE"));
    /* The sender keeps its own state apart from the service's root. */
    const std::string sender =
        fs::temp_directory_path() / ("novarc-send-" + std::to_string(getpid()));
    out = RunCommand("WINPORT_ROOT=" + ShellQuoted(sender) +
                         " " NOVARC_SEND_EXE
                         " --host 127.0.0.1 --port 13001 --printer 'Workstation PDF' --text " +
                         ShellQuoted(job) + " 2>&1",
                     &status);
    fs::remove_all(sender);
    EXPECT_EQ(status, 0) << out;
    std::string printed;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const std::string &pdf : Pdfs(root))
                if (HasReportInOrder(PdfText(pdf), 4, "SERVICE MODE"))
                    printed = pdf;
            return !printed.empty();
        },
        60s))
        << out << ServiceLog(root);
    struct stat st {};
    ASSERT_EQ(stat(printed.c_str(), &st), 0);
    EXPECT_EQ((long)st.st_uid, uid);
    EXPECT_EQ(st.st_mode & 07, 0u) << "printed output readable by others";

    /* The stop control ("net stop"), then SIGTERM after a restart (how
     * systemd stops it). */
    EXPECT_NE(Net("stop").find("was stopped successfully"), std::string::npos);
    EXPECT_TRUE(Stopped(service)) << ServiceLog(root);
    Net("start");
    const long again = ServingProcess();
    ASSERT_GT(again, 0);
    EXPECT_NE(again, service);
    EXPECT_EQ(ProcessUid(again), uid);
    ASSERT_EQ(kill((pid_t)again, SIGTERM), 0);
    EXPECT_TRUE(Stopped(again)) << ServiceLog(root);

    out = Run(ShellQuoted(Bin2("Printkeeper.exe")) + " -remove", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Novarc Print Service removed."), std::string::npos) << out;
    out = Run(ShellQuoted(Bin2("PrintkeeperHelper.exe")) + " -remove", &status);
    EXPECT_EQ(status, 0) << out;
    installed = false;
    out = Run(ShellQuoted(Bin2("Printkeeper.exe")) + " -remove", &status);
    EXPECT_NE(status, 0) << out;
    EXPECT_TRUE(WaitFor([&] { return ProcessesOf(Bin2("PrintkeeperHelper.exe")).empty(); }, 30s));
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(scm, nullptr);
    EXPECT_EQ(OpenServiceA(scm, "NovarcPrintkeeper", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);
    CloseServiceHandle(scm);
}

} // namespace
