/*
 * The ECG library from a test root, as the client loads it: an annotated
 * ECG made in the test prints one landscape page whose grid and traces are
 * checked on the rendered image, a PDF report passes through, and other
 * data prints nothing.
 */
#include "aecg.h"
#include "aecg_sample.h"
#include "ecg_report.h"
#include "component_fixture.h"

#include <kelecg.h>

#include <cstdio>
#include <filesystem>

namespace {

/* A rendered page: pdftoppm's PPM, one RGB triple per pixel. */
struct Image {
    int width = 0, height = 0;
    std::string rgb;
    const unsigned char *at(int x, int y) const
    {
        return (const unsigned char *)rgb.data() + 3 * ((size_t)y * width + x);
    }
    bool Pink(int x, int y) const
    {
        const unsigned char *p = at(x, y);
        return p[0] > 200 && p[1] < 225 && p[2] < 225 && p[0] - p[1] > 20;
    }
    bool Dark(int x, int y) const
    {
        const unsigned char *p = at(x, y);
        return p[0] < 90 && p[1] < 90 && p[2] < 90;
    }
};

Image Render(const std::string &pdf, int dpi)
{
    const std::string base = pdf + "-page";
    RunCommand("pdftoppm -r " + std::to_string(dpi) + " -singlefile '" + pdf + "' '" + base + "'");
    const std::string ppm = ReadText(base + ".ppm");
    Image image;
    int max = 0, used = 0;
    if (sscanf(ppm.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &max, &used) == 3 &&
        ppm.size() >= (size_t)used + 1 + 3 * (size_t)image.width * image.height)
        image.rgb = ppm.substr((size_t)used + 1, 3 * (size_t)image.width * image.height);
    return image;
}

class EcgTest : public ComponentTest {
protected:
    void SetUp() override
    {
        AddFilePrinter("Ecg Printer", "ecg.pdf", 300);
        module_ = Install("KelEcg.dll", "C:\\novarc\\bin\\ecg");
    }
    int PrintData(const std::string &name, const std::string &bytes, bool holter = false)
    {
        const std::string path = PutInput(name, bytes);
        Bind<decltype(&InitializeErc)>(module_, "InitializeErc")();
        if (holter) {
            Bind<decltype(&HolterSetPrinter)>(module_, "HolterSetPrinter")("Ecg Printer");
            Bind<decltype(&HolterSetReportDataFromFile)>(module_, "HolterSetReportDataFromFile")(
                path.c_str());
            return Bind<decltype(&HolterPrintReport)>(module_, "HolterPrintReport")();
        }
        Bind<decltype(&ErcSetPrinter)>(module_, "ErcSetPrinter")("Ecg Printer");
        Bind<decltype(&SetReportDataFromFile)>(module_, "SetReportDataFromFile")(path.c_str());
        return Bind<decltype(&PrintReport)>(module_, "PrintReport")();
    }
    HMODULE module_ = nullptr;
};

} // namespace

TEST(AecgReadTest, LeadsSamplesPatientAndMeasurementsAreRead)
{
    ecg::Recording r;
    std::string error;
    ASSERT_TRUE(ecg::ReadAecg(SampleAecg(), &r, &error)) << error;
    EXPECT_EQ(r.leads.size(), 12u);
    EXPECT_DOUBLE_EQ(r.secondsPerSample, 0.002);
    ASSERT_NE(r.find("aVR"), nullptr);
    EXPECT_EQ(r.find("II")->microvolts.size(), 5000u);
    /* The R peak of lead II at 0.4 s: 1200 uV, to the digit's 5 uV. */
    EXPECT_NEAR(r.find("II")->microvolts[200], 1200 - 0.25 * 1200 * std::exp(-9.0), 5);
    EXPECT_EQ(r.patient, "Jane Sample");
    EXPECT_EQ(r.patientId, "MRN-4711");
    ASSERT_EQ(r.measurements.size(), 2u);
    EXPECT_EQ(r.measurements[0].label + " " + r.measurements[0].text, "HR 60 bpm");

    EXPECT_FALSE(ecg::ReadAecg("<AnnotatedECG/>", &r, &error));
    EXPECT_FALSE(ecg::ReadAecg("<other/>", &r, &error));
    EXPECT_FALSE(ecg::ReadAecg("MZ\x90\x00 binary", &r, &error));
}

TEST_F(EcgTest, AnnotatedEcgPrintsAGridAndTracesAtTheStandardScale)
{
    ASSERT_EQ(PrintData("rest.xml", SampleAecg()), 1);
    ASSERT_EQ(PdfPages(Out("ecg.pdf")), 1);
    const std::string text = PdfToText(Out("ecg.pdf"));
    for (const char *word : {"Jane Sample", "MRN-4711", "HR 60 bpm", "25 mm/s", "aVR", "V6"})
        EXPECT_NE(text.find(word), std::string::npos) << word;

    const int dpi = 254; /* 10 pixels a millimetre */
    Image page = Render(Out("ecg.pdf"), dpi);
    ASSERT_FALSE(page.rgb.empty());
    EXPECT_GT(page.width, page.height); /* landscape */
    const int left = (int)(ecg::kGridLeftMm * 10), top = (int)(ecg::kGridTopMm * 10);
    /* Grid lines every millimetre along a row between two traces. */
    const int y = top + 10 * 2 + 5;
    int lines = 0;
    for (int x = left + 1000; x < left + 1500; x++)
        lines += page.Pink(x, y) && !page.Pink(x - 1, y);
    EXPECT_NEAR(lines, 50, 3);
    /* A trace in every row of leads: dark pixels around each baseline. */
    for (int row = 0; row < ecg::kRows; row++) {
        const int baseline = top + (int)((row + 0.5) * ecg::kRowHeightMm * 10);
        int dark = 0;
        for (int x = left + 100; x < left + 2400; x += 2)
            for (int dy = -20; dy <= 20; dy++)
                dark += page.Dark(x, baseline + dy);
        EXPECT_GT(dark, 500) << "row " << row;
    }
    /* Lead II's R wave at 10 mm/mV: 1.2 mV rises 12 mm above its baseline
     * at 25 mm/s * 0.4 s = 10 mm into the first column. */
    const int baseline2 = top + (int)(1.5 * ecg::kRowHeightMm * 10);
    const int peakX = left + 60 + 100;
    int highest = baseline2;
    for (int x = peakX - 10; x <= peakX + 10; x++)
        for (int yy = baseline2 - 160; yy < baseline2; yy++)
            if (page.Dark(x, yy) && yy < highest)
                highest = yy;
    EXPECT_NEAR(baseline2 - highest, 120, 8);
}

TEST_F(EcgTest, PdfReportsPassThroughAndOtherDataPrintsNothing)
{
    ASSERT_EQ(PrintData("holter.pdf", samples::NumberedPdf(3, "Holter page"), true), 1);
    EXPECT_EQ(PdfPages(Out("ecg.pdf")), 3);
    std::remove(Out("ecg.pdf").c_str());
    EXPECT_EQ(PrintData("device.ecg", std::string("\x01\x02maker format", 14)), 0);
    EXPECT_FALSE(std::filesystem::exists(Out("ecg.pdf")));
}
