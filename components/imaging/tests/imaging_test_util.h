/*
 * Helpers for the imaging library's tests: a winport root per test, test
 * pictures written as netpbm files and turned into every format we read by
 * outside tools (libtiff's, Leptonica's, libjpeg's, OpenJPEG's, PIL), a
 * bitmap handle freed at scope end, and UTF-16 names.
 */
#ifndef IMAGING_TESTS_IMAGING_TEST_UTIL_H
#define IMAGING_TESTS_IMAGING_TEST_UTIL_H

#include <imaging.h>

#include <gtest/gtest.h>
#include <posix_files.h>
#include <scratch_root.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace imagingtest {

/* A bitmap handle, freed at scope end. */
struct Bitmap {
    BITMAPHANDLE h{};
    Bitmap() { h.uStructSize = sizeof h; }
    ~Bitmap() { L_FreeBitmap(&h); }
    Bitmap(const Bitmap &) = delete;
    Bitmap &operator=(const Bitmap &) = delete;
    const BITMAPHANDLE *operator->() const { return &h; }
};

/* A Windows name as UTF-16 (the test names are ASCII or Latin-1 bytes). */
inline std::u16string U16(const std::string &s)
{
    std::u16string out;
    for (unsigned char c : s)
        out.push_back(c);
    return out;
}

inline std::vector<unsigned char> ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
}

/* Runs an outside tool; fails the test with its output when it fails. */
inline void Tool(const std::string &command)
{
    int status = 0;
    const std::string out = RunCommand(command + " 2>&1", &status);
    ASSERT_EQ(status, 0) << command << "\n" << out;
}

/* Picture of black ink on white: ink(x, y) says where. */
using Ink = std::function<bool(int x, int y)>;
/* Colour picture: colour(x, y) gives 0xRRGGBB. */
using Colour = std::function<std::uint32_t(int x, int y)>;

inline void WritePbm(const std::string &path, int w, int h, const Ink &ink)
{
    std::ofstream out(path, std::ios::binary);
    out << "P4\n" << w << " " << h << "\n";
    std::vector<unsigned char> row((w + 7) / 8);
    for (int y = 0; y < h; y++) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < w; x++)
            if (ink(x, y))
                row[x / 8] |= 0x80 >> (x % 8);
        out.write(reinterpret_cast<const char *>(row.data()), row.size());
    }
}

inline void WritePpm(const std::string &path, int w, int h, const Colour &colour)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << w << " " << h << "\n255\n";
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const std::uint32_t c = colour(x, y);
            const char rgb[3] = {static_cast<char>(c >> 16), static_cast<char>(c >> 8),
                                 static_cast<char>(c)};
            out.write(rgb, 3);
        }
}

/* PIL through Debian's own Python (python3-pil). */
inline void Pil(const std::string &script)
{
    Tool("/usr/bin/python3 -c \"from PIL import Image; " + script + "\"");
}

/* Shown colour at (x, y) as 0xRRGGBB. */
inline std::uint32_t At(BITMAPHANDLE *b, int x, int y)
{
    const COLORREF c = L_GetPixelColor(b, y, x);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

inline bool Near(std::uint32_t a, std::uint32_t b, int tolerance)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) >
            tolerance)
            return false;
    return true;
}

} // namespace imagingtest

#endif /* IMAGING_TESTS_IMAGING_TEST_UTIL_H */
