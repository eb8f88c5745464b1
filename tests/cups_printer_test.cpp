/*
 * A print job from the server to a real printer through CUPS: novarc-send
 * plays the server against a real Novarcprint whose printer is an IPP
 * Everywhere queue of a private cupsd, in front of ippeveprinter declared
 * as an office laser.  The server's tray numbers go through the client's
 * tray-name rules to the queue's bins, and each page reaches the printer
 * from the tray it asked for, the envelope on envelope paper; a text
 * report reaches it on the queue's default paper, not its first.
 */
#include <algorithm>
#include <cstdlib>

#include "client_process.h"
#include "private_cups.h"

using namespace cupstest;

namespace {

class CupsPrinterE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!cups_.start(why) || !printer_.start(LaserPrinter(), "", why))
            GTEST_SKIP() << why;
        ASSERT_TRUE(cups_.lpadmin("-p wp-laser -E -v " + printer_.uri() + " -m everywhere"));
        setenv("CUPS_SERVER", cups_.server().c_str(), 1);
    }
    void TearDown() override { unsetenv("CUPS_SERVER"); }

    /* Sends the job lines through a spawned client; its output. */
    std::string Send(const std::string &job)
    {
        const std::string file = root_.path() + "/job.txt";
        WriteText(file, job);
        return Run("--job " + ShellQuoted(file));
    }

    /* Runs novarc-send with args against a spawned client; its output. */
    std::string Run(const std::string &args)
    {
        WriteText(root_.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
        int status = 0;
        /* On the real clock: novarc-send's ten seconds to hand the
         * connection over must be ten seconds on a busy machine. */
        std::string out = RunCommand(
            "WINPORT_ROOT=" + ShellQuoted(root_.path()) +
                " " NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE " --wait 3000 " + args + " 2>&1",
            &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }

    ScratchRoot root_;
    PrivateCups cups_;
    IppPrinter printer_;
};

} // namespace

TEST_F(CupsPrinterE2E, TraysTheServerNamesAreTheTraysThePrinterFeedsFrom)
{
    /* Form type 31 names the trays as the server numbers them: its tray 3
     * (bin code 2) is "Tray 3", its tray 2 (bin code 3) "Tray 2". */
    const std::string out =
        Send("OPEN_PRINTER \"s:wp-laser\" \"s:Test Laser 600\" i:66 i:0 s: i:0 i:31 i:0 i:0 "
             "s:clinic\n"
             "SET_PRINTER_TRAY i:0 i:3 i:3\n"
             "PRINT_STREAM \"r:from tray three\\r\\n\\x0c\"\n"
             "SET_PRINTER_TRAY i:0 i:2 i:2\n"
             "PRINT_STREAM \"r:from tray two\\r\\n\\x0c\"\n"
             "SET_PRINTER_TRAY i:2 i:1 i:1\n"
             "PRINT_STREAM \"r:an envelope\\r\\n\"\n"
             "CLOSE_PRINTER\n");
    EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;

    std::vector<ReceivedJob> jobs = WaitForJobs(printer_.uri(), "", 3);
    /* What the queue made of the jobs, when the printer did not get them all. */
    std::string queued;
    for (const ReceivedJob &j : JobsAt("ipp://" + cups_.server() + "/printers/wp-laser"))
        queued += std::to_string(j.id) + " state " + std::to_string(j.state) + " " +
                  j.attr("media-col") + " pages " + j.attr("page-ranges") + "\n";
    ASSERT_GE(jobs.size(), 3u) << out << queued;
    /* Which job printed which text, whatever number of jobs it took. */
    auto jobWith = [&](const std::string &text) -> const ReceivedJob * {
        for (const ReceivedJob &j : jobs) {
            std::string pdf = KeptDocument(printer_, j.id);
            if (!pdf.empty() &&
                RunCommand("pdftotext " + ShellQuoted(pdf) + " -").find(text) != std::string::npos)
                return &j;
        }
        return nullptr;
    };
    const struct {
        const char *text, *source, *size;
    } expected[] = {
        {"from tray three", "media-source=tray-3", "x-dimension=21590 y-dimension=27940"},
        {"from tray two", "media-source=tray-2", "x-dimension=21590 y-dimension=27940"},
        {"an envelope", "media-source=envelope", "x-dimension=10477 y-dimension=24130"},
    };
    for (const auto &e : expected) {
        SCOPED_TRACE(e.text);
        const ReceivedJob *job = jobWith(e.text);
        ASSERT_NE(job, nullptr) << out;
        EXPECT_NE(job->attr("media-col").find(e.source), std::string::npos)
            << job->attr("media-col");
        EXPECT_NE(job->attr("media-col").find(e.size), std::string::npos) << job->attr("media-col");
    }
}

TEST_F(CupsPrinterE2E, ATextReportComesOutOnTheQueuesDefaultPaper)
{
    /* Through CUPS the queue lists A4 first; its default is made legal.  A
     * text report names no paper, so it prints on the queue's default, not
     * on the first size listed, with the queue's quarter-inch margins and
     * no scaling. */
    ASSERT_TRUE(cups_.lpadmin("-p wp-laser -o media-default=na_legal_8.5x14in"));
    std::string text;
    for (int line = 1; line <= 30; line++)
        text += "report line " + std::to_string(line) + "\r\n";
    const std::string file = root_.path() + "/report.txt";
    WriteText(file, text);
    const std::string out = Run("--printer wp-laser --text " + ShellQuoted(file));
    EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;

    std::vector<ReceivedJob> jobs = WaitForJobs(printer_.uri(), "", 1);
    ASSERT_EQ(jobs.size(), 1u) << out;
    const std::string media = jobs[0].attr("media-col");
    EXPECT_NE(media.find("x-dimension=21590 y-dimension=35560"), std::string::npos) << media;
    EXPECT_NE(media.find("media-left-margin=635"), std::string::npos) << media;
    std::vector<ReceivedJob> queued = JobsAt("ipp://" + cups_.server() + "/printers/wp-laser");
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].attr("print-scaling"), "none");
    const std::string pdf = KeptDocument(printer_, jobs[0].id);
    ASSERT_FALSE(pdf.empty());
    EXPECT_NE(RunCommand("pdfinfo " + ShellQuoted(pdf)).find("612 x 1008 pts"), std::string::npos);
    const std::string printed = RunCommand("pdftotext " + ShellQuoted(pdf) + " -");
    EXPECT_NE(printed.find("report line 1"), std::string::npos) << printed;
    EXPECT_NE(printed.find("report line 30"), std::string::npos) << printed;
}
