/*
 * The image convert printer: each image becomes a page file in the format,
 * scale and depth asked for, and convert-and-send returns the pages in
 * order, then the lone end marker.
 */
#include "documents_fixture.h"

namespace {

class ImageConvertTest : public DocumentsTest {
protected:
    void SetUp() override
    {
        DocumentsTest::SetUp();
        for (const char *dll : {"ltkrnu.dll", "ltfilu.dll", "lttwnu.dll", "LTDISU.DLL",
                                "ltannu.dll", "Ltimgefxu.dll", "ltimgcoru.dll"})
            WriteText(root_.driveC(std::string("Windows/system32/") + dll), "");
        ASSERT_EQ(KELLoadImagingLibrary(), 1);
        int status = 0;
        const std::string out = RunCommand("/usr/bin/python3 " SOURCE_DIR
                                           "/tests/image_samples.py " IMAGE_SAMPLES_DIR " 2>&1",
                                           &status);
        ASSERT_EQ(status, 0) << out;
        const std::string scan = samples::ReadFile(IMAGE_SAMPLES_DIR "/page_g4.tif");
        std::filesystem::create_directories(root_.driveC("novarc/RecentScans"));
        ASSERT_EQ(WriteEncipheredFile("c:\\novarc\\RecentScans\\scan.tif.x2m", scan.data(),
                                      (DWORD)scan.size()),
                  1);
    }
    int Options(const std::string &payload)
    {
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, payload.data(), (int)payload.size());
        const int result = HandleImageConversionOptions(session_.get(), &msg, 110);
        FreeMsgBuf(&msg);
        return result;
    }
    /* Width and height from a PNG's header. */
    static std::pair<int, int> PngSize(const std::string &png)
    {
        auto be = [&](size_t at) {
            return (int)(((unsigned char)png[at] << 24) | ((unsigned char)png[at + 1] << 16) |
                         ((unsigned char)png[at + 2] << 8) | (unsigned char)png[at + 3]);
        };
        return png.size() > 24 ? std::make_pair(be(16), be(20)) : std::make_pair(0, 0);
    }
};

TEST_F(ImageConvertTest, EachImageBecomesAPageFileReturnedInOrder)
{
    ASSERT_EQ(Open("LeadtoolsCVT"), 1);
    ASSERT_EQ(Options(Str("png") + Int32(50) + Int32(24)), 1);
    EXPECT_EQ(session_->m_Printer.m_iConversionFormat, L_FMT_PNG);
    const std::string doc = session_->m_Printer.m_szDocumentName;
    EXPECT_EQ(doc.substr(doc.size() - 4), ".png");

    EXPECT_EQ(ConvertImageFile(session_.get(), "scan.tif", 1, 0), 0);
    EXPECT_EQ(ConvertImageFile(session_.get(), "scan.tif", 2, 0), 0);
    const std::string stem = doc.substr(0, doc.find('.'));
    const std::string page1 = root_.driveC("novarc/convert_pdf/" + stem + "PG1.png");
    ASSERT_TRUE(std::filesystem::exists(page1));
    EXPECT_EQ(PngSize(samples::ReadFile(page1)), std::make_pair(1275, 1650)) << "half size";
    EXPECT_EQ(ConvertImageFile(session_.get(), "absent.tif", 3, 0), 0);

    MsgBuf msg = MsgBuf();
    const std::string payload = Int32(0) + Int32(CONVERT_PAGE_BY_PAGE);
    AppendBytes(&msg, payload.data(), (int)payload.size());
    HandlePrintConvertAndSendFiles(session_.get(), &msg, PRINT_CONVERT_AND_SEND_FILES);
    FreeMsgBuf(&msg);
    std::vector<ReturnedFile> files = Returned();
    ASSERT_EQ(files.size(), 3u);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(files[i].name, stem + "PG" + std::to_string(i + 1) + ".png");
        EXPECT_EQ(files[i].data.substr(1, 3), "PNG");
    }
    EXPECT_EQ(files[2].name, "DONE");
    EXPECT_FALSE(std::filesystem::exists(page1));
}

TEST_F(ImageConvertTest, OptionsAPeerGotWrongAreRefused)
{
    const std::string bad[] = {
        std::string("png"),                  /* no end, no numbers */
        Str("png") + Int32(50),              /* a number short */
        Str("..\\x") + Int32(0) + Int32(24), /* a path, not an extension */
        Str(std::string(40, 'p')) + Int32(0) + Int32(24),
        Str("") + Int32(0) + Int32(24),
    };
    for (const std::string &payload : bad)
        EXPECT_EQ(Options(payload), 0);
    EXPECT_EQ(Options(Str("jpg") + Int32(0) + Int32(24)), 1);
    EXPECT_EQ(session_->m_Printer.m_iConversionFormat, L_FMT_JPEG);
    EXPECT_EQ(Options(Str("tif") + Int32(0) + Int32(1)), 1);
    EXPECT_EQ(session_->m_Printer.m_iConversionFormat, L_FMT_JPEG)
        << "an unknown extension keeps it";
}

} // namespace
