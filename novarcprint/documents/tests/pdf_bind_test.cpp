/*
 * The PDF engine and converter bindings against what a workstation may
 * have: the real components, none (removed from the root), or a partial
 * library (a stand-in lacking most functions).
 */
#include "session_fixture.h"

#include "pdf_bind.h"

#include <winport_test.h>

#include <filesystem>

namespace {

class PdfBindTest : public SessionTest {
protected:
    void TearDown() override
    {
        KelUnloadPdfTron();
        KelUnloadAmyuni();
        winport_test_reset_msgboxes();
        winport_test_reset_quit();
        SessionTest::TearDown();
    }
    /* Installs a stand-in as the component `dll` in `folder`: its DLL file,
     * and beside it the shared object the module map names for it, which
     * the loader takes before the real one. */
    void PlaceFake(const char *fake, const std::string &folder, const char *dll,
                   const char *sharedObject)
    {
        std::filesystem::create_directories(root_.driveC(folder));
        const std::string source = std::string(FAKE_PDF_MODULE_DIR) + "/" + fake;
        std::filesystem::copy_file(source, root_.driveC(folder + "/" + sharedObject));
        std::filesystem::copy_file(source, root_.driveC(folder + "/" + dll));
    }
};

} // namespace

TEST_F(PdfBindTest, TheInstalledComponentsAreLoadedAndCalled)
{
    ASSERT_TRUE(winport_test_install_module(KELPDFTRON_DLL_NAME, KELPDFTRON_FOLDER));
    ASSERT_TRUE(winport_test_install_module(CDINTF_DLL_NAME, "C:\\Windows\\system32"));
    EXPECT_FALSE(KelPdfTronLoaded());
    EXPECT_EQ(KELPDFTRON_DLL_VERSION, KelPdfTron_DllVersion()) << "loaded at the first call";
    EXPECT_TRUE(KelPdfTronLoaded());
    char error[KELPDFTRON_ERROR_TEXT_SIZE] = "";
    EXPECT_EQ(0, KelPdfTron_Separate("C:\\missing.pdf", error));
    EXPECT_NE(nullptr, strstr(error, "missing.pdf")) << error;

    ASSERT_EQ(1, KelLoadAmyuni(session_.get()));
    EXPECT_NE(std::string::npos, Log().find("LoadAmyuniDLL SUCCESS"));
    EXPECT_EQ(nullptr, KelAmyuni_DriverInit("NovarcPDF")) << "no printer yet";
    char text[CDINTF_ERROR_TEXT_SIZE] = "";
    EXPECT_GT(KelAmyuni_GetLastErrorMsg(text, sizeof text), 0);

    /* The recovery of a missing converter printer: its installer. */
    EXPECT_EQ(-1, KelAmyuni_RunInstaller("NovarcPDF")) << "no installer in the system folder";
    std::filesystem::copy_file(CDINSTALL_PATH, root_.driveC("Windows/system32/cdinstall.exe"));
    EXPECT_EQ(0, KelAmyuni_RunInstaller("NovarcPDF"));
    HANDLE h = KelAmyuni_DriverInit("NovarcPDF");
    EXPECT_NE(nullptr, h);
    EXPECT_TRUE(KelAmyuni_DriverEnd(h));
    EXPECT_EQ(0, winport_test_msgbox_count());
}

TEST_F(PdfBindTest, WithoutTheComponentsEveryCallReturnsZero)
{
    EXPECT_EQ(0, KelLoadPdfTron());
    EXPECT_EQ(0, KelPdfTron_DllVersion());
    EXPECT_EQ(nullptr, KelPdfTron_CreateFormObject());
    char error[KELPDFTRON_ERROR_TEXT_SIZE] = "untouched";
    EXPECT_EQ(0, KelPdfTron_Normalize("C:\\x.pdf", 0, error));
    EXPECT_STREQ("untouched", error);
    KelPdfTron_Terminate();

    EXPECT_EQ(0, KelLoadAmyuni(session_.get()));
    EXPECT_NE(std::string::npos, Log().find("LoadAmyuniDLL FAILED"));
    EXPECT_EQ(nullptr, KelAmyuni_DriverInit("NovarcPDF"));
    EXPECT_EQ(0, KelAmyuni_Lock(nullptr, "x"));
    EXPECT_EQ(0, winport_test_msgbox_count()) << "a missing library shows nothing";
    EXPECT_FALSE(winport_test_quit_posted(nullptr));
}

TEST_F(PdfBindTest, AnEngineLackingAFunctionAnswersZeroForIt)
{
    PlaceFake("libfake_kelpdftron.so", "novarc/bin/PdfTron", KELPDFTRON_DLL_NAME,
              "libkelpdftron.so");
    ASSERT_EQ(1, KelLoadPdfTron());
    EXPECT_EQ(1077, KelPdfTron_DllVersion()) << "initialised after loading";
    char error[KELPDFTRON_ERROR_TEXT_SIZE] = "untouched";
    EXPECT_EQ(0, KelPdfTron_Concatenate("C:\\o.pdf", "C:\\", "Part", "x.pdf", 2, error));
    EXPECT_EQ(0, KelPdfTron_PrintDocumentBuffer(nullptr, nullptr, "", -1, "", nullptr, 0, 0, 1, "",
                                                0, 0, "", ""));
    EXPECT_EQ(0, winport_test_msgbox_count());
}

TEST_F(PdfBindTest, AConverterLackingAFunctionNamesItAndPostsQuit)
{
    PlaceFake("libfake_cdintf550.so", "Windows/system32", CDINTF_DLL_NAME, "libcdintf550.so");
    ASSERT_EQ(1, KelLoadAmyuni(session_.get()));
    EXPECT_EQ(reinterpret_cast<HANDLE>(0x5C), KelAmyuni_DriverInit("NovarcPDF"));
    EXPECT_EQ(0, winport_test_msgbox_count());
    EXPECT_EQ(0, KelAmyuni_Lock(reinterpret_cast<HANDLE>(0x5C), "Part1Img.pdf"));
    EXPECT_EQ(1, winport_test_msgbox_count());
    EXPECT_NE(nullptr, strstr(winport_test_last_msgbox(), "UNABLE TO LINK WITH Lock"));
    EXPECT_TRUE(winport_test_quit_posted(nullptr));
}
