/*
 * Images end to end: novarc-send sends scans made by outside tools to a
 * client on a scratch root, in the server's piece size, onto the embedded
 * PDF printer.  The cache keeps them enciphered and answers for them; the
 * PDF keeps the G4 and JPEG bytes (pdfimages); an annotation file lands
 * over its scan on the rendered page (pdftoppm).
 */
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kellib/protect.h"
#include "scratch_root.h"
#include "posix_files.h"

namespace {

std::string Sample(const std::string &name)
{
    static const bool made = [] {
        int status = 0;
        const std::string out = RunCommand("/usr/bin/python3 " SOURCE_DIR
                                           "/tests/image_samples.py " IMAGE_SAMPLES_DIR " 2>&1",
                                           &status);
        EXPECT_EQ(status, 0) << out;
        return status == 0;
    }();
    (void)made;
    return std::string(IMAGE_SAMPLES_DIR) + "/" + name;
}

class ImageJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        /* The imaging library behind its seven names in the system folder. */
        for (const char *dll : {"ltkrnu.dll", "ltfilu.dll", "lttwnu.dll", "LTDISU.DLL",
                                "ltannu.dll", "Ltimgefxu.dll", "ltimgcoru.dll"})
            WriteText(root_.driveC(std::string("Windows/system32/") + dll), "");
        /* The client's debug log, shown when a test fails. */
        WriteText(root_.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
    }
    void TearDown() override
    {
        if (!HasFailure())
            return;
        const std::string logs = root_.driveC("novarc/bin/NovarcPrintDebug");
        if (std::filesystem::is_directory(logs))
            for (const auto &entry : std::filesystem::directory_iterator(logs))
                printf("%s\n", ReadText(entry.path().string()).c_str());
    }
    /* novarc-send against a client on the root; its output.  Real time:
     * the dispatcher waits a minute for a scan being printed before it
     * gives up on the next piece, and a scan can take seconds on a busy
     * machine. */
    std::string Send(const std::string &args)
    {
        int status = 0;
        const std::string out =
            RunCommand("WINPORT_ROOT=" + ShellQuoted(root_.path()) + " WINPORT_TIME_SCALE=1 " +
                           NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE " --wait 60000 " +
                           "--printer 'Workstation PDF' " + args + " 2>&1",
                       &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;
        /* Printing scans under load takes a while: the client ends (and
         * closes the connection) once the job's PDF is written. */
        EXPECT_EQ(out.find("still running"), std::string::npos) << out;
        return out;
    }
    std::vector<std::string> Pdfs()
    {
        std::vector<std::string> pdfs;
        const std::string printed = root_.driveC("novarc/printed");
        if (std::filesystem::is_directory(printed))
            for (const auto &entry : std::filesystem::directory_iterator(printed))
                if (entry.path().extension() == ".pdf")
                    pdfs.push_back(entry.path().string());
        return pdfs;
    }
    std::string Cached(const std::string &name)
    {
        return root_.driveC("novarc/RecentScans/" + name);
    }

    ScratchRoot root_;
};

/* The rows of `pdfimages -list`: page, width, height, encoding. */
std::vector<std::string> ImageRows(const std::string &pdf)
{
    int status = 0;
    const std::string out = RunCommand("pdfimages -list " + ShellQuoted(pdf), &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<std::string> rows;
    std::istringstream lines(out);
    std::string line;
    for (int i = 0; std::getline(lines, line); i++) {
        if (i < 2)
            continue;
        std::istringstream f(line);
        std::string page, num, type, w, h, color, comp, bpc, enc;
        f >> page >> num >> type >> w >> h >> color >> comp >> bpc >> enc;
        rows.push_back(page + " " + w + "x" + h + " " + enc);
    }
    return rows;
}

TEST_F(ImageJobTest, ScansArriveInPiecesStayEncipheredAndKeepTheirEncodingInThePdf)
{
    const std::string page = ReadText(Sample("page_g4.tif"));
    const std::string photo = ReadText(Sample("photo.jpg"));
    const std::string out = Send("--image " + ShellQuoted(Sample("page_g4.tif")) + " --image " +
                                 ShellQuoted(Sample("photo.jpg")));
    EXPECT_NE(out.find("file is here flag 0"), std::string::npos) << out;

    const auto pdfs = Pdfs();
    ASSERT_EQ(pdfs.size(), 1u) << out;
    EXPECT_EQ(ImageRows(pdfs[0]),
              (std::vector<std::string>{"1 2550x3300 ccitt", "2 1600x1200 jpeg"}));
    const auto size = std::filesystem::file_size(pdfs[0]);
    EXPECT_LT(size, (page.size() + photo.size()) * 12 / 10) << "the scans' own bytes, not pixels";

    /* Kept enciphered: the counter block, then the scan under the file key. */
    const std::string stored = ReadText(Cached("page_g4.tif.x2m"));
    ASSERT_EQ(stored.size(), page.size() + KEL_FILE_IV_SIZE);
    std::string plain = stored.substr(KEL_FILE_IV_SIZE);
    KelFileKeyCrypt((const unsigned char *)stored.data(), 0, plain.data(), plain.size());
    EXPECT_TRUE(plain == page) << "deciphered byte for byte";
    EXPECT_FALSE(std::filesystem::exists(Cached("page_g4.tif")));

    /* Asked again, the cache has it and says how large it is. */
    const std::string again = Send("--image " + ShellQuoted(Sample("page_g4.tif")));
    EXPECT_NE(again.find("file is here flag 1"), std::string::npos) << again;
}

TEST_F(ImageJobTest, AnAnnotationFileIsDrawnOverItsScan)
{
    /* A red block on the upper left quarter of the page's picture. */
    const std::string ann = root_.path() + "/page_g4.tif.ann";
    WriteText(ann, R"({"format": "novarc-annotations", "version": 1,
        "image": {"width": 2550, "height": 3300},
        "objects": [{"type": "rectangle", "rect": [300, 400, 1200, 1500], "color": "#FF0000",
                     "fill": "#FF0000"}]})");
    const std::string out =
        Send("--annotation " + ShellQuoted(ann) + " --image " + ShellQuoted(Sample("page_g4.tif")));
    const auto pdfs = Pdfs();
    ASSERT_EQ(pdfs.size(), 1u) << out;
    EXPECT_FALSE(std::filesystem::exists(Cached("page_g4.tif.ann"))) << "removed once drawn";

    /* Rendered at 20 dpi: the block's middle is red, a margin far from it
     * is not. */
    const std::string png = root_.path() + "/rendered";
    int status = 0;
    RunCommand("pdftoppm -r 20 -f 1 -l 1 -singlefile " + ShellQuoted(pdfs[0]) + " " +
                   ShellQuoted(png),
               &status);
    ASSERT_EQ(status, 0);
    const std::string ppm = ReadText(png + ".ppm");
    /* P6 header: "P6\n<w> <h>\n255\n". */
    std::istringstream head(ppm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    head >> magic >> w >> h >> max;
    ASSERT_EQ(magic, "P6");
    const size_t pixels = ppm.size() - (size_t)w * h * 3;
    auto at = [&](double fx, double fy) {
        const size_t i = pixels + ((size_t)(fy * h) * w + (size_t)(fx * w)) * 3;
        return std::vector<int>{(unsigned char)ppm[i], (unsigned char)ppm[i + 1],
                                (unsigned char)ppm[i + 2]};
    };
    /* The picture fills the printable width from its corner; x 750/2550
     * and y 950/3300 of it are well inside the block. */
    const auto red = at(0.29, 0.28);
    EXPECT_GT(red[0], 180);
    EXPECT_LT(red[1], 80);
    EXPECT_LT(red[2], 80);
    const auto outside = at(0.8, 0.8);
    EXPECT_FALSE(outside[0] > 180 && outside[1] < 80) << "only the block is red";
}

} // namespace
