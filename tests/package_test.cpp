/*
 * The workstation's Debian package, built from this build by
 * scripts/package.sh: what it holds (every library and component the build
 * made), run paths that never point into the build, programs that find
 * their libraries where the package puts them, lintian without errors, and
 * an install, removal and purge with dpkg into a clean root; run as root,
 * also an install into this running system, its service answering a job as
 * the user novarc, and a purge that leaves nothing of it.  Building the
 * package and running lintian take seconds, so the test is heavy.
 */
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <posix_files.h>

namespace fs = std::filesystem;

namespace {

const std::string kData = "/var/lib/novarc";
const std::string kBin2 = kData + "/drive_c/novarc/bin2";

std::string Quote(const std::string &s)
{
    return "'" + s + "'";
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

bool IsElf(const fs::path &path)
{
    static const std::string kMagic = "\177ELF";
    return fs::is_regular_file(path) && !fs::is_symlink(path) &&
           ReadText(path).rfind(kMagic, 0) == 0;
}

template <typename Pred> bool WaitFor(Pred pred, std::chrono::seconds limit)
{
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (pred())
            return true;
    return pred();
}

/* The live processes running `program` (a POSIX path) and their user ids. */
std::map<long, long> ProcessesOf(const std::string &program)
{
    std::map<long, long> uids;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        std::error_code ec;
        if (name.find_first_not_of("0123456789") != std::string::npos ||
            fs::read_symlink(entry.path() / "exe", ec) != program)
            continue;
        const std::string status = ReadText(entry.path() / "status");
        const size_t state = status.find("\nState:\t"), uid = status.find("\nUid:\t");
        if (state != std::string::npos && status[state + 8] != 'Z' && uid != std::string::npos)
            uids[std::stol(name)] = std::stol(status.substr(uid + 6));
    }
    return uids;
}

bool PortAnswers(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, (const sockaddr *)&addr, sizeof addr) == 0;
    close(fd);
    return ok;
}

class PackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work = new std::string(fs::temp_directory_path() /
                               ("novarc-package-" + std::to_string(getpid())));
        fs::create_directories(*work);
        int status = -1;
        const std::string out = RunCommand("bash " SOURCE_DIR "/scripts/package.sh " +
                                               Quote(BUILD_DIR) + " " + Quote(*work) + " 2>&1",
                                           &status);
        build = new std::string(out);
        deb = new std::string(status == 0 && !Lines(out).empty() ? Lines(out).back() : "");
        unpacked = new std::string(*work + "/unpacked");
        if (!deb->empty())
            RunCommand("dpkg-deb -R " + Quote(*deb) + " " + Quote(*unpacked));
    }
    static void TearDownTestSuite()
    {
        std::error_code ec;
        fs::remove_all(*work, ec);
        delete work;
        delete build;
        delete deb;
        delete unpacked;
    }
    void SetUp() override { ASSERT_FALSE(deb->empty()) << "package.sh failed:\n" << *build; }

    static void HoldsProgramsEveryBuiltLibraryFontsAndScripts();
    static void RunPathsAreOriginOnlyAndResolve();
    static void LintianReportsNoErrors();
    static void InstallsRemovesAndPurgesInACleanRoot();
    static void ServesAsNovarcOnThisSystemUntilPurged();

    static std::string *work, *build, *deb, *unpacked;
};
std::string *PackageTest::work, *PackageTest::build, *PackageTest::deb, *PackageTest::unpacked;

/* The programs under their installed names, every library of the build
 * (components included, whatever they are) beside them, the fonts, net.exe
 * in the system folder, the layout script and the maintainer scripts. */
void PackageTest::HoldsProgramsEveryBuiltLibraryFontsAndScripts()
{
    const std::string bin2 = *unpacked + kBin2;
    for (const char *program : {"Printkeeper.exe", "PrintkeeperHelper.exe", "novarcprint.exe"})
        EXPECT_TRUE(IsElf(bin2 + "/" + program)) << program;
    int libraries = 0;
    for (const auto &entry : fs::directory_iterator(BUILD_DIR "/lib")) {
        if (entry.path().extension() != ".so")
            continue;
        ++libraries;
        EXPECT_TRUE(IsElf(bin2 + "/" + entry.path().filename().string())) << entry.path();
    }
    EXPECT_GT(libraries, 0);
    if (fs::is_directory(BUILD_DIR "/lib/fonts")) {
        EXPECT_FALSE(fs::is_empty(bin2 + "/fonts"));
    }
    EXPECT_TRUE(IsElf(*unpacked + kData + "/drive_c/Windows/system32/net.exe"));
    EXPECT_TRUE(fs::exists(*unpacked + "/usr/lib/novarc-workstation/layout.sh"));
    EXPECT_TRUE(fs::exists(*unpacked + "/usr/share/doc/novarc-workstation/copyright"));
    /* No winport state: the installers make it on the workstation. */
    EXPECT_FALSE(fs::exists(*unpacked + kData + "/winport"));
    for (const char *script : {"postinst", "prerm", "postrm"}) {
        struct stat st {};
        ASSERT_EQ(stat((*unpacked + "/DEBIAN/" + script).c_str(), &st), 0) << script;
        EXPECT_TRUE(st.st_mode & S_IXUSR) << script;
        int status = -1;
        RunCommand("sh -n " + Quote(*unpacked + "/DEBIAN/" + script), &status);
        EXPECT_EQ(status, 0) << script;
    }
    const std::string control = ReadText(*unpacked + "/DEBIAN/control");
    EXPECT_NE(control.find("Depends: "), std::string::npos) << control;
    EXPECT_NE(control.find("libc6"), std::string::npos) << control;
}

/* Every ELF file's run path holds $ORIGIN entries only (never the build
 * folder), and with it every program and library finds all it needs. */
void PackageTest::RunPathsAreOriginOnlyAndResolve()
{
    int checked = 0;
    for (const auto &entry : fs::recursive_directory_iterator(*unpacked + kData)) {
        if (!IsElf(entry.path()))
            continue;
        ++checked;
        const std::string file = entry.path().string();
        const std::string dynamic = RunCommand("readelf -d " + Quote(file));
        EXPECT_EQ(dynamic.find(BUILD_DIR), std::string::npos) << file;
        for (const std::string &line : Lines(dynamic)) {
            const size_t open = line.find("path: [");
            if (line.find("PATH)") == std::string::npos || open == std::string::npos)
                continue;
            std::istringstream entries(line.substr(open + 7, line.rfind(']') - open - 7));
            for (std::string dir; std::getline(entries, dir, ':');)
                EXPECT_EQ(dir.rfind("$ORIGIN", 0), 0u) << file << ": " << dir;
        }
        const std::string ldd = RunCommand("ldd " + Quote(file) + " 2>&1");
        EXPECT_EQ(ldd.find("not found"), std::string::npos) << file << ":\n" << ldd;
    }
    EXPECT_GT(checked, 4);
}

void PackageTest::LintianReportsNoErrors()
{
    int status = -1;
    const std::string out = RunCommand("lintian --fail-on error " + Quote(*deb) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
}

/* dpkg into an empty root (maintainer scripts run outside it, with
 * DPKG_ROOT set, as when an image is made): the files land, the scripts
 * succeed and touch nothing outside that root, removal takes the programs,
 * purge the data the service kept. */
void PackageTest::InstallsRemovesAndPurgesInACleanRoot()
{
    const std::string root = *work + "/root";
    fs::create_directories(root + "/var/lib/dpkg/info");
    fs::create_directories(root + "/var/lib/dpkg/updates");
    WriteText(root + "/var/lib/dpkg/status", "");
    const std::string dpkg = "dpkg --root=" + Quote(root) +
                             " --log=/dev/null --force-script-chrootless "
                             "--force-depends --force-not-root ";
    int status = -1;
    std::string out = RunCommand(dpkg + "-i " + Quote(*deb) + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_TRUE(IsElf(root + kBin2 + "/Printkeeper.exe"));
    EXPECT_NE(ReadText(root + "/var/lib/dpkg/status").find("Status: install ok installed"),
              std::string::npos);

    /* What the service made while it ran: removal keeps it, purge not. */
    WriteText(root + kData + "/drive_c/novarc/printed/job.pdf", "%PDF-1.4\n");
    out = RunCommand(dpkg + "-r novarc-workstation 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_FALSE(fs::exists(root + kBin2 + "/Printkeeper.exe"));
    EXPECT_TRUE(fs::exists(root + kData + "/drive_c/novarc/printed/job.pdf"));
    out = RunCommand(dpkg + "-P novarc-workstation 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_FALSE(fs::exists(root + kData));
}

/* The package installed into this running system as an administrator
 * installs it (dpkg -i: the configure step creates the user, registers and
 * starts the services), the service answering a job as novarc, then purged:
 * no service, no unit, no data left; the user stays.  Root only, and never
 * over a workstation's own installation; one run on this machine at a time
 * (the lock) and one service on the print port (the CTest resource lock). */
void PackageTest::ServesAsNovarcOnThisSystemUntilPurged()
{
    if (geteuid() != 0) {
        std::cout << "not installed into this system: that needs root" << std::endl;
        return;
    }
    const int lock = open("/run/lock/novarc-package-test.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    struct Unlock {
        int fd;
        ~Unlock() { close(fd); }
    } unlock{lock};
    int status = -1;
    RunCommand("dpkg -s novarc-workstation >/dev/null 2>&1", &status);
    /* A workstation's data lives in C:\novarc; what winport makes for any
     * program run as root without a root of its own (system folder, fonts)
     * is not, and is made again when needed. */
    if (status == 0 || fs::exists(kData + "/drive_c/novarc")) {
        std::cout << "not installed into this system: it has the package or a workstation's "
                     "data in "
                  << kData << " already" << std::endl;
        return;
    }

    std::string out = RunCommand("dpkg -i " + Quote(*deb) + " 2>&1", &status);
    struct Purge {
        ~Purge() { RunCommand("dpkg -P novarc-workstation >/dev/null 2>&1"); }
    } purgeOnFailure;
    ASSERT_EQ(status, 0) << out;
    const passwd *user = getpwnam("novarc");
    ASSERT_NE(user, nullptr) << "the configure step creates the user";
    const long uid = (long)user->pw_uid;
    ASSERT_NE(uid, 0);
    const auto services = ProcessesOf(kBin2 + "/Printkeeper.exe");
    ASSERT_EQ(services.size(), 1u) << out;
    EXPECT_EQ(services.begin()->second, uid);
    EXPECT_EQ(ProcessesOf(kBin2 + "/PrintkeeperHelper.exe").size(), 1u) << out;

    /* Configured again (dpkg-reconfigure does this): the services are
     * registered and started anew. */
    out = RunCommand("/var/lib/dpkg/info/novarc-workstation.postinst configure 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    const auto again = ProcessesOf(kBin2 + "/Printkeeper.exe");
    ASSERT_EQ(again.size(), 1u) << out;
    EXPECT_NE(again.begin()->first, services.begin()->first);
    EXPECT_EQ(again.begin()->second, uid);

    ASSERT_TRUE(WaitFor([] { return PortAnswers(13001); }, std::chrono::seconds(20)));
    const std::string job = *work + "/job.txt";
    WriteText(job, "INSTALLED PACKAGE JOB LINE ONE\r\n");
    const std::string sender = *work + "/sender";
    out = RunCommand("WINPORT_ROOT=" + Quote(sender) +
                         " " NOVARC_SEND_EXE
                         " --host 127.0.0.1 --port 13001 --printer 'Workstation PDF' --text " +
                         Quote(job) + " 2>&1",
                     &status);
    EXPECT_EQ(status, 0) << out;
    const std::string printed = kData + "/drive_c/novarc/printed";
    EXPECT_TRUE(WaitFor(
        [&] {
            std::error_code dirError;
            for (const auto &pdf : fs::directory_iterator(printed, dirError))
                if (RunCommand("pdftotext " + Quote(pdf.path()) + " - 2>/dev/null")
                        .find("INSTALLED PACKAGE JOB LINE ONE") != std::string::npos)
                    return true;
            return false;
        },
        std::chrono::seconds(60)))
        << out;

    out = RunCommand("dpkg -P novarc-workstation 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_TRUE(WaitFor([] { return ProcessesOf(kBin2 + "/Printkeeper.exe").empty(); },
                        std::chrono::seconds(30)));
    EXPECT_TRUE(ProcessesOf(kBin2 + "/PrintkeeperHelper.exe").empty());
    EXPECT_FALSE(fs::exists(kData)) << "purge keeps the data";
    for (const char *unit : {"NovarcPrintkeeper.service", "NovarcPrintkeeperHelper.service"})
        EXPECT_FALSE(fs::exists(std::string("/etc/systemd/system/") + unit)) << unit;
    RunCommand("dpkg -s novarc-workstation >/dev/null 2>&1", &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(getpwnam("novarc"), nullptr) << "the user stays after purge";
}

/* One test: building the package is most of its time, and each test of a
 * suite runs in a process of its own. */
TEST_F(PackageTest, BuiltFromThisBuildInstallsCleanly)
{
    {
        SCOPED_TRACE("contents");
        HoldsProgramsEveryBuiltLibraryFontsAndScripts();
    }
    {
        SCOPED_TRACE("run paths");
        RunPathsAreOriginOnlyAndResolve();
    }
    {
        SCOPED_TRACE("lintian");
        LintianReportsNoErrors();
    }
    {
        SCOPED_TRACE("dpkg into a clean root");
        InstallsRemovesAndPurgesInACleanRoot();
    }
    {
        SCOPED_TRACE("dpkg into this running system");
        ServesAsNovarcOnThisSystemUntilPurged();
    }
}

} // namespace
