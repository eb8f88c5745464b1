/*
 * A root with the converter installed as a workstation has it: the DLL in
 * the system folder, the three converter printers made by its installer,
 * and every export bound by name.
 */
#ifndef CONVERTER_TESTS_CONVERTER_FIXTURE_H
#define CONVERTER_TESTS_CONVERTER_FIXTURE_H

#include "component_fixture.h"

#include <cdintf550.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#define CONVERTER_EXPORTS(X)                                                                       \
    X(DriverInit)                                                                                  \
    X(DriverEnd)                                                                                   \
    X(CDICreateDC) X(GetLastErrorMsg) X(Lock) X(SetDefaultDirectory) X(SetDefaultFileName)         \
        X(SetDocFileProps) X(SetFileNameOptions) X(SetResolution) X(SetImageOptions)               \
            X(SetJPEGCompression) X(SetJPegLevel) X(SetDefaultConfigEx) X(GetPaperSize)            \
                X(SetPaperSize) X(GetPaperLength) X(SetPaperLength) X(GetPaperWidth)               \
                    X(SetPaperWidth) X(GetHorizontalMargin) X(SetHorizontalMargin)                 \
                        X(GetVerticalMargin) X(SetVerticalMargin) X(SetScalingOption)              \
                            X(SetScalingPaperSize) X(PrintPDFDocument)

struct ConverterApi {
#define CONVERTER_POINTER(name) decltype(&::name) name = nullptr;
    CONVERTER_EXPORTS(CONVERTER_POINTER)
#undef CONVERTER_POINTER
};

class ConverterTest : public ComponentTest {
protected:
    void SetUp() override
    {
        module_ = Install(CDINTF_DLL_NAME, "C:\\Windows\\system32");
        ASSERT_NE(module_, nullptr);
#define CONVERTER_BIND(name) api.name = Bind<decltype(&::name)>(module_, #name);
        CONVERTER_EXPORTS(CONVERTER_BIND)
#undef CONVERTER_BIND
        ASSERT_EQ(0, RunInstaller("-s"));
    }
    void TearDown() override
    {
        FreeLibrary(module_);
    }

    /* Runs the converter's installer on this root; its exit code. */
    int RunInstaller(const std::string &arguments)
    {
        int status = 0;
        RunCommand("WINPORT_ROOT='" + root.path() + "' '" CDINSTALL_PATH "' " + arguments +
                       " >/dev/null 2>&1",
                   &status);
        return status;
    }

    /* A handle set up as the client sets one up: the part file, the
     * options, 300 dpi, locked. */
    HANDLE Open(const char *printer, const char *folder, const char *part, int options)
    {
        HANDLE h = api.DriverInit(printer);
        EXPECT_NE(nullptr, h) << printer;
        std::string file = std::string(folder) + "\\" + part;
        CreateDirectoryA("C:\\novarc", nullptr);
        CreateDirectoryA("C:\\novarc\\convert_pdf", nullptr);
        CreateDirectoryA(folder, nullptr);
        EXPECT_TRUE(api.SetResolution(h, 300));
        EXPECT_TRUE(api.SetDefaultDirectory(h, folder));
        EXPECT_TRUE(api.SetDefaultFileName(h, file.c_str()));
        EXPECT_EQ(0, api.Lock(h, part));
        EXPECT_TRUE(api.SetDocFileProps(h, part, options, folder, part));
        EXPECT_TRUE(api.SetFileNameOptions(h, options | CDINTF_USE_FILENAME));
        return h;
    }

    /* One document, a page per text. */
    static void PrintDocument(HDC dc, const char *docName, const std::vector<std::string> &pages)
    {
        DOCINFOA info = {sizeof(DOCINFOA), docName, nullptr, nullptr, 0};
        ASSERT_GT(StartDocA(dc, &info), 0);
        for (const std::string &text : pages) {
            StartPage(dc);
            TextOutA(dc, 100, 100, text.c_str(), int(text.size()));
            EndPage(dc);
        }
        ASSERT_GT(EndDoc(dc), 0) << GetLastError();
    }

    /* A document with a photograph-like colour picture (smooth shades and
     * grain, which lossless compression keeps large). */
    static void PrintPhoto(HDC dc, const char *docName)
    {
        const int w = 400, h = 300;
        std::vector<unsigned char> bits(std::size_t(w) * h * 4);
        unsigned seed = 12345;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                seed = seed * 1103515245 + 12345;
                int grain = int((seed >> 16) % 24) - 12;
                unsigned char *p = &bits[(std::size_t(y) * w + x) * 4];
                p[0] =
                    (unsigned char)std::clamp(int(128 + 100 * std::sin(x / 37.0)) + grain, 0, 255);
                p[1] =
                    (unsigned char)std::clamp(int(128 + 100 * std::cos(y / 23.0)) + grain, 0, 255);
                p[2] = (unsigned char)std::clamp(int((x + y) * 255 / (w + h)) + grain, 0, 255);
            }
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = w;
        bmi.bmiHeader.biHeight = -h;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        DOCINFOA info = {sizeof(DOCINFOA), docName, nullptr, nullptr, 0};
        ASSERT_GT(StartDocA(dc, &info), 0);
        StartPage(dc);
        StretchDIBits(dc, 100, 100, w, h, 0, 0, w, h, bits.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
        EndPage(dc);
        ASSERT_GT(EndDoc(dc), 0);
    }

    HMODULE module_ = nullptr;
    ConverterApi api;
};

#endif
