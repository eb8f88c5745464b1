/*
 * The outside test pictures (see outside.h).
 */
#include "outside.h"

#include "imaging_test_util.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace imagingtest {
namespace {

std::string *g_dir = nullptr;

void RemoveDir()
{
    std::error_code ec;
    std::filesystem::remove_all(*g_dir, ec);
}

void MakeAll(const std::string &d)
{
    WritePbm(d + "page.pbm", kPageW, kPageH, PageInk);
    WritePpm(d + "colour.ppm", kColourW, kColourH, Quadrants);
    WritePbm(d + "small.pbm", kSmallW, kSmallH, SmallInk);
    WritePbm(d + "form.pbm", 200, 100,
             [](int x, int y) { return x >= 50 && x < 150 && y >= 20 && y < 80; });
    WritePpm(d + "photo.ppm", 1600, 1200, [](int x, int y) {
        return (std::uint32_t(x * 255 / 1599) << 16) | (std::uint32_t(y * 255 / 1199) << 8) |
               std::uint32_t((x + y) % 256);
    });
    Tool("convertformat " + d + "page.pbm " + d + "page_g4.tif TIFFG4");
    Tool("ppm2tiff -c g4 -r 64 -R 300 " + d + "page.pbm " + d + "page_g4_strips.tif");
    Pil("Image.open('" + d + "page.pbm').save('" + d +
        "page_g4_black.tif', compression='group4', dpi=(300, 300))");
    Tool("ppm2tiff -c lzw " + d + "colour.ppm " + d + "p1.tif");
    Tool("ppm2tiff -c g3 " + d + "form.pbm " + d + "p2.tif");
    Tool("ppm2tiff -c jpeg " + d + "colour.ppm " + d + "p3.tif");
    Tool("tiffcp " + d + "p1.tif " + d + "p2.tif " + d + "p3.tif " + d + "three.tif");
    Tool("cjpeg -progressive -quality 95 -outfile " + d + "colour.jpg " + d + "colour.ppm");
    Tool("cjpeg -quality 85 -outfile " + d + "photo.jpg " + d + "photo.ppm");
    Tool("opj_compress -i " + d + "colour.ppm -o " + d + "colour.jp2 >/dev/null");
    Tool("opj_compress -i " + d + "colour.ppm -o " + d + "colour.j2k >/dev/null");
    Pil("Image.open('" + d + "small.pbm').save('" + d + "small.bmp')");
    Pil("Image.open('" + d + "colour.ppm').quantize(4).save('" + d + "colour8.png')");
}

} // namespace

bool PageInk(int x, int y)
{
    return (x >= 200 && x < 1200 && y >= 300 && y < 600) || (y >= 1000 && y < 1010) ||
           (x >= 2400 && x < 2450 && y >= 3200 && y < 3250);
}

std::uint32_t Quadrants(int x, int y)
{
    if (y < kColourH / 2)
        return x < kColourW / 2 ? 0xFF0000 : 0x00FF00;
    return x < kColourW / 2 ? 0x0000FF : 0xFFFFFF;
}

bool SmallInk(int x, int y)
{
    return x == y || x == kSmallW - 1;
}

std::string OutsidePath(const std::string &name)
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_dir = new std::string((std::filesystem::temp_directory_path() /
                                 ("imaging-outside-" + std::to_string(getpid())))
                                    .string());
        std::filesystem::create_directories(*g_dir);
        std::atexit(RemoveDir);
        MakeAll(*g_dir + "/");
    });
    return *g_dir + "/" + name;
}

} // namespace imagingtest
