/*
 * The private cupsd and ippeveprinter of the CUPS tests (see the header).
 */
#include "private_cups.h"

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace cupstest {

namespace {

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

std::string tempDir(const char *prefix)
{
    std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        return {};
    chmod(tmpl.c_str(), 0755);
    return tmpl;
}

/* Starts a program with extra environment variables, its output in log. */
pid_t spawn(const std::vector<std::string> &args, const std::vector<std::string> &env,
            const std::string &log)
{
    std::vector<char *> argv, envp;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (char **e = environ; *e; e++)
        envp.push_back(*e);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

void stop(pid_t &pid)
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        for (int i = 0; i < 50 && waitpid(pid, nullptr, WNOHANG) == 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (kill(pid, 0) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    pid = -1;
}

template <class Ready> bool waitFor(Ready ready, int tenthsOfSeconds)
{
    for (int i = 0; i < tenthsOfSeconds; i++) {
        if (ready())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return ready();
}

void removeDir(const std::string &dir)
{
    std::error_code ec;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ec);
}

constexpr const char *kSize = "MEMBER integer media-bottom-margin 635 "
                              "MEMBER integer media-left-margin 635 "
                              "MEMBER integer media-right-margin 635 "
                              "MEMBER integer media-top-margin 635";

std::string sizeCol(int x, int y, bool margins)
{
    return "{ MEMBER collection media-size { MEMBER integer x-dimension " + std::to_string(x) +
           " MEMBER integer y-dimension " + std::to_string(y) + " } " + (margins ? kSize : "") +
           " }";
}

} // namespace

int FreePort()
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

bool PrivateCups::start(std::string &why)
{
    if (access("/usr/sbin/cupsd", X_OK) != 0) {
        why = "cupsd is not installed (scripts/bootstrap.sh installs it)";
        return false;
    }
    if (geteuid() != 0) {
        why = "cupsd runs backends as root; this test needs root";
        return false;
    }
    if ((dir_ = tempDir("wpcups")).empty())
        return (why = "no temporary folder"), false;
    for (const char *sub : {"/state", "/cache", "/spool", "/tmp", "/ppd"})
        mkdir((dir_ + sub).c_str(), 0755);
    chmod((dir_ + "/tmp").c_str(), 01777); /* filters run as lp */
    port_ = FreePort();
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
    pid_ = spawn(
        {"/usr/sbin/cupsd", "-f", "-c", dir_ + "/cupsd.conf", "-s", dir_ + "/cups-files.conf"}, {},
        dir_ + "/cupsd.out");
    if (pid_ <= 0 || !waitFor([&] { return answers(port_); }, 100)) {
        why = "cupsd did not answer on " + server() + "; see " + dir_ + "/error_log";
        return false;
    }
    return true;
}

PrivateCups::~PrivateCups()
{
    stop(pid_);
    removeDir(dir_);
}

bool PrivateCups::tool(const std::string &name, const std::string &args) const
{
    return std::system((name + " -h " + server() + " " + args + " >>" + dir_ + "/tools.log 2>&1")
                           .c_str()) == 0;
}

bool IppPrinter::start(const std::string &attributes, const std::string &command, std::string &why)
{
    for (const char *tool : {"/usr/sbin/ippeveprinter", "/usr/bin/dbus-daemon"})
        if (access(tool, X_OK) != 0) {
            why = std::string(tool) + " is not installed (scripts/bootstrap.sh installs it)";
            return false;
        }
    if ((dir_ = tempDir("wpipp")).empty())
        return (why = "no temporary folder"), false;
    spool_ = dir_ + "/spool";
    mkdir(spool_.c_str(), 0755);
    writeFile(dir_ + "/printer.conf", attributes);
    std::string bus = dir_ + "/bus";
    writeFile(dir_ + "/bus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>session</type><listen>unix:path=" +
                  bus +
                  "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                  "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                  "<allow own=\"*\"/></policy></busconfig>\n");
    bus_ = spawn(
        {"/usr/bin/dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + dir_ + "/bus.conf"},
        {}, dir_ + "/bus.log");
    if (bus_ <= 0 || !waitFor([&] { return access(bus.c_str(), F_OK) == 0; }, 50)) {
        why = "no private D-Bus for ippeveprinter; see " + dir_ + "/bus.log";
        return false;
    }
    std::vector<std::string> args = {
        "/usr/sbin/ippeveprinter", "-r", "off",      "-k", "-v", "-d", spool_, "-a",
        dir_ + "/printer.conf",    "-n", "localhost"};
    /* Without a command ippeveprinter pretends to print for 5 to 15 s. */
    writeFile(dir_ + "/command.sh", command.empty() ? "#!/bin/sh\nexit 0\n" : command);
    chmod((dir_ + "/command.sh").c_str(), 0755);
    args.insert(args.end(), {"-c", dir_ + "/command.sh"});
    port_ = FreePort();
    args.insert(args.end(), {"-p", std::to_string(port_), "Test Printer"});
    printer_ = spawn(args, {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + bus}, dir_ + "/printer.log");
    if (printer_ <= 0 || !waitFor([&] { return answers(port_); }, 100)) {
        std::ifstream in(dir_ + "/printer.log");
        std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        why = "ippeveprinter did not start: " + log.substr(0, 600);
        return false;
    }
    return true;
}

IppPrinter::~IppPrinter()
{
    stop(printer_);
    stop(bus_);
    removeDir(dir_);
}

std::vector<ReceivedJob> JobsAt(const std::string &uri)
{
    std::vector<ReceivedJob> jobs;
    char scheme[32], user[64], host[256], resource[256];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, user, sizeof user,
                        host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
        return jobs;
    http_t *http =
        httpConnect2(host, port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 2000, nullptr);
    if (!http)
        return jobs;
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    /* cupsd shows job names to their owner (or root) only */
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "all");
    ipp_t *response = cupsDoRequest(http, request, resource);
    ReceivedJob job;
    auto flush = [&] {
        if (job.id)
            jobs.push_back(job);
        job = ReceivedJob{};
    };
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        if (ippGetGroupTag(a) != IPP_TAG_JOB || !ippGetName(a)) {
            flush();
            continue;
        }
        std::string name = ippGetName(a);
        char value[4096];
        ippAttributeString(a, value, sizeof value);
        job.attributes[name] = value;
        if (name == "job-id")
            job.id = ippGetInteger(a, 0);
        else if (name == "job-state")
            job.state = ippGetInteger(a, 0);
        else if (name == "job-name")
            job.name = value;
    }
    flush();
    ippDelete(response);
    httpClose(http);
    std::sort(jobs.begin(), jobs.end(),
              [](const ReceivedJob &a, const ReceivedJob &b) { return a.id < b.id; });
    return jobs;
}

std::vector<ReceivedJob> WaitForJobs(const std::string &uri, const std::string &token,
                                     std::size_t count)
{
    std::vector<ReceivedJob> found;
    waitFor(
        [&] {
            found.clear();
            for (const ReceivedJob &j : JobsAt(uri))
                if (j.name.find(token) != std::string::npos)
                    found.push_back(j);
            std::size_t done = 0;
            for (const ReceivedJob &j : found)
                done += j.state >= IPP_JSTATE_CANCELED;
            return found.size() >= count && done == found.size();
        },
        /* cupsd marks its job done only after its backend has seen the
         * printer finish, which takes seconds on a loaded machine. */
        300);
    return found;
}

std::string KeptDocument(const IppPrinter &printer, int id)
{
    std::error_code ec;
    std::string prefix = std::to_string(id) + "-";
    for (const auto &e : std::filesystem::directory_iterator(printer.spool(), ec))
        if (e.path().filename().string().rfind(prefix, 0) == 0 && e.path().extension() == ".pdf")
            return e.path().string(); /* not the command's output, <id>-<name>.prn */
    return {};
}

std::string LaserPrinter()
{
    const int sizes[4][2] = {{21590, 27940}, {21590, 35560}, {21000, 29700}, {10477, 24130}};
    std::string database, supported;
    for (const auto &s : sizes) {
        database += (database.empty() ? "" : ",") + sizeCol(s[0], s[1], true);
        supported += std::string(supported.empty() ? "" : ",") + "{ MEMBER integer x-dimension " +
                     std::to_string(s[0]) + " MEMBER integer y-dimension " + std::to_string(s[1]) +
                     " }";
    }
    return "ATTR textWithoutLanguage printer-make-and-model \"Test Laser 600\"\n"
           "ATTR mimeMediaType document-format-supported application/pdf,image/pwg-raster,"
           "image/urf\n"
           "ATTR boolean color-supported true\n"
           "ATTR keyword print-color-mode-supported auto,color,monochrome\n"
           "ATTR keyword print-color-mode-default auto\n"
           "ATTR keyword sides-supported one-sided,two-sided-long-edge,two-sided-short-edge\n"
           "ATTR keyword sides-default one-sided\n"
           "ATTR keyword media-source-supported auto,tray-1,tray-2,tray-3,manual,envelope,photo\n"
           "ATTR keyword media-supported na_letter_8.5x11in,na_legal_8.5x14in,iso_a4_210x297mm,"
           "na_number-10_4.125x9.5in\n"
           "ATTR keyword media-default na_letter_8.5x11in\n"
           "ATTR keyword media-col-supported media-bottom-margin,media-left-margin,"
           "media-right-margin,media-size,media-source,media-top-margin,media-type\n"
           "ATTR integer media-bottom-margin-supported 635\n"
           "ATTR integer media-top-margin-supported 635\n"
           "ATTR integer media-left-margin-supported 635\n"
           "ATTR integer media-right-margin-supported 635\n"
           "ATTR collection media-col-database " +
           database + "\nATTR collection media-col-default " + sizeCol(21590, 27940, true) +
           "\nATTR collection media-size-supported " + supported +
           "\nATTR keyword media-type-supported stationery,envelope,labels\n"
           "ATTR resolution printer-resolution-supported 600dpi\n"
           "ATTR resolution printer-resolution-default 600dpi\n"
           "ATTR resolution pwg-raster-document-resolution-supported 600dpi\n"
           "ATTR keyword pwg-raster-document-type-supported black_1,sgray_8,srgb_8\n"
           "ATTR keyword pwg-raster-document-sheet-back normal\n"
           "ATTR keyword urf-supported V1.4,CP1,W8,SRGB24,RS600,DM1\n"
           "ATTR keyword print-scaling-supported auto,auto-fit,fill,fit,none\n"
           "ATTR keyword print-scaling-default auto\n"
           "ATTR rangeOfInteger copies-supported 1-99\n"
           "ATTR keyword multiple-document-handling-supported "
           "separate-documents-uncollated-copies,separate-documents-collated-copies\n"
           "ATTR integer pages-per-minute 20\n"
           "ATTR integer pages-per-minute-color 10\n";
}

} // namespace cupstest
