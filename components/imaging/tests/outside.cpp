/*
 * The outside test pictures (see outside.h).  Each test runs in a process
 * of its own, so the pictures are kept in the build folder and made once:
 * each file, and each file it is made from, when it is first asked for,
 * written under a temporary name and renamed into place, so tests running
 * side by side never see half a file.
 */
#include "outside.h"

#include "imaging_test_util.h"

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

namespace imagingtest {
namespace {

struct Recipe {
    std::vector<std::string> inputs;
    /* Makes the file at `out` from the inputs' paths. */
    std::function<void(const std::vector<std::string> &in, const std::string &out)> make;
};

std::string Quote(const std::string &path)
{
    return "'" + path + "'";
}

std::uint32_t Photo(int x, int y)
{
    return (std::uint32_t(x * 255 / 1599) << 16) | (std::uint32_t(y * 255 / 1199) << 8) |
           std::uint32_t((x + y) % 256);
}

bool FormInk(int x, int y)
{
    return x >= 50 && x < 150 && y >= 20 && y < 80;
}

/* A tool run from `in` to `out`: the command with {in0}, {in1}, {in2} and
 * {out} filled in. */
Recipe Run(std::vector<std::string> inputs, std::string command)
{
    return Recipe{std::move(inputs),
                  [command](const std::vector<std::string> &in, const std::string &out) {
                      std::string c = command;
                      for (std::size_t i = 0; i < in.size(); i++) {
                          const std::string key = "{in" + std::to_string(i) + "}";
                          c.replace(c.find(key), key.size(), Quote(in[i]));
                      }
                      c.replace(c.find("{out}"), 5, Quote(out));
                      Tool(c);
                  }};
}

const std::map<std::string, Recipe> &Recipes()
{
    static const std::map<std::string, Recipe> recipes = {
        {"page.pbm",
         {{}, [](auto &, const std::string &out) { WritePbm(out, kPageW, kPageH, PageInk); }}},
        {"colour.ppm",
         {{},
          [](auto &, const std::string &out) { WritePpm(out, kColourW, kColourH, Quadrants); }}},
        {"small.pbm",
         {{}, [](auto &, const std::string &out) { WritePbm(out, kSmallW, kSmallH, SmallInk); }}},
        {"form.pbm",
         {{}, [](auto &, const std::string &out) { WritePbm(out, 200, 100, FormInk); }}},
        {"photo.ppm",
         {{}, [](auto &, const std::string &out) { WritePpm(out, 1600, 1200, Photo); }}},
        {"page_g4.tif", Run({"page.pbm"}, "convertformat {in0} {out} TIFFG4")},
        {"page_g4_strips.tif", Run({"page.pbm"}, "ppm2tiff -c g4 -r 64 -R 300 {in0} {out}")},
        {"page_g4_black.tif",
         Run({"page.pbm"}, "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                           "Image.open(sys.argv[1]).save(sys.argv[2], format='TIFF', "
                           "compression='group4', dpi=(300, 300))\" {in0} {out}")},
        {"p1.tif", Run({"colour.ppm"}, "ppm2tiff -c lzw {in0} {out}")},
        {"p2.tif", Run({"form.pbm"}, "ppm2tiff -c g3 {in0} {out}")},
        {"p3.tif", Run({"colour.ppm"}, "ppm2tiff -c jpeg {in0} {out}")},
        {"three.tif", Run({"p1.tif", "p2.tif", "p3.tif"}, "tiffcp {in0} {in1} {in2} {out}")},
        {"colour.jpg", Run({"colour.ppm"}, "cjpeg -progressive -quality 95 -outfile {out} {in0}")},
        {"photo.jpg", Run({"photo.ppm"}, "cjpeg -quality 85 -outfile {out} {in0}")},
        {"colour.jp2", Run({"colour.ppm"}, "opj_compress -i {in0} -o {out} >/dev/null")},
        {"colour.j2k", Run({"colour.ppm"}, "opj_compress -i {in0} -o {out} >/dev/null")},
        {"small.bmp", Run({"small.pbm"}, "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                                         "Image.open(sys.argv[1]).save(sys.argv[2], "
                                         "format='BMP')\" {in0} {out}")},
        {"colour8.png",
         Run({"colour.ppm"}, "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                             "Image.open(sys.argv[1]).quantize(4).save(sys.argv[2], "
                             "format='PNG')\" {in0} {out}")},
    };
    return recipes;
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
    const std::string path = std::string(IMAGING_OUTSIDE_DIR) + "/" + name;
    if (std::filesystem::exists(path))
        return path;
    auto recipe = Recipes().find(name);
    if (recipe == Recipes().end()) {
        ADD_FAILURE() << "no outside file " << name;
        return path;
    }
    std::vector<std::string> inputs;
    for (const std::string &input : recipe->second.inputs)
        inputs.push_back(OutsidePath(input));
    std::filesystem::create_directories(IMAGING_OUTSIDE_DIR);
    /* The extension stays last: the tools choose the format by it. */
    const std::string temp =
        std::string(IMAGING_OUTSIDE_DIR) + "/tmp-" + std::to_string(getpid()) + "-" + name;
    recipe->second.make(inputs, temp);
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec)
        ADD_FAILURE() << "could not make " << name << ": " << ec.message();
    return path;
}

} // namespace imagingtest
