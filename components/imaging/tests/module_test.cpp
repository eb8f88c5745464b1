/*
 * The component as the client meets it: the seven DLL names, installed in
 * a root's system folder, reach one module exporting every function of the
 * interface (and nothing of the libraries it is built on); a name removed
 * from the folder is a missing DLL again.
 */
#include "imaging_test_util.h"

#include <windows.h>

#include <filesystem>
#include <map>
#include <vector>

using namespace imagingtest;

namespace {

/* The interface, by DLL. */
const std::map<std::string, std::vector<std::string>> kExports = {
    {"ltkrnu.dll",
     {"L_AccessBitmap", "L_ReleaseBitmap", "L_ChangeBitmapViewPerspective", "L_ColorResBitmap",
      "L_CopyBitmap", "L_CopyBitmapRect", "L_CreateBitmap", "L_FillBitmap", "L_FreeBitmap",
      "L_GetPixelColor", "L_PutPixelColor", "L_ResizeBitmap", "L_RotateBitmap", "L_SizeBitmap",
      "L_TrimBitmap"}},
    {"ltfilu.dll",
     {"L_LoadBitmap", "L_LoadMemory", "L_PreLoadFilters", "L_SaveBitmap", "L_SaveBitmapMemory"}},
    {"lttwnu.dll", {}},
    {"LTDISU.DLL",
     {"L_CopyBitmapPalette", "L_CreatePaintPalette", "L_PaintDC", "L_PrintBitmap",
      "L_PrintBitmapFast"}},
    {"ltannu.dll",
     {"L_AnnLoad", "L_AnnEnumerate", "L_AnnGetLineWidth", "L_AnnSetLineWidth", "L_AnnSetRect",
      "L_AnnRealize", "L_AnnPrint", "L_AnnDestroy"}},
    {"Ltimgefxu.dll", {"L_AverageFilterBitmap", "L_CombineBitmap", "L_SharpenBitmap"}},
    {"ltimgcoru.dll", {"L_AutoTrimBitmap", "L_GetAutoTrimRect"}},
};

/* Installs the DLL names as scripts/install.sh does: links to the module. */
void Install(const ScratchRoot &root)
{
    const std::string system32 = root.driveC("Windows/system32");
    std::filesystem::create_directories(system32);
    for (const auto &[dll, names] : kExports)
        std::filesystem::create_symlink(IMAGING_MODULE, system32 + "/" + dll);
}

} // namespace

TEST(Module, EveryDllNameReachesOneModuleWithItsFunctions)
{
    ScratchRoot root;
    Install(root);
    std::vector<HMODULE> loaded;
    for (const auto &[dll, names] : kExports) {
        char path[MAX_PATH];
        GetSystemDirectoryA(path, sizeof path);
        const std::string full = std::string(path) + "\\" + dll;
        HMODULE m = LoadLibraryA(full.c_str());
        ASSERT_NE(m, nullptr) << full;
        loaded.push_back(m);
        EXPECT_EQ(m, loaded.front()) << "one module behind every name";
        for (const std::string &name : names)
            EXPECT_NE(GetProcAddress(m, name.c_str()), nullptr) << dll << " " << name;
        for (const char *foreign : {"pixRead", "TIFFOpen", "cairo_create", "LoadLibraryA"})
            EXPECT_EQ(GetProcAddress(m, foreign), nullptr) << foreign;
    }
    for (HMODULE m : loaded)
        FreeLibrary(m);
}

TEST(Module, ALoadedModuleDecodesThroughItsExports)
{
    ScratchRoot root;
    Install(root);
    HMODULE m = LoadLibraryA("ltfilu.dll");
    ASSERT_NE(m, nullptr);
    auto load = reinterpret_cast<decltype(&L_LoadMemory)>(
        reinterpret_cast<void *>(GetProcAddress(m, "L_LoadMemory")));
    auto release = reinterpret_cast<decltype(&L_FreeBitmap)>(
        reinterpret_cast<void *>(GetProcAddress(m, "L_FreeBitmap")));
    ASSERT_TRUE(load && release);
    /* A 1 x 1 black BMP, 24 bits. */
    const unsigned char bmp[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0,    0,    54, 0, 0,    0,    40,
                                 0,   0,   0,  1, 0, 0, 0, 1, 0,    0,    0,  1, 0,    24,   0,
                                 0,   0,   0,  0, 4, 0, 0, 0, 0x13, 0x0B, 0,  0, 0x13, 0x0B, 0,
                                 0,   0,   0,  0, 0, 0, 0, 0, 0,    0,    0,  0, 0};
    BITMAPHANDLE b{};
    EXPECT_EQ(load(bmp, &b, sizeof b, 0, 0, sizeof bmp), L_SUCCESS);
    EXPECT_EQ(b.Width, 1);
    EXPECT_EQ(b.BitsPerPixel, 24);
    release(&b);
    FreeLibrary(m);
}

TEST(Module, ARemovedNameIsAMissingDll)
{
    ScratchRoot root;
    Install(root);
    std::filesystem::remove(root.driveC("Windows/system32/ltannu.dll"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("C:\\Windows\\system32\\ltannu.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    HMODULE other = LoadLibraryA("ltkrnu.dll");
    EXPECT_NE(other, nullptr) << "the other names stay installed";
    if (other)
        FreeLibrary(other);
}
