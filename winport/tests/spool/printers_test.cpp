/*
 * Printers in the registry: the embedded default, OpenPrinterA and
 * ClosePrinter, EnumPrintersA and GetPrinterA/SetPrinterA buffers and
 * levels, and the default printer.
 */
#include "spool_test_util.h"

using namespace spooltest;

namespace {

std::vector<std::string> enumNames()
{
    DWORD needed = 0, count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
    std::vector<BYTE> buf(needed);
    std::vector<std::string> names;
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, buf.data(), needed, &needed, &count))
        return names;
    auto *info = reinterpret_cast<PRINTER_INFO_4A *>(buf.data());
    for (DWORD i = 0; i < count; i++)
        names.push_back(info[i].pPrinterName);
    return names;
}

std::string defaultPrinter()
{
    char name[256];
    DWORD size = sizeof name;
    return GetDefaultPrinterA(name, &size) ? std::string(name) : std::string();
}

} // namespace

TEST_F(SpoolTest, FreshRootGetsOneEmbeddedFolderPrinterAsDefault)
{
    EXPECT_EQ(std::vector<std::string>{kEmbedded}, enumNames());
    EXPECT_EQ(kEmbedded, defaultPrinter());
    EXPECT_EQ(std::vector<std::string>{kEmbedded}, enumNames()); /* not made twice */

    OpenedPrinter p(kEmbedded);
    std::vector<BYTE> buf;
    PRINTER_INFO_2A *info = printerInfo2(p.h, buf);
    ASSERT_NE(nullptr, info);
    EXPECT_STREQ("FOLDER:C:\\novarc\\printed", info->pPortName);
    EXPECT_EQ(600, info->pDevMode->dmPrintQuality);
    EXPECT_EQ(DMPAPER_LETTER, info->pDevMode->dmPaperSize);
    EXPECT_TRUE(info->Attributes & PRINTER_ATTRIBUTE_DEFAULT);
    EXPECT_EQ(6, DeviceCapabilitiesA(kEmbedded, nullptr, DC_PAPERS, nullptr, nullptr));
    EXPECT_EQ(3, DeviceCapabilitiesA(kEmbedded, nullptr, DC_BINS, nullptr, nullptr));
    char names[6][64];
    ASSERT_EQ(6, DeviceCapabilitiesA(kEmbedded, nullptr, DC_PAPERNAMES, names[0], nullptr));
    EXPECT_STREQ("Envelope #10", names[3]);
    EXPECT_STREQ("Label 4.00 x 6.00", names[4]) << "the name label printing looks for";
    char bins[3][24];
    ASSERT_EQ(3, DeviceCapabilitiesA(kEmbedded, nullptr, DC_BINNAMES, bins[0], nullptr));
    EXPECT_STREQ("Tray 2", bins[1]);
}

TEST_F(SpoolTest, EmbeddedPrinterDeletedByOperatorStaysDeleted)
{
    ASSERT_EQ(kEmbedded, defaultPrinter());
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Workstation PDF"));
    DWORD needed = 7, count = 7;
    EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(0u, needed);
    EXPECT_EQ(0u, count);
    char name[64];
    DWORD size = sizeof name;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetDefaultPrinterA(name, &size)); /* a default naming a deleted printer */
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(SpoolTest, OpenPrinterFindsNamesWithoutRegardToCaseAndRejectsUnknown)
{
    HANDLE h = reinterpret_cast<HANDLE>(1);
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenPrinterA(const_cast<char *>("No Such Printer"), &h, nullptr));
    EXPECT_EQ(ERROR_INVALID_PRINTER_NAME, GetLastError());
    EXPECT_EQ(nullptr, h);

    ASSERT_TRUE(OpenPrinterA(const_cast<char *>("workstation pdf"), &h, nullptr));
    std::vector<BYTE> buf;
    PRINTER_INFO_2A *info = printerInfo2(h, buf);
    ASSERT_NE(nullptr, info);
    EXPECT_STREQ(kEmbedded, info->pPrinterName); /* the registry's spelling */
    EXPECT_TRUE(ClosePrinter(h));
    SetLastError(kSentinel);
    EXPECT_FALSE(ClosePrinter(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(SpoolTest, EnumPrintersSizeQueryAndShortBuffer)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    for (DWORD level : {1u, 2u, 4u, 5u}) {
        DWORD needed = 0, count = 7;
        SetLastError(kSentinel);
        EXPECT_FALSE(
            EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0, &needed, &count));
        EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError()) << level;
        EXPECT_EQ(0u, count);
        ASSERT_GT(needed, 0u);
        std::vector<BYTE> buf(needed + 16, 0xAB);
        SetLastError(kSentinel);
        EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, buf.data(), needed - 1,
                                   &needed, &count));
        EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
        EXPECT_EQ(0xAB, buf[0]) << "a short buffer is left alone";
        ASSERT_TRUE(
            EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, buf.data(), needed, &needed, &count));
        EXPECT_EQ(2u, count);
        EXPECT_EQ(0xAB, buf[needed]) << "nothing written past the size asked for";
    }
    DWORD needed = 0, count = 0;
    std::vector<BYTE> buf(4096);
    ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buf.data(), 4096, &needed, &count));
    auto *info = reinterpret_cast<PRINTER_INFO_2A *>(buf.data());
    EXPECT_STREQ("Lab Laser", info[0].pPrinterName);
    EXPECT_STREQ("Test Laser", info[0].pDriverName);
    EXPECT_STREQ("FOLDER:C:\\out", info[0].pPortName);
    EXPECT_STREQ("Lab Laser", reinterpret_cast<char *>(info[0].pDevMode->dmDeviceName));

    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 3, buf.data(), 4096, &needed, &count));
    EXPECT_EQ(ERROR_INVALID_LEVEL, GetLastError());
}

TEST_F(SpoolTest, SetPrinterLevel2ChangesPortDriverAndDefaultDevMode)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    OpenedPrinter p("Lab Laser");
    std::vector<BYTE> buf;
    PRINTER_INFO_2A *info = printerInfo2(p.h, buf);
    ASSERT_NE(nullptr, info);
    info->pPortName = const_cast<char *>("RAW:C:\\raw.prn");
    info->pDriverName = const_cast<char *>("Other Driver");
    info->pDevMode->dmOrientation = DMORIENT_LANDSCAPE;
    info->pDevMode->dmPaperSize = DMPAPER_LEGAL;
    info->Status = PRINTER_STATUS_PAUSED;
    info->cJobs = 99; /* counted, never set */
    ASSERT_TRUE(SetPrinterA(p.h, 2, buf.data(), 0));

    std::vector<BYTE> again;
    info = printerInfo2(p.h, again);
    ASSERT_NE(nullptr, info);
    EXPECT_STREQ("RAW:C:\\raw.prn", info->pPortName);
    EXPECT_STREQ("Other Driver", info->pDriverName);
    EXPECT_EQ(DMORIENT_LANDSCAPE, info->pDevMode->dmOrientation);
    EXPECT_EQ(DMPAPER_LEGAL, info->pDevMode->dmPaperSize);
    EXPECT_EQ(DWORD(PRINTER_STATUS_PAUSED), info->Status);
    EXPECT_EQ(0u, info->cJobs);

    SetLastError(kSentinel);
    EXPECT_FALSE(SetPrinterA(p.h, 7, buf.data(), 0));
    EXPECT_EQ(ERROR_INVALID_LEVEL, GetLastError());
    SetLastError(kSentinel);
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterA(reinterpret_cast<HANDLE>(0x1234), 2, nullptr, 0, &needed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(SpoolTest, GetDefaultPrinterBufferRules)
{
    DWORD size = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetDefaultPrinterA(nullptr, &size));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(std::strlen(kEmbedded) + 1, size); /* NUL included */

    char small[4] = "xyz";
    size = sizeof small;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetDefaultPrinterA(small, &size));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(std::strlen(kEmbedded) + 1, size);

    char exact[16];
    size = DWORD(std::strlen(kEmbedded) + 1);
    EXPECT_TRUE(GetDefaultPrinterA(exact, &size));
    EXPECT_STREQ(kEmbedded, exact);

    SetLastError(kSentinel);
    EXPECT_FALSE(GetDefaultPrinterA(exact, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(SpoolTest, SetDefaultPrinterByNameNullAndUnknown)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    EXPECT_TRUE(SetDefaultPrinterA("lab laser"));
    EXPECT_EQ("Lab Laser", defaultPrinter());

    SetLastError(kSentinel);
    EXPECT_FALSE(SetDefaultPrinterA("Nobody"));
    EXPECT_EQ(ERROR_INVALID_PRINTER_NAME, GetLastError());
    EXPECT_EQ("Lab Laser", defaultPrinter());

    EXPECT_TRUE(SetDefaultPrinterA(nullptr)); /* a default exists: kept */
    EXPECT_EQ("Lab Laser", defaultPrinter());

    ASSERT_EQ(ERROR_SUCCESS,
              RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Lab Laser"));
    EXPECT_EQ("", defaultPrinter());
    EXPECT_TRUE(SetDefaultPrinterA("")); /* none left: the first printer */
    EXPECT_EQ(kEmbedded, defaultPrinter());
}
