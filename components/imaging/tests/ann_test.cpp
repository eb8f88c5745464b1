/*
 * Annotation files: every object kind loads, is enumerated, printed over
 * its image on a page (the DC's record and the pixels) and burnt into a
 * bitmap; malformed files fail the load and nothing else.
 */
#include "ann_model.h"
#include "gdi_test_util.h"
#include "imaging_test_util.h"

#include <filesystem>

using namespace imagingtest;
using namespace gditest;

namespace {

const char kAllKinds[] = R"({
  "format": "novarc-annotations", "version": 1,
  "image": {"width": 200, "height": 100},
  "objects": [
    {"type": "line", "points": [[0, 5], [199, 5]], "color": "#0000FF", "lineWidth": 2},
    {"type": "arrow", "points": [[10, 90], [60, 60]], "lineWidth": 0.5},
    {"type": "freehand", "points": [[5, 20], [15, 25], [25, 20], [35, 25]]},
    {"type": "rectangle", "rect": [100, 20, 140, 40], "color": "#FF0000", "fill": "#FF0000"},
    {"type": "ellipse", "rect": [150, 20, 190, 60], "lineWidth": 3},
    {"type": "highlighter", "rect": [0, 70, 199, 80]},
    {"type": "text", "rect": [10, 40, 90, 60], "text": "Zo\u00eb M\u00fcller", "font": {"size": 12}},
    {"type": "note", "rect": [100, 60, 140, 95], "text": "see page 2"},
    {"type": "stamp", "rect": [150, 65, 195, 95], "text": "OK", "fill": null}
  ]})";

class Annotations : public ::testing::Test {
protected:
    /* Writes a file into the root and loads it. */
    INT Load(const std::string &text, HANNOBJECT *h)
    {
        std::filesystem::create_directories(root_.driveC("scans"));
        std::ofstream(root_.driveC("scans/a.ann"), std::ios::binary) << text;
        return L_AnnLoad(U16("C:\\scans\\a.ann").c_str(), h);
    }
    ScratchRoot root_;
};

INT WINAPI Count(HANNOBJECT, LPVOID user)
{
    ++*static_cast<int *>(user);
    return L_SUCCESS;
}

INT WINAPI StopAtThird(HANNOBJECT, LPVOID user)
{
    return ++*static_cast<int *>(user) == 3 ? 42 : L_SUCCESS;
}

/* Sets thin lines to 1, as the printing code does before printing. */
INT WINAPI AtLeastOne(HANNOBJECT h, LPVOID)
{
    double w = 0;
    if (L_AnnGetLineWidth(h, &w) == L_SUCCESS && w < 1)
        L_AnnSetLineWidth(h, 1.0, 0);
    return L_SUCCESS;
}

INT WINAPI Collect(HANNOBJECT h, LPVOID user)
{
    static_cast<std::vector<HANNOBJECT> *>(user)->push_back(h);
    return L_SUCCESS;
}

} // namespace

TEST_F(Annotations, EveryKindLoadsAndIsEnumeratedInOrder)
{
    HANNOBJECT h = nullptr;
    ASSERT_EQ(Load(kAllKinds, &h), L_SUCCESS);
    int n = 0;
    EXPECT_EQ(L_AnnEnumerate(h, Count, &n, 0), L_SUCCESS);
    EXPECT_EQ(n, 9);
    n = 0;
    EXPECT_EQ(L_AnnEnumerate(h, StopAtThird, &n, 0), 42) << "the callback's answer ends it";
    EXPECT_EQ(n, 3);
    EXPECT_EQ(L_AnnEnumerate(h, AtLeastOne, nullptr, 0), L_SUCCESS);
    std::vector<HANNOBJECT> objects;
    L_AnnEnumerate(h, Collect, &objects, 0);
    double w = 0;
    ASSERT_EQ(L_AnnGetLineWidth(objects[1], &w), L_SUCCESS);
    EXPECT_EQ(w, 1.0) << "the arrow's 0.5 was raised";
    ASSERT_EQ(L_AnnGetLineWidth(objects[0], &w), L_SUCCESS);
    EXPECT_EQ(w, 2.0);
    EXPECT_EQ(L_AnnSetLineWidth(h, 3.0, L_ANN_RECURSE), L_SUCCESS);
    L_AnnGetLineWidth(objects[0], &w);
    EXPECT_EQ(w, 3.0);
    EXPECT_EQ(L_AnnGetLineWidth(h, &w), L_ERR_INVALID_PARAMETER) << "a container has none";
    EXPECT_EQ(L_AnnDestroy(objects[8], 0), L_SUCCESS);
    n = 0;
    L_AnnEnumerate(h, Count, &n, 0);
    EXPECT_EQ(n, 8);
    EXPECT_EQ(L_AnnDestroy(h, 0), L_SUCCESS);
    EXPECT_EQ(L_AnnEnumerate(h, Count, &n, 0), L_ERR_INVALID_PARAMETER) << "destroyed";
    EXPECT_EQ(L_AnnGetLineWidth(objects[0], &w), L_ERR_INVALID_PARAMETER);
}

TEST_F(Annotations, PrintedScaledOverTheImageOnThePage)
{
    HANNOBJECT h = nullptr;
    ASSERT_EQ(Load(kAllKinds, &h), L_SUCCESS);
    const RECT image{0, 0, 199, 99}; /* as the printing code sets it */
    ASSERT_EQ(L_AnnSetRect(h, &image), L_SUCCESS);
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);
    const RECT dest{0, 0, 600, 300}; /* three device units per image pixel */
    ASSERT_EQ(L_AnnPrint(printer->dc, &dest, h), L_SUCCESS);
    auto notes = Only<RecExternal>(GetRecord(printer->dc));
    EndDoc(printer->dc);
    L_AnnDestroy(h, 0);

    ASSERT_EQ(notes.size(), 9u);
    EXPECT_EQ(notes[3].what, "annotation rectangle");
    EXPECT_EQ(notes[3].box.left, 300);
    EXPECT_EQ(notes[3].box.top, 60);
    EXPECT_EQ(notes[3].box.right, 420);
    EXPECT_EQ(notes[3].page, 1);
    const KeptRaster &page = printer->sink->rasters.at(0);
    EXPECT_EQ(page.at(360, 90), 0xFF0000u) << "the filled rectangle";
    EXPECT_EQ(page.at(300, 15), 0x0000FFu) << "the line";
    EXPECT_EQ(page.at(200, 225), 0xFFFF00u) << "the highlighter on white paper";
    EXPECT_EQ(page.at(5, 150), 0xFFFFFFu);
}

TEST_F(Annotations, EachObjectStartsItsOwnPath)
{
    /* Text leaves cairo's current point where it ended; an ellipse drawn
     * next must not be joined to it by a line. */
    HANNOBJECT h = nullptr;
    ASSERT_EQ(Load(R"({"format": "novarc-annotations", "version": 1, "objects": [
        {"type": "text", "rect": [0, 0, 100, 30], "text": "abc", "font": {"size": 20}},
        {"type": "ellipse", "rect": [300, 300, 400, 380], "lineWidth": 4}]})",
                   &h),
              L_SUCCESS);
    Bitmap b;
    ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), 400, 400, 24), L_SUCCESS);
    L_FillBitmap(&b.h, RGB(255, 255, 255));
    ASSERT_EQ(L_AnnRealize(&b.h, nullptr, h, FALSE), L_SUCCESS);
    L_AnnDestroy(h, 0);
    EXPECT_EQ(At(&b.h, 300, 340), 0x000000u) << "the ellipse's left edge";
    for (int x = 60; x < 280; x += 10) /* where a stray line would run */
        ASSERT_EQ(At(&b.h, x, 18 + (x - 30) * 322 / 370), 0xFFFFFFu) << x;
}

TEST_F(Annotations, RealizedIntoTheBitmapsPixels)
{
    HANNOBJECT h = nullptr;
    ASSERT_EQ(Load(kAllKinds, &h), L_SUCCESS);
    Bitmap b;
    ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), 400, 200, 1), L_SUCCESS);
    L_FillBitmap(&b.h, RGB(255, 255, 255));
    ASSERT_EQ(L_AnnRealize(&b.h, nullptr, h, TRUE), L_SUCCESS);
    EXPECT_EQ(b->BitsPerPixel, 1) << "redactions only: ours have none";
    ASSERT_EQ(L_AnnRealize(&b.h, nullptr, h, FALSE), L_SUCCESS);
    EXPECT_EQ(b->BitsPerPixel, 24);
    EXPECT_EQ(At(&b.h, 240, 60), 0xFF0000u) << "image pixels map two to one";
    EXPECT_EQ(At(&b.h, 5, 120), 0xFFFFFFu);
    L_AnnDestroy(h, 0);
}

TEST_F(Annotations, MalformedFilesFailTheLoadOnly)
{
    const std::string head = R"({"format": "novarc-annotations", "version": 1, "objects": )";
    const std::pair<const char *, std::string> cases[] = {
        {"empty", ""},
        {"not JSON", "annotations"},
        {"comment", "// x\n" + head + "[]}"},
        {"trailing comma", head + "[],}"},
        {"other format", R"({"format": "x", "version": 1, "objects": []})"},
        {"version 2", R"({"format": "novarc-annotations", "version": 2, "objects": []})"},
        {"unknown type", head + R"([{"type": "laser", "rect": [0, 0, 1, 1]}]})"},
        {"three points on a line", head + R"([{"type": "line", "points": [[0,0],[1,1],[2,2]]}]})"},
        {"rect of three", head + R"([{"type": "rectangle", "rect": [0, 0, 1]}]})"},
        {"huge number", head + R"([{"type": "rectangle", "rect": [0, 0, 1e300, 1]}]})"},
        {"bad colour", head + R"([{"type": "rectangle", "rect": [0,0,1,1], "color": "red"}]})"},
        {"negative width",
         head + R"([{"type": "rectangle", "rect": [0,0,1,1], "lineWidth": -1}]})"},
        {"text missing", head + R"([{"type": "text", "rect": [0, 0, 1, 1]}]})"},
        {"bad UTF-8", head + "[{\"type\": \"text\", \"rect\": [0,0,1,1], \"text\": \"\xC3(\"}]}"},
        {"deep", std::string(200, '[') + std::string(200, ']')},
        {"too many", head + "[" +
                         [] {
                             std::string s;
                             for (int i = 0; i < 10001; i++)
                                 s += std::string(i ? "," : "") +
                                      R"({"type":"line","points":[[0,0],[1,1]]})";
                             return s;
                         }() +
                         "]}"},
    };
    for (const auto &[what, text] : cases) {
        HANNOBJECT h = reinterpret_cast<HANNOBJECT>(0x1);
        EXPECT_EQ(Load(text, &h), L_ERR_ANN_FORMAT) << what;
        EXPECT_EQ(h, nullptr) << what;
    }
    HANNOBJECT h = nullptr;
    EXPECT_EQ(L_AnnLoad(U16("C:\\scans\\none.ann").c_str(), &h), L_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(L_AnnPrint(nullptr, nullptr, reinterpret_cast<HANNOBJECT>(&h)),
              L_ERR_INVALID_PARAMETER)
        << "a made-up handle";
}
