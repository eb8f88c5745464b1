/*
 * scripts/install.sh on a fresh root: each component lands under its DLL
 * name where the client loads it from, the converter's installer has made
 * the three converter printers and the version file, and a component
 * removed afterwards is a missing DLL again.
 */
#include "component_fixture.h"

#include <cdintf550.h>
#include <kelpdftron.h>

#include <filesystem>

TEST_F(ComponentTest, InstallPutsEachComponentWhereTheClientLoadsIt)
{
    int status = 0;
    std::string out = RunCommand("bash '" SOURCE_DIR "/scripts/install.sh' '" + root.path() +
                                     "' '" BUILD_DIR "' 2>&1",
                                 &status);
    ASSERT_EQ(0, status) << out;
    for (const char *file : {"novarc/bin/PdfTron/kelpdftron.dll", "Windows/system32/cdintf550.dll",
                             "Windows/system32/cdinstall.exe", "novarc/bin2/novarcprint.exe"})
        EXPECT_TRUE(std::filesystem::is_regular_file(root.driveC(file))) << file;
    EXPECT_EQ("1\r\n", samples::ReadFile(root.driveC("Windows/system32/cdintf550.kel")));
    /* "CompImage" too: an image printer writing one TIFF file. */
    EXPECT_TRUE(std::filesystem::is_directory(root.driveC("novarc/CompImage")));
    for (const char *name : {"NovarcPDF", "NovarcMobilePDF", "NovarcPrintPDF", "CompImage"}) {
        HANDLE printer = nullptr;
        EXPECT_TRUE(OpenPrinterA(const_cast<char *>(name), &printer, nullptr)) << name;
        if (printer)
            ClosePrinter(printer);
    }

    HMODULE engine = LoadLibraryA(KELPDFTRON_FOLDER "\\" KELPDFTRON_DLL_NAME);
    ASSERT_NE(nullptr, engine);
    auto version = Bind<decltype(&KelPdfTronDllVersion)>(engine, "KelPdfTronDllVersion");
    EXPECT_EQ(KELPDFTRON_DLL_VERSION, version());
    FreeLibrary(engine);

    std::filesystem::remove(root.driveC("novarc/bin/PdfTron/kelpdftron.dll"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LoadLibraryA(KELPDFTRON_FOLDER "\\" KELPDFTRON_DLL_NAME));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
}
