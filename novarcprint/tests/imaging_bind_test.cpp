/*
 * The imaging library binding: loading the seven DLLs from the system
 * folder of a test root, calls through a stand-in library that lacks most
 * functions (a box and a posted quit for the ones printing cannot do
 * without, a quiet 0 for the others), a missing DLL, the real component,
 * and the component as scripts/install.sh installs it.
 */
#include "imaging_bind.h"
#include "printer.h"
#include "session_fixture.h"

#include <gtest/gtest.h>
#include <posix_files.h>
#include <scratch_root.h>
#include <winport_test.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

const char *const kDlls[] = {"ltkrnu.dll", "ltfilu.dll",    "lttwnu.dll",   "LTDISU.DLL",
                             "ltannu.dll", "Ltimgefxu.dll", "ltimgcoru.dll"};

class ImagingBind : public ::testing::Test {
protected:
    void SetUp() override
    {
        winport_test_reset_msgboxes();
        winport_test_reset_quit();
    }
    void TearDown() override
    {
        KELUnloadImagingLibrary();
        unsetenv("WINPORT_MODULE_PATH");
    }
    /* The DLL names in the root's system folder, as placeholders: the
     * module map finds the shared object on WINPORT_MODULE_PATH. */
    void InstallNames(const std::string &moduleDir)
    {
        setenv("WINPORT_MODULE_PATH", moduleDir.c_str(), 1);
        const std::string system32 = root_.driveC("Windows/system32");
        for (const char *dll : kDlls)
            std::fclose(std::fopen((system32 + "/" + dll).c_str(), "w"));
    }
    ScratchRoot root_;
};

TEST_F(ImagingBind, NothingLoadedCallsReturnZeroQuietly)
{
    ASSERT_EQ(KELImagingLibraryLoaded(), 0);
    BITMAPHANDLE b{};
    const BYTE data[4] = {};
    EXPECT_EQ(KELL_LoadMemory(data, &b, sizeof b, 0, 0, 4), 0);
    EXPECT_EQ(KELL_PaintDC(nullptr, &b, nullptr, nullptr, SRCCOPY), 0);
    EXPECT_EQ(KELL_GetPixelColor(&b, 0, 0), 0u);
    EXPECT_EQ(KELL_CreatePaintPalette(nullptr, &b), nullptr);
    KELL_FreeBitmap(&b);
    EXPECT_EQ(winport_test_msgbox_count(), 0);
    EXPECT_FALSE(winport_test_quit_posted(nullptr));
}

TEST_F(ImagingBind, AMissingDllLeavesImagingUnavailable)
{
    InstallNames(FAKE_IMAGING_DIR);
    std::filesystem::remove(root_.driveC("Windows/system32/Ltimgefxu.dll"));
    EXPECT_EQ(KELLoadImagingLibrary(), 0);
    EXPECT_EQ(KELImagingLibraryLoaded(), 0);
    BITMAPHANDLE b{};
    const BYTE data[4] = {};
    EXPECT_EQ(KELL_LoadMemory(data, &b, sizeof b, 0, 0, 4), 0) << "none of the seven is kept";
    EXPECT_EQ(winport_test_msgbox_count(), 0);
}

TEST_F(ImagingBind, PresentFunctionsAreCalledAndTheFiltersPreloaded)
{
    InstallNames(FAKE_IMAGING_DIR);
    ASSERT_EQ(KELLoadImagingLibrary(), 1);
    EXPECT_EQ(KELLoadImagingLibrary(), 1) << "loading again keeps it";
    HMODULE files = LoadLibraryA("ltfilu.dll");
    auto filters = reinterpret_cast<const char *(*)()>(
        reinterpret_cast<void *>(GetProcAddress(files, "FakeImagingFilters")));
    ASSERT_NE(filters, nullptr);
    EXPECT_STREQ(filters(), "BMP,J2K,JPG,TIF");
    FreeLibrary(files);
    BITMAPHANDLE b{};
    const BYTE data[4] = {};
    EXPECT_EQ(KELL_LoadMemory(data, &b, sizeof b, 0, 0, 4), L_SUCCESS);
    EXPECT_EQ(b.Width, 7);
    EXPECT_EQ(winport_test_msgbox_count(), 0);
}

TEST_F(ImagingBind, MissingFunctionsPrintingNeedsNameThemselvesAndPostQuit)
{
    InstallNames(FAKE_IMAGING_DIR);
    ASSERT_EQ(KELLoadImagingLibrary(), 1);
    BITMAPHANDLE b{};
    HANNOBJECT h = nullptr;
    RECT r{};
    HGLOBAL g = nullptr;
    DWORD size = 0;
    const std::vector<std::pair<const char *, std::function<long long()>>> fatal = {
        {"L_AnnDestroy", [&] { return KELL_AnnDestroy(h, 0); }},
        {"L_AnnLoad", [&] { return KELL_AnnLoad(u"x.ann", &h); }},
        {"L_AnnSetRect", [&] { return KELL_AnnSetRect(h, &r); }},
        {"L_AverageFilterBitmap", [&] { return KELL_AverageFilterBitmap(&b, 10); }},
        {"L_ChangeBitmapViewPerspective",
         [&] { return KELL_ChangeBitmapViewPerspective(nullptr, &b, L_TOP_LEFT); }},
        {"L_ColorResBitmap", [&] { return KELL_ColorResBitmap(&b, nullptr, sizeof b, 24, 0); }},
        {"L_FillBitmap", [&] { return KELL_FillBitmap(&b, 0); }},
        {"L_GetAutoTrimRect", [&] { return KELL_GetAutoTrimRect(&b, 70, &r); }},
        {"L_PaintDC", [&] { return KELL_PaintDC(nullptr, &b, nullptr, &r, SRCCOPY); }},
        {"L_SaveBitmap", [&] { return KELL_SaveBitmap(u"x.tif", &b, L_FMT_TIF_G4, 1, 0, 0); }},
        {"L_SaveBitmapMemory",
         [&] { return KELL_SaveBitmapMemory(&g, &b, L_FMT_PNG, 0, 0, &size); }},
    };
    for (const auto &[name, call] : fatal) {
        winport_test_reset_msgboxes();
        winport_test_reset_quit();
        EXPECT_EQ(call(), 0) << name;
        EXPECT_EQ(winport_test_msgbox_count(), 1) << name;
        EXPECT_EQ(std::string(winport_test_last_msgbox()),
                  std::string("ERROR: UNABLE TO LINK WITH ") + name);
        EXPECT_TRUE(winport_test_quit_posted(nullptr)) << name;
    }
    winport_test_reset_msgboxes();
    winport_test_reset_quit();
    EXPECT_EQ(KELL_TrimBitmap(&b, 0, 0, 1, 1), 0);
    EXPECT_EQ(KELL_PrintBitmapFast(nullptr, &b, 1, 1, 10, 10), 0);
    EXPECT_EQ(KELL_AnnEnumerate(h, nullptr, nullptr, 0), 0);
    EXPECT_EQ(KELL_GetPixelColor(&b, 0, 0), 0u);
    KELL_FreeBitmap(&b);
    EXPECT_EQ(winport_test_msgbox_count(), 0) << "the others fail quietly";
    EXPECT_FALSE(winport_test_quit_posted(nullptr));
}

TEST_F(ImagingBind, NamesReachTheLibraryInUtf16)
{
    char16_t name[16];
    ASSERT_EQ(KelImagingName("Zo\xEB\x80.tif", name, 16), 1);
    EXPECT_EQ(std::u16string(name), u"Zo\u00EB\u20AC.tif");
    EXPECT_EQ(KelImagingName("toolong.tif", name, 5), 0);
    EXPECT_EQ(name[0], 0);
}

/* The real component, installed as scripts/install.sh installs it, decodes
 * through the binding; taking one DLL name out makes it unavailable. */
TEST_F(ImagingBind, TheInstalledComponentLoadsAndARemovedOneDoesNot)
{
    const std::string root = root_.path() + "/installed";
    int status = 0;
    const std::string out = RunCommand(
        "bash " SOURCE_DIR "/scripts/install.sh " + root + " " + BUILD_DIR + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    ASSERT_TRUE(winport_test_set_root(root.c_str()));
    const std::string system32 = root + "/drive_c/Windows/system32";
    for (const char *dll : kDlls)
        EXPECT_TRUE(std::filesystem::exists(system32 + "/" + dll)) << dll;

    ASSERT_EQ(KELLoadImagingLibrary(), 1);
    /* A 1 x 1 white BMP, 24 bits. */
    const BYTE bmp[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0,    0,    54,  0,   0,    0,    40,
                        0,   0,   0,  1, 0, 0, 0, 1, 0,    0,    0,   1,   0,    24,   0,
                        0,   0,   0,  0, 4, 0, 0, 0, 0x13, 0x0B, 0,   0,   0x13, 0x0B, 0,
                        0,   0,   0,  0, 0, 0, 0, 0, 0,    255,  255, 255, 0};
    BITMAPHANDLE b{};
    EXPECT_EQ(KELL_LoadMemory(bmp, &b, sizeof b, 0, 0, sizeof bmp), L_SUCCESS);
    EXPECT_EQ(KELL_GetPixelColor(&b, 0, 0), RGB(255, 255, 255));
    KELL_FreeBitmap(&b);
    KELUnloadImagingLibrary();

    std::filesystem::remove(system32 + "/ltannu.dll");
    EXPECT_EQ(KELLoadImagingLibrary(), 0);
    EXPECT_EQ(KELL_LoadMemory(bmp, &b, sizeof b, 0, 0, sizeof bmp), 0);
    EXPECT_EQ(winport_test_msgbox_count(), 0);
}

/* The printer open loads the library when its record asks for imaging, and
 * the library stays for the rest of the process. */
class ImagingOpen : public SessionTest {
protected:
    void TearDown() override
    {
        KELUnloadImagingLibrary();
        unsetenv("WINPORT_MODULE_PATH");
        SessionTest::TearDown();
    }
    void Open(int imagingFlag)
    {
        const std::string record = std::string("Workstation PDF") + '\0' + '\0' + Int32(66) +
                                   Int32(0) + '\0' + Int32(imagingFlag);
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, record.data(), (int)record.size());
        OpenNovarcPrinter(session_.get(), &msg);
        FreeMsgBuf(&msg);
        CloseNovarcPrinter(session_.get());
    }
};

TEST_F(ImagingOpen, AnOpenAskingForImagingLoadsItForTheProcess)
{
    setenv("WINPORT_MODULE_PATH", FAKE_IMAGING_DIR, 1);
    const std::string system32 = root_.driveC("Windows/system32");
    for (const char *dll : kDlls)
        std::fclose(std::fopen((system32 + "/" + dll).c_str(), "w"));
    Open(0);
    EXPECT_EQ(KELImagingLibraryLoaded(), 0);
    Open(1);
    EXPECT_EQ(KELImagingLibraryLoaded(), 1);
    Open(-1); /* negative: keep the previous value */
    EXPECT_EQ(KELImagingLibraryLoaded(), 1);
    EXPECT_EQ(session_->m_Printer.m_iImagingLibrary, 1);
}

} // namespace
