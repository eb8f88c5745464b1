/*
 * Raw jobs: bytes written with WritePrinter reach the port unchanged, data
 * types other than RAW are refused, calls out of order fail as documented,
 * and aborted jobs leave nothing behind.
 */
#include "spool_test_util.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace spooltest;

namespace {

DWORD startRaw(HANDLE h, const char *name, const char *type = "RAW", const char *output = nullptr)
{
    DOC_INFO_1A di{const_cast<char *>(name), const_cast<char *>(output), const_cast<char *>(type)};
    return StartDocPrinterA(h, 1, reinterpret_cast<LPBYTE>(&di));
}

std::string allBytes()
{
    std::string bytes;
    for (int i = 0; i < 256; i++)
        bytes += char(i);
    return bytes + std::string("\x1b"
                               "E\r\n\f\0tail",
                               11);
}

bool write(HANDLE h, const std::string &bytes)
{
    DWORD written = 0;
    return WritePrinter(h, const_cast<char *>(bytes.data()), DWORD(bytes.size()), &written) &&
           written == bytes.size();
}

} // namespace

TEST_F(SpoolTest, RawBytesArriveUnchangedAndAppendOnARawPort)
{
    addPrinter("Labels", {{"Port", "RAW:C:\\dev\\labels.prn"}});
    ASSERT_TRUE(CreateDirectoryA("C:\\dev", nullptr));
    OpenedPrinter p("Labels");
    const std::string bytes = allBytes();
    for (int round = 0; round < 2; round++) {
        DWORD job = startRaw(p.h, "label");
        ASSERT_GT(job, 0u);
        ASSERT_TRUE(StartPagePrinter(p.h));
        ASSERT_TRUE(write(p.h, bytes.substr(0, 100)));
        ASSERT_TRUE(write(p.h, ""));
        ASSERT_TRUE(write(p.h, bytes.substr(100)));
        ASSERT_TRUE(EndPagePrinter(p.h));
        ASSERT_TRUE(EndDocPrinter(p.h));
    }
    EXPECT_EQ(bytes + bytes, readAll(root.driveC("dev/labels.prn")));
}

TEST_F(SpoolTest, RawJobOnFolderPortIsOneFilePerJob)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    OpenedPrinter p("Lab Laser");
    DWORD job = startRaw(p.h, "chart", nullptr);
    ASSERT_GT(job, 0u);
    ASSERT_TRUE(write(p.h, allBytes()));
    std::vector<BYTE> buf;
    EXPECT_EQ(1u, printerInfo2(p.h, buf)->cJobs) << "a raw job being written counts";
    ASSERT_TRUE(EndDocPrinter(p.h));
    EXPECT_EQ(0u, printerInfo2(p.h, buf)->cJobs);
    EXPECT_EQ(allBytes(), readAll(root.driveC("out/" + std::to_string(job) + "-chart.prn")));
}

TEST_F(SpoolTest, RawJobRefusesOtherDataTypesAndLevels)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    OpenedPrinter p("Lab Laser");
    SetLastError(kSentinel);
    EXPECT_EQ(0u, startRaw(p.h, "x", "EMF"));
    EXPECT_EQ(ERROR_INVALID_DATATYPE, GetLastError());
    DOC_INFO_1A di{const_cast<char *>("x"), nullptr, nullptr};
    SetLastError(kSentinel);
    EXPECT_EQ(0u, StartDocPrinterA(p.h, 2, reinterpret_cast<LPBYTE>(&di)));
    EXPECT_EQ(ERROR_INVALID_LEVEL, GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(0u,
              StartDocPrinterA(reinterpret_cast<HANDLE>(0x40), 1, reinterpret_cast<LPBYTE>(&di)));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    std::vector<BYTE> buf;
    EXPECT_EQ(0u, printerInfo2(p.h, buf)->cJobs) << "a refused job is no job";
}

TEST_F(SpoolTest, RawCallsWithoutADocumentFail)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    OpenedPrinter p("Lab Laser");
    DWORD written = 5;
    SetLastError(kSentinel);
    EXPECT_FALSE(WritePrinter(p.h, const_cast<char *>("abc"), 3, &written));
    EXPECT_EQ(ERROR_SPL_NO_STARTDOC, GetLastError());
    EXPECT_EQ(0u, written);
    SetLastError(kSentinel);
    EXPECT_FALSE(EndDocPrinter(p.h));
    EXPECT_EQ(ERROR_SPL_NO_STARTDOC, GetLastError());
    SetLastError(kSentinel);
    EXPECT_FALSE(StartPagePrinter(p.h));
    EXPECT_EQ(ERROR_SPL_NO_STARTDOC, GetLastError());

    ASSERT_GT(startRaw(p.h, "twice"), 0u);
    SetLastError(kSentinel);
    EXPECT_EQ(0u, startRaw(p.h, "twice"));
    EXPECT_EQ(ERROR_INVALID_PRINTER_STATE, GetLastError());
    EXPECT_TRUE(AbortPrinter(p.h));
}

TEST_F(SpoolTest, AbortedAndCancelledRawJobsLeaveNothing)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    OpenedPrinter p("Lab Laser");
    ASSERT_GT(startRaw(p.h, "aborted"), 0u);
    ASSERT_TRUE(write(p.h, "data"));
    EXPECT_TRUE(AbortPrinter(p.h));

    DWORD job = startRaw(p.h, "cancelled");
    ASSERT_TRUE(write(p.h, "data"));
    ASSERT_TRUE(SetJobA(p.h, job, 0, nullptr, JOB_CONTROL_DELETE));
    SetLastError(kSentinel);
    EXPECT_FALSE(write(p.h, "more"));
    EXPECT_EQ(ERROR_PRINT_CANCELLED, GetLastError());
    EXPECT_TRUE(EndDocPrinter(p.h));
    EXPECT_TRUE(filesIn(root.driveC("out")).empty());
    EXPECT_TRUE(filesIn(root.path() + "/winport/spool/active").empty());
}

TEST_F(SpoolTest, ClosePrinterDeliversARawJobLeftOpen)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterA(const_cast<char *>("Lab Laser"), &h, nullptr));
    DWORD job = startRaw(h, "left open");
    ASSERT_TRUE(write(h, "kept"));
    ASSERT_TRUE(ClosePrinter(h));
    EXPECT_EQ("kept", readAll(root.driveC("out/" + std::to_string(job) + "-left open.prn")));
}

/* A job of another process counts while that process writes it, and stops
 * counting when the process dies without ending it (or a busy printer would
 * stay busy for good). */
TEST_F(SpoolTest, JobsOfOtherProcessesCountUntilTheyEndOrDie)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    for (bool killed : {false, true}) {
        int ready[2], go[2];
        ASSERT_EQ(0, pipe(ready));
        ASSERT_EQ(0, pipe(go));
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HANDLE h = nullptr;
            OpenPrinterA(const_cast<char *>("Lab Laser"), &h, nullptr);
            bool ok = startRaw(h, "child") > 0 && write(h, "bytes");
            char c = ok ? 'y' : 'n';
            (void)!::write(ready[1], &c, 1);
            (void)!::read(go[0], &c, 1);
            _exit(EndDocPrinter(h) ? 0 : 1);
        }
        char c = 0;
        ASSERT_EQ(1, ::read(ready[0], &c, 1));
        ASSERT_EQ('y', c);
        OpenedPrinter p("Lab Laser");
        std::vector<BYTE> buf;
        EXPECT_EQ(1u, printerInfo2(p.h, buf)->cJobs);
        if (killed)
            kill(child, SIGKILL);
        else
            (void)!::write(go[1], "g", 1);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(0u, printerInfo2(p.h, buf)->cJobs) << (killed ? "killed" : "ended");
        for (int fd : {ready[0], ready[1], go[0], go[1]})
            close(fd);
    }
    EXPECT_EQ(1u, filesIn(root.driveC("out")).size()) << "only the job that ended";
    for (const std::string &name : filesIn(root.path() + "/winport/spool"))
        EXPECT_EQ(std::string::npos, name.find(".prn")) << "the dead job's spool file: " << name;
}
