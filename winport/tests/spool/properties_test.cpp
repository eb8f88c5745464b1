/*
 * Device modes and capabilities: DocumentPropertiesA's size query, output
 * and merge of only the named fields, DeviceCapabilitiesA's counts and
 * entry widths, and CreateDCA's device caps from a DEVMODEA.
 */
#include "spool_test_util.h"

using namespace spooltest;

namespace {

class Properties : public SpoolTest {
protected:
    void SetUp() override
    {
        addFolderPrinter("Lab Laser", "C:\\out");
        ASSERT_TRUE(OpenPrinterA(const_cast<char *>("Lab Laser"), &h, nullptr));
    }
    void TearDown() override { ClosePrinter(h); }

    std::vector<BYTE> devmode(PDEVMODEA in = nullptr, DWORD mode = DM_OUT_BUFFER)
    {
        LONG size = DocumentPropertiesA(nullptr, h, nullptr, nullptr, nullptr, 0);
        std::vector<BYTE> buf(size > 0 ? size : 0);
        EXPECT_EQ(IDOK, DocumentPropertiesA(nullptr, h, nullptr,
                                            reinterpret_cast<PDEVMODEA>(buf.data()), in, mode));
        return buf;
    }
    static DEVMODEA &dm(std::vector<BYTE> &b) { return *reinterpret_cast<DEVMODEA *>(b.data()); }

    HANDLE h = nullptr;
};

} // namespace

TEST_F(Properties, SizeQueryCoversPublicAndPrivateParts)
{
    LONG size = DocumentPropertiesA(nullptr, h, nullptr, nullptr, nullptr, 0);
    ASSERT_GE(size, LONG(sizeof(DEVMODEA)));
    std::vector<BYTE> out = devmode();
    EXPECT_EQ(sizeof(DEVMODEA), dm(out).dmSize);
    EXPECT_EQ(size, LONG(dm(out).dmSize + dm(out).dmDriverExtra));
    EXPECT_STREQ("Lab Laser", reinterpret_cast<char *>(dm(out).dmDeviceName));
    EXPECT_EQ(300, dm(out).dmPrintQuality);
    EXPECT_EQ(DMPAPER_LETTER, dm(out).dmPaperSize);
    EXPECT_EQ(1, dm(out).dmDefaultSource);
    EXPECT_STREQ("Letter", reinterpret_cast<char *>(dm(out).dmFormName));
}

TEST_F(Properties, InBufferMergesOnlyTheNamedFields)
{
    std::vector<BYTE> in = devmode();
    DEVMODEA &d = dm(in);
    d.dmFields = DM_ORIENTATION | DM_DEFAULTSOURCE;
    d.dmOrientation = DMORIENT_LANDSCAPE;
    d.dmDefaultSource = DMBIN_MANUAL;
    d.dmPaperSize = DMPAPER_A4; /* not named: ignored */
    d.dmCopies = 5;             /* not named: ignored */
    std::vector<BYTE> out = devmode(&d, DM_IN_BUFFER | DM_OUT_BUFFER);
    EXPECT_EQ(DMORIENT_LANDSCAPE, dm(out).dmOrientation);
    EXPECT_EQ(DMBIN_MANUAL, dm(out).dmDefaultSource);
    EXPECT_EQ(DMPAPER_LETTER, dm(out).dmPaperSize);
    EXPECT_EQ(1, dm(out).dmCopies);

    d.dmFields = DM_PAPERSIZE | DM_COPIES | DM_COLOR | DM_MEDIATYPE | DM_PRINTQUALITY;
    d.dmPaperSize = DMPAPER_A4;
    d.dmCopies = 3;
    d.dmColor = DMCOLOR_MONOCHROME;
    d.dmMediaType = DMMEDIA_GLOSSY;
    d.dmPrintQuality = 150;
    out = devmode(&d, DM_IN_BUFFER | DM_OUT_BUFFER);
    EXPECT_EQ(DMPAPER_A4, dm(out).dmPaperSize);
    EXPECT_STREQ("A4", reinterpret_cast<char *>(dm(out).dmFormName));
    EXPECT_EQ(3, dm(out).dmCopies);
    EXPECT_EQ(DMCOLOR_MONOCHROME, dm(out).dmColor);
    EXPECT_EQ(DWORD(DMMEDIA_GLOSSY), dm(out).dmMediaType);
    EXPECT_EQ(150, dm(out).dmPrintQuality);
    EXPECT_EQ(DMORIENT_PORTRAIT, dm(out).dmOrientation) << "the handle's mode is not changed";
}

TEST_F(Properties, ValuesThePrinterCannotHonourAreNotTaken)
{
    std::vector<BYTE> in = devmode();
    DEVMODEA &d = dm(in);
    d.dmFields = DM_PAPERSIZE | DM_DEFAULTSOURCE | DM_ORIENTATION | DM_PRINTQUALITY;
    d.dmPaperSize = DMPAPER_ENV_10; /* this printer has no envelopes */
    d.dmDefaultSource = 99;
    d.dmOrientation = 7;
    d.dmPrintQuality = 1234;
    std::vector<BYTE> out = devmode(&d, DM_IN_BUFFER | DM_OUT_BUFFER);
    EXPECT_EQ(DMPAPER_LETTER, dm(out).dmPaperSize);
    EXPECT_EQ(1, dm(out).dmDefaultSource);
    EXPECT_EQ(DMORIENT_PORTRAIT, dm(out).dmOrientation);
    EXPECT_EQ(300, dm(out).dmPrintQuality);
}

TEST_F(Properties, PrivateBytesTravelWithTheDevMode)
{
    std::vector<BYTE> in = devmode();
    ASSERT_GT(dm(in).dmDriverExtra, 4);
    in.back() = 0x5A; /* a setting kept in the driver's private part */
    std::vector<BYTE> out = devmode(&dm(in), DM_IN_BUFFER | DM_OUT_BUFFER);
    EXPECT_EQ(0x5A, out.back());
}

TEST_F(Properties, DevModeGivenAtOpenIsTheHandlesMode)
{
    std::vector<BYTE> in = devmode();
    dm(in).dmFields = DM_ORIENTATION;
    dm(in).dmOrientation = DMORIENT_LANDSCAPE;
    PRINTER_DEFAULTSA defaults{nullptr, &dm(in), PRINTER_ACCESS_USE};
    HANDLE other = nullptr;
    ASSERT_TRUE(OpenPrinterA(const_cast<char *>("Lab Laser"), &other, &defaults));
    std::vector<BYTE> out(in.size());
    EXPECT_EQ(IDOK,
              DocumentPropertiesA(nullptr, other, nullptr, reinterpret_cast<PDEVMODEA>(out.data()),
                                  nullptr, DM_OUT_BUFFER));
    EXPECT_EQ(DMORIENT_LANDSCAPE, dm(out).dmOrientation);
    ClosePrinter(other);
}

TEST_F(Properties, FailuresReturnMinusOne)
{
    SetLastError(kSentinel);
    EXPECT_EQ(-1, DocumentPropertiesA(nullptr, reinterpret_cast<HANDLE>(0x44), nullptr, nullptr,
                                      nullptr, 0));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(-1, DocumentPropertiesA(nullptr, h, nullptr, nullptr, nullptr, DM_OUT_BUFFER));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(-1, DeviceCapabilitiesA("Nobody", nullptr, DC_BINS, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PRINTER_NAME, GetLastError());
}

TEST_F(Properties, DeviceCapabilitiesCountsNamesAndSizes)
{
    const char *p = "Lab Laser";
    ASSERT_EQ(2, DeviceCapabilitiesA(p, nullptr, DC_BINS, nullptr, nullptr));
    WORD bins[2];
    EXPECT_EQ(2, DeviceCapabilitiesA(p, nullptr, DC_BINS, reinterpret_cast<LPSTR>(bins), nullptr));
    EXPECT_EQ(1, bins[0]);
    EXPECT_EQ(4, bins[1]);
    char binNames[2][24];
    std::memset(binNames, 'x', sizeof binNames);
    EXPECT_EQ(2, DeviceCapabilitiesA(p, nullptr, DC_BINNAMES, binNames[0], nullptr));
    EXPECT_STREQ("Upper Tray", binNames[0]);
    EXPECT_STREQ("Manual Feed", binNames[1]);

    ASSERT_EQ(3, DeviceCapabilitiesA(p, nullptr, DC_PAPERS, nullptr, nullptr));
    char paperNames[3][64];
    EXPECT_EQ(3, DeviceCapabilitiesA(p, nullptr, DC_PAPERNAMES, paperNames[0], nullptr));
    EXPECT_STREQ("Legal", paperNames[1]);
    EXPECT_STREQ("A4", paperNames[2]);
    POINT sizes[3];
    EXPECT_EQ(
        3, DeviceCapabilitiesA(p, nullptr, DC_PAPERSIZE, reinterpret_cast<LPSTR>(sizes), nullptr));
    EXPECT_EQ(2100, sizes[2].x);
    EXPECT_EQ(2970, sizes[2].y);
    EXPECT_EQ(1, DeviceCapabilitiesA(p, nullptr, DC_COLORDEVICE, nullptr, nullptr));
    EXPECT_EQ(90, DeviceCapabilitiesA(p, nullptr, DC_ORIENTATION, nullptr, nullptr));
    LONG res[4];
    EXPECT_EQ(2, DeviceCapabilitiesA(p, nullptr, DC_ENUMRESOLUTIONS, reinterpret_cast<LPSTR>(res),
                                     nullptr));
    EXPECT_EQ(300, res[0]);
    EXPECT_EQ(150, res[2]);
}

TEST_F(Properties, LongNamesAreCutToTheEntryWidth)
{
    std::string longName(80, 'P');
    addPrinter("Wide", {{"Papers", "1:2159x2794:" + longName}, {"Bins", "1:" + longName}});
    char paper[64];
    char bin[24];
    ASSERT_EQ(1, DeviceCapabilitiesA("Wide", nullptr, DC_PAPERNAMES, paper, nullptr));
    EXPECT_EQ(63u, strnlen(paper, 64));
    ASSERT_EQ(1, DeviceCapabilitiesA("Wide", nullptr, DC_BINNAMES, bin, nullptr));
    EXPECT_EQ(23u, strnlen(bin, 24));
}

TEST_F(Properties, CreateDCTakesPaperOrientationAndResolutionFromDevMode)
{
    addPrinter("Margins",
               {{"Papers", "1:2159x2794:Letter;5:2159x3556:Legal"}, {"Margins", "254,127,0,0"}},
               {{"Resolution", 600}});
    std::vector<BYTE> in = devmode();
    dm(in).dmFields = DM_PAPERSIZE | DM_ORIENTATION;
    dm(in).dmPaperSize = DMPAPER_LEGAL;
    dm(in).dmOrientation = DMORIENT_LANDSCAPE;
    HDC dc = CreateDCA("WINSPOOL", "Margins", nullptr, &dm(in));
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(600, GetDeviceCaps(dc, LOGPIXELSX));
    EXPECT_EQ(8400, GetDeviceCaps(dc, PHYSICALWIDTH)); /* 14 in, landscape */
    EXPECT_EQ(5100, GetDeviceCaps(dc, PHYSICALHEIGHT));
    /* Landscape: the portrait top margin (0.5 in) becomes the left one. */
    EXPECT_EQ(300, GetDeviceCaps(dc, PHYSICALOFFSETX));
    EXPECT_EQ(0, GetDeviceCaps(dc, PHYSICALOFFSETY));
    EXPECT_EQ(8100, GetDeviceCaps(dc, HORZRES));
    EXPECT_EQ(4500, GetDeviceCaps(dc, VERTRES));
    DeleteDC(dc);

    dc = CreateDCA("Any Driver Name 4029", "Lab Laser", nullptr, nullptr); /* driver ignored */
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(300, GetDeviceCaps(dc, LOGPIXELSY));
    EXPECT_EQ(2550, GetDeviceCaps(dc, PHYSICALWIDTH));
    DeleteDC(dc);

    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, CreateDCA("WINSPOOL", "Nobody", nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PRINTER_NAME, GetLastError());
}

TEST_F(Properties, DeviceFontsOfThePrinterAreListedFirstOnItsDC)
{
    addPrinter(
        "Dot Matrix",
        {{"DeviceFonts", "Utility 10cpi:Courier New:10:12;" + std::string(40, 'F') + ":Arial"},
         {"Papers", "1:2159x2794:Letter"}},
        {{"Resolution", 240}, {"Color", 0}});
    HDC dc = CreateDCA("WINSPOOL", "Dot Matrix", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(1, GetDeviceCaps(dc, BITSPIXEL));
    struct Seen {
        std::vector<std::string> faces;
        std::vector<DWORD> types;
    } seen;
    LOGFONTA lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExA(
        dc, &lf,
        [](const LOGFONTA *f, const TEXTMETRICA *, DWORD type, LPARAM p) {
            auto *s = reinterpret_cast<Seen *>(p);
            s->faces.push_back(f->lfFaceName);
            s->types.push_back(type);
            return 1;
        },
        reinterpret_cast<LPARAM>(&seen), 0);
    ASSERT_FALSE(seen.faces.empty());
    EXPECT_EQ("Utility 10cpi", seen.faces[0]);
    EXPECT_TRUE(seen.types[0] & DEVICE_FONTTYPE);
    EXPECT_EQ(seen.faces.end(),
              std::find(seen.faces.begin(), seen.faces.end(), std::string(40, 'F')))
        << "a face name longer than LOGFONTA holds is skipped";
    DeleteDC(dc);
}

TEST_F(Properties, BothSidesOnlyWhereThereIsADuplexer)
{
    EXPECT_EQ(0, DeviceCapabilitiesA("Lab Laser", nullptr, DC_DUPLEX, nullptr, nullptr));
    EXPECT_EQ(1, DeviceCapabilitiesA("Lab Laser", nullptr, DC_COLLATE, nullptr, nullptr));
    std::vector<BYTE> in = devmode();
    dm(in).dmFields = DM_DUPLEX | DM_COLLATE;
    dm(in).dmDuplex = DMDUP_VERTICAL;
    dm(in).dmCollate = DMCOLLATE_FALSE;
    std::vector<BYTE> out = devmode(&dm(in), DM_IN_BUFFER | DM_OUT_BUFFER);
    EXPECT_EQ(DMDUP_SIMPLEX, dm(out).dmDuplex) << "no duplexer: one-sided stays";
    EXPECT_EQ(DMCOLLATE_FALSE, dm(out).dmCollate);

    addPrinter("Duplex Laser", {{"Port", "FOLDER:C:\\out"}}, {{"Duplex", 1}});
    EXPECT_EQ(1, DeviceCapabilitiesA("Duplex Laser", nullptr, DC_DUPLEX, nullptr, nullptr));
    OpenedPrinter duplex("Duplex Laser");
    std::vector<BYTE> two(DocumentPropertiesA(nullptr, duplex.h, nullptr, nullptr, nullptr, 0));
    ASSERT_EQ(IDOK, DocumentPropertiesA(nullptr, duplex.h, nullptr,
                                        reinterpret_cast<PDEVMODEA>(two.data()), &dm(in),
                                        DM_IN_BUFFER | DM_OUT_BUFFER));
    EXPECT_EQ(DMDUP_VERTICAL, dm(two).dmDuplex);
    EXPECT_TRUE(dm(two).dmFields & DM_DUPLEX);
}

TEST_F(Properties, RegistryMarginsAreTenthsOfAMillimetre)
{
    /* Margins are kept finer than the registry writes them (a queue's are
     * hundredths); what an operator wrote must still give the same dots. */
    addPrinter("Form Laser", {{"Port", "FOLDER:C:\\out"}, {"Margins", "64,42,0,0"}},
               {{"Resolution", 600}});
    HDC dc = CreateDCA("WINSPOOL", "Form Laser", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(151, GetDeviceCaps(dc, PHYSICALOFFSETX));
    EXPECT_EQ(99, GetDeviceCaps(dc, PHYSICALOFFSETY));
    EXPECT_EQ(5100 - 151, GetDeviceCaps(dc, HORZRES));
    DeleteDC(dc);
}
