/*
 * Plain pieces of the printer session that need no printer: reading the
 * OPEN_PRINTER payload, the bytes of the printer-open reply, unique file
 * names, and the tray tables.
 */
#include <cstdio>
#include <cstring>

#include "printer.h"

#include <objbase.h>

namespace {

/* A bounded reader over one payload. */
struct Reader {
    const char *p;
    int iLen;
    int iPos;
    bool AtEnd() const { return iPos >= iLen; }
    bool Int(int *pValue)
    {
        if (iLen - iPos < 4)
            return false;
        unsigned v = 0;
        for (int i = 0; i < 4; i++)
            v |= (unsigned)(unsigned char)p[iPos + i] << (8 * i);
        *pValue = (int)v;
        iPos += 4;
        return true;
    }
    /* A NUL-terminated string that fits its field; a longer one is malformed. */
    bool String(char *szOut, int iSize)
    {
        const void *pEnd = memchr(p + iPos, 0, (size_t)(iLen - iPos));
        if (!pEnd)
            return false;
        int n = (int)((const char *)pEnd - (p + iPos));
        if (n >= iSize)
            return false;
        memcpy(szOut, p + iPos, (size_t)n + 1);
        iPos += n + 1;
        return true;
    }
};

} // namespace

bool ParseOpenRecord(const char *pData, int iLen, PrinterOpenRecord *pRecord)
{
    *pRecord = PrinterOpenRecord();
    if (!pData || iLen <= 0)
        return false;
    Reader r{pData, iLen, 0};
    if (!r.String(pRecord->szPrinterName, OPEN_NAME_SIZE) ||
        !r.String(pRecord->szDriverName, OPEN_NAME_SIZE) || !r.Int(&pRecord->iFormLength) ||
        !r.Int(&pRecord->iUseRawData) || !r.String(pRecord->szOutputName, OPEN_NAME_SIZE))
        return false;
    /* Optional tail: each field only while the payload still holds it. */
    pRecord->bHasImaging = r.Int(&pRecord->iImagingLibrary);
    pRecord->bHasFormType = pRecord->bHasImaging && r.Int(&pRecord->iFormTypeCode);
    pRecord->bHasOptions = pRecord->bHasFormType && r.Int(&pRecord->iOptionFlags);
    pRecord->bHasFaxJob = pRecord->bHasOptions && r.Int(&pRecord->iFaxJob);
    pRecord->bHasUserName =
        pRecord->bHasFaxJob && !r.AtEnd() && r.String(pRecord->szUserName, USER_NAME_SIZE);
    return true;
}

void BuildPrinterOpenReply(int iStatus, int iWord, int iExcel, int iFaxBusy,
                           unsigned char out[PRINTER_OPEN_REPLY_SIZE])
{
    const int values[5] = {iStatus, iWord, iExcel, 1, iFaxBusy};
    out[0] = PRINTER_OPEN_REPLY;
    for (int i = 0; i < 5; i++)
        for (int b = 0; b < 4; b++)
            out[1 + 4 * i + b] = (unsigned char)((unsigned)values[i] >> (8 * b));
}

void MakeUniqueFileName(char *szOut, int iOutSize, const char *szPrefix, const char *szExtension)
{
    static char s_szLast[MAX_PATH];
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD dwSize = sizeof(szComputer);
    if (!GetComputerNameA(szComputer, &dwSize))
        szComputer[0] = 0;
    szComputer[8] = 0;
    for (;;) {
        GUID guid;
        WCHAR wszGuid[64];
        char szGuid[64] = "";
        if (CoCreateGuid(&guid) == S_OK && StringFromGUID2(guid, wszGuid, 64) > 0)
            for (int i = 0; i < 63 && wszGuid[i]; i++) {
                szGuid[i] = (char)wszGuid[i];
                szGuid[i + 1] = 0;
            }
        snprintf(szOut, (size_t)iOutSize, "%s%d%s_%s.%s", szPrefix, (int)GetCurrentProcessId(),
                 szComputer, szGuid, szExtension);
        if (strcmp(szOut, s_szLast) != 0)
            break;
        Sleep(1);
    }
    snprintf(s_szLast, sizeof(s_szLast), "%s", szOut);
}

int TrayToBin(int iTrayKind, int iTray)
{
    if (iTrayKind == 2)
        return iTray == 2 ? DMBIN_ENVMANUAL : DMBIN_ENVELOPE;
    switch (iTray) {
    case 2:
        return DMBIN_MIDDLE;
    case 3:
        return DMBIN_LOWER;
    case 4:
        return DMBIN_MANUAL;
    case 5:
        return DMBIN_CASSETTE;
    default:
        return DMBIN_UPPER;
    }
}

namespace {

const char *UpperTrayName(const char *szDriver)
{
    return strstr(szDriver, "HP LaserJet") ? "Tray 2" : "Tray 1";
}

const char *EnvelopeTrayName(const char *szDriver)
{
    const char *szName = "Envelope";
    if (strstr(szDriver, "Okidata OL-410e"))
        szName = "MP Tray";
    for (const char *szModel : {"Okipage 12i", "Okipage 10i", "OKIPAGE 12i", "OKIPAGE 10i"})
        if (strstr(szDriver, szModel))
            szName = "Multi Feeder";
    return szName;
}

} // namespace

/* Later tests override earlier ones, as the drivers of the practices need. */
const char *TrayNameFor(int iBin, const char *szDriver, int iFormTypeCode)
{
    const bool bTable31 = (iFormTypeCode == FORM_TYPE_TRAY_NAMES);
    switch (iBin) {
    case 2:
    case 3: {
        if (!bTable31)
            return "Tray 2";
        const char *szName = iBin == 2 ? "Tray 3" : "Tray 2";
        if (strstr(szDriver, "Okidata OL-810e"))
            szName = "Large Capacity";
        if (strstr(szDriver, "HP LaserJet"))
            szName = iBin == 2 ? "Tray 4" : "Tray 3";
        return szName;
    }
    case 4:
    case 6:
        return "Manual";
    case 5:
        return EnvelopeTrayName(szDriver);
    case 14:
        if (!bTable31)
            return "Tray 1";
        if (strstr(szDriver, "HP LaserJet"))
            return "Tray 1";
        return strstr(szDriver, "T650") ? "Multi-Purpose Feeder" : "MP Feeder";
    default:
        return bTable31 ? UpperTrayName(szDriver) : "Tray 1";
    }
}
