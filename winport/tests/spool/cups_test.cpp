/*
 * CUPS queues through a private cupsd: its own configuration folder, its
 * own port on 127.0.0.1, a cups-pdf queue and a raw queue.  The queues
 * appear as printers with the server's papers and make and model; a
 * document drawn on a DC comes out of cups-pdf as a PDF with its text; a
 * raw job reaches the server byte for byte.  Also: page transparency groups
 * are removed from a cairo PDF without breaking it.
 *
 * Skipped, saying why, where cupsd or cups-pdf is not installed or the
 * server does not start (cupsd wants root for its backends).
 */
#include "spool_test_util.h"

#include "spool/spool_private.h"

#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

using namespace spooltest;

namespace {

constexpr const char *kCupsPdfBackend = "/usr/lib/cups/backend/cups-pdf";
constexpr const char *kCupsPdfPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";

int freePort()
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

bool answers(int port)
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path) << text;
}

/* A cupsd of our own, stopped and removed at the end. */
class PrivateCups {
public:
    bool start(std::string &why)
    {
        if (geteuid() != 0) {
            why = "cupsd runs backends as root; this test needs root";
            return false;
        }
        char tmpl[] = "/tmp/wpcups-XXXXXX";
        if (!mkdtemp(tmpl))
            return false;
        dir_ = tmpl;
        chmod(dir_.c_str(), 0755);
        for (const char *sub : {"/state", "/cache", "/spool", "/tmp", "/ppd"})
            mkdir((dir_ + sub).c_str(), 0755);
        chmod((dir_ + "/tmp").c_str(), 01777); /* filters run as lp */
        port_ = freePort();
        writeFile(dir_ + "/cupsd.conf",
                  "Listen 127.0.0.1:" + std::to_string(port_) +
                      "\nLogLevel info\nWebInterface No\nBrowsing No\nDefaultAuthType None\n"
                      "PreserveJobFiles Yes\n<Location />\n Order allow,deny\n Allow all\n"
                      "</Location>\n<Policy default>\n <Limit All>\n  Order deny,allow\n"
                      " </Limit>\n</Policy>\n");
        writeFile(dir_ + "/cups-files.conf",
                  "ServerRoot " + dir_ + "\nStateDir " + dir_ + "/state\nCacheDir " + dir_ +
                      "/cache\nRequestRoot " + dir_ + "/spool\nTempDir " + dir_ +
                      "/tmp\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nErrorLog " + dir_ +
                      "/error_log\nAccessLog " + dir_ + "/access_log\nPageLog " + dir_ +
                      "/page_log\nSandboxing Relaxed\n");
        std::string conf = dir_ + "/cupsd.conf", files = dir_ + "/cups-files.conf";
        const char *argv[] = {WINPORT_CUPSD, "-f",          "-c",   conf.c_str(),
                              "-s",          files.c_str(), nullptr};
        if (posix_spawn(&pid_, WINPORT_CUPSD, nullptr, nullptr, const_cast<char **>(argv),
                        environ) != 0) {
            why = "cupsd could not be started";
            return false;
        }
        for (int i = 0; i < 100 && !answers(port_); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!answers(port_)) {
            why = "cupsd did not answer on 127.0.0.1:" + std::to_string(port_);
            return false;
        }
        return true;
    }
    ~PrivateCups()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ec);
    }
    bool lpadmin(const std::string &args)
    {
        return std::system(("lpadmin -h " + server() + " " + args + " >/dev/null 2>&1").c_str()) ==
               0;
    }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string &dir() const { return dir_; }

private:
    std::string dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

/* Waits for a file under `folder` whose text holds `token`. */
std::string waitForPdf(const std::string &folder, const std::string &token)
{
    for (int i = 0; i < 300; i++) {
        for (const std::string &name : filesIn(folder))
            if (name.size() > 4 && name.substr(name.size() - 4) == ".pdf" &&
                pdfText(folder + "/" + name).find(token) != std::string::npos)
                return folder + "/" + name;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

/* The server's spooled copy of a job's document (PreserveJobFiles). */
std::string waitForSpooled(const std::string &spool, const std::string &content)
{
    for (int i = 0; i < 100; i++) {
        for (const std::string &name : filesIn(spool))
            if (name[0] == 'd' && readAll(spool + "/" + name) == content)
                return name;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

class CupsTest : public SpoolTest {
protected:
    void TearDown() override { unsetenv("CUPS_SERVER"); }
};

} // namespace

TEST_F(CupsTest, QueuesOfAPrivateServerPrintPdfAndRaw)
{
    if (access(WINPORT_CUPSD, X_OK) != 0 || access(kCupsPdfBackend, X_OK) != 0 ||
        access(kCupsPdfPpd, R_OK) != 0)
        GTEST_SKIP() << "cupsd or cups-pdf is not installed (scripts/bootstrap.sh installs them)";
    PrivateCups cups;
    std::string why;
    if (!cups.start(why))
        GTEST_SKIP() << why;
    ASSERT_TRUE(cups.lpadmin(std::string("-p wp-pdf -E -v cups-pdf:/ -P ") + kCupsPdfPpd));
    ASSERT_TRUE(cups.lpadmin("-p wp-raw -E -v file:/dev/null"));
    setenv("CUPS_SERVER", cups.server().c_str(), 1);

    OpenedPrinter pdf("wp-pdf");
    ASSERT_NE(nullptr, pdf.h) << "the queue is a printer";
    std::vector<BYTE> buf;
    PRINTER_INFO_2A *info = printerInfo2(pdf.h, buf);
    ASSERT_NE(nullptr, info);
    EXPECT_STREQ("CUPS:wp-pdf", info->pPortName);
    EXPECT_NE(nullptr, std::strstr(info->pDriverName, "PDF")) << info->pDriverName;
    EXPECT_GT(DeviceCapabilitiesA("wp-pdf", nullptr, DC_PAPERS, nullptr, nullptr), 1);
    std::vector<WORD> papers(64);
    int n = DeviceCapabilitiesA("wp-pdf", nullptr, DC_PAPERS,
                                reinterpret_cast<LPSTR>(papers.data()), nullptr);
    EXPECT_NE(papers.begin() + n, std::find(papers.begin(), papers.begin() + n, DMPAPER_A4));

    std::string token = "cupstoken" + std::to_string(getpid());
    HDC dc = CreateDCA("WINSPOOL", "wp-pdf", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    DOCINFOA di{sizeof di, token.c_str(), nullptr, nullptr, 0};
    ASSERT_GT(StartDocA(dc, &di), 0);
    ASSERT_GT(StartPage(dc), 0);
    TextOutA(dc, 300, 300, token.c_str(), int(token.size()));
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(EndDoc(dc), 0) << GetLastError();
    DeleteDC(dc);
    /* cups-pdf writes to the job owner's home as the password file has it. */
    const passwd *owner = getpwuid(geteuid());
    std::string home = owner && owner->pw_dir ? owner->pw_dir : "/root";
    std::string found = waitForPdf(home + "/PDF", token);
    EXPECT_FALSE(found.empty()) << "cups-pdf wrote no PDF with the text; see " << cups.dir()
                                << "/error_log";
    if (!found.empty())
        std::remove(found.c_str());

    OpenedPrinter raw("wp-raw");
    DOC_INFO_1A doc{const_cast<char *>("raw"), nullptr, const_cast<char *>("RAW")};
    ASSERT_GT(StartDocPrinterA(raw.h, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    std::string bytes = std::string("\x1b@raw\0job\xff", 10) + token;
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(raw.h, bytes.data(), DWORD(bytes.size()), &written));
    ASSERT_TRUE(EndDocPrinter(raw.h));
    EXPECT_FALSE(waitForSpooled(cups.dir() + "/spool", bytes).empty())
        << "the raw bytes did not reach the server unchanged";
}

TEST_F(SpoolTest, PageGroupsAreBlankedWithoutMovingAnyByte)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    DOCINFOA di{sizeof di, "groups", nullptr, nullptr, 0};
    int job = StartDocA(dc, &di);
    for (int i = 0; i < 2; i++) {
        StartPage(dc);
        TextOutA(dc, 10, 10, "text stays", 10);
        EndPage(dc);
    }
    EndDoc(dc);
    DeleteDC(dc);
    std::string path = root.driveC("out/" + std::to_string(job) + "-groups.pdf");
    std::string pdf = readAll(path);
    ASSERT_FALSE(pdf.empty());
    std::size_t size = pdf.size();
    int stripped = winport::spool::StripPageGroups(pdf);
    EXPECT_EQ(size, pdf.size());
    EXPECT_EQ(std::string::npos, pdf.find("/S /Transparency")) << "cairo's page groups are gone";
    if (stripped == 0)
        GTEST_SKIP() << "this cairo writes no page groups";
    EXPECT_EQ(2, stripped);
    writeFile(path, pdf);
    EXPECT_EQ(std::string::npos, pdfInfo(path).find("Syntax Error"));
    EXPECT_NE(std::string::npos, pdfText(path).find("text stays"));
}
