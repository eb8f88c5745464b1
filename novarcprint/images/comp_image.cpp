/*
 * The CompImage signature: workers' compensation forms are printed to the
 * "CompImage" printer as images, and the doctor's signature the server
 * sends (COMP_IMAGE_SIGNATURE) is composed onto the form image at the
 * form type's position.  The result is kept enciphered in the cache as
 * COMP_SIGNATURE_FILE, and form images are printed under that name.
 * Under the print lock.
 */
#include <cstdio>
#include <cstring>

#include "image_load.h"
#include "images.h"

namespace {

struct CompForm {
    const char *szDefault; /* the form image used when none is named */
    int x, y;              /* the signature's top-left corner, in form pixels */
};

// clang-format off
const CompForm kCompForms[] = {
    {"c:\\novarc\\RecentScans\\FROI.tif.x2m", 473, 2218},
    {"c:\\novarc\\RecentScans\\C-9_122811.tif.x2m", 1328, 1578},
    {"c:\\novarc\\RecentScans\\MEDCO14_2012_PG2.tif.x2m", 650, 2950},
    {"c:\\novarc\\RecentScans\\C84_Pg2.tif.x2m", 543, 2767},
};
// clang-format on

#define SIGNATURE_HEIGHT_TYPE_1 60
#define COMBINE_FLAGS 0x1111

bool IsPageTwoForm(const char *szName)
{
    return strstr(szName, "C84_Pg2") || strstr(szName, "MEDCO14_2012_PG2");
}

bool IsCompImagePrinter(NovarcprintProcess *s)
{
    return strcmp(s->m_szPrinterName, COMP_IMAGE_PRINTER) == 0;
}

bool DecodeFile(const char *szPath, BITMAPHANDLE *pBitmap)
{
    CacheBytes bytes;
    if (!ReadCacheFile(szPath, &bytes))
        return false;
    const bool bOk =
        bytes.dwLen > 0 && KELL_LoadMemory((const BYTE *)bytes.pData, pBitmap, sizeof(*pBitmap), 24,
                                           1, bytes.dwLen) == L_SUCCESS;
    FreeCacheBytes(&bytes);
    return bOk;
}

/* Saves a bitmap as a G4 TIFF file, enciphered (the plain image never
 * rests on disk) or plain. */
bool SaveG4(BITMAPHANDLE *pBitmap, const char *szPath, bool bEncipher)
{
    if (!bEncipher) {
        char16_t name[MAX_PATH];
        return ImagingPath(szPath, name) &&
               KELL_SaveBitmap(name, pBitmap, L_FMT_TIF_G4, 1, 0, 0) == L_SUCCESS;
    }
    HGLOBAL hFile = NULL;
    DWORD dwSize = 0;
    if (KELL_SaveBitmapMemory(&hFile, pBitmap, L_FMT_TIF_G4, 1, 0, &dwSize) != L_SUCCESS || !hFile)
        return false;
    const char *pData = (const char *)GlobalLock(hFile);
    const bool bOk = pData && WriteEncipheredFile(szPath, pData, dwSize);
    GlobalUnlock(hFile);
    GlobalFree(hFile);
    return bOk;
}

/* The form image to sign and where: false when there is none. */
bool ChooseForm(NovarcprintProcess *s, int iType, const char *szFormName, char *szPath, POINT *pAt)
{
    const bool bKnown = iType >= 1 && iType <= 4;
    *pAt = bKnown ? POINT{kCompForms[iType - 1].x, kCompForms[iType - 1].y} : POINT{0, 0};
    if (szFormName) {
        snprintf(szPath, MAX_PATH, "%s", szFormName);
        return IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY) != 0;
    }
    if (!bKnown)
        return false;
    snprintf(szPath, MAX_PATH, "%s", kCompForms[iType - 1].szDefault);
    return true;
}

} // namespace

int ApplySignatureToCompImage(NovarcprintProcess *s, const char *pData, int iLen, int iType,
                              const char *szFormName)
{
    s->Log("ApplySignatureToCompImage type:%d form:%s", iType, szFormName ? szFormName : "");
    KELL_PreLoadFilters(4, 4, "BMP,J2K,JPG,TIF");
    BITMAPHANDLE signature = {};
    if (iLen <= 0 || KELL_LoadMemory((const BYTE *)pData, &signature, sizeof(signature), 24, 1,
                                     (DWORD)iLen) != L_SUCCESS) {
        s->Log("ApplySignatureToCompImage signature does not decode");
        return 0;
    }
    if (iType == 1) {
        KELL_SizeBitmap(&signature, ShownWidth(signature), SIGNATURE_HEIGHT_TYPE_1, 0);
        SaveG4(&signature, IMAGE_CACHE_FOLDER "\\wdb_sig.tif", false);
    }
    char szForm[MAX_PATH];
    POINT at;
    BITMAPHANDLE form = {};
    int iResult = 0;
    if (ChooseForm(s, iType, szFormName, szForm, &at) && DecodeFile(szForm, &form)) {
        KELL_CombineBitmap(&form, at.x, at.y, ShownWidth(signature), ShownHeight(signature),
                           &signature, 0, 0, COMBINE_FLAGS);
        iResult = SaveG4(&form, IMAGE_CACHE_FOLDER "\\" COMP_SIGNATURE_FILE, true) ? 1 : 0;
        KELL_FreeBitmap(&form);
    }
    KELL_FreeBitmap(&signature);
    s->Log("ApplySignatureToCompImage %s", iResult ? "DONE" : "FAILED");
    return iResult;
}

void ApplyCompImageSubstitution(NovarcprintProcess *s, char *szName)
{
    ImagesState &im = s->m_Images;
    if (!im.bCompImageUseSignature) {
        s->Log("bCompImageUseSignature FALSE");
        return;
    }
    const int t = im.m_iCompImageFormType;
    const bool bSign = (t != 3 && t != 4) || IsPageTwoForm(szName);
    if (IsCompImagePrinter(s) && bSign)
        snprintf(szName, IMAGE_NAME_SIZE, "%s", COMP_SIGNATURE_FILE);
    if (im.m_CompImageSignature.empty())
        return;
    if (!bSign) {
        s->Log("%s Skipped ApplySignatureToCompImage", szName);
        return;
    }
    char szForm[IMAGE_NAME_SIZE];
    snprintf(szForm, sizeof(szForm), "%s", szName);
    ApplySignatureToCompImage(s, im.m_CompImageSignature.data(),
                              (int)im.m_CompImageSignature.size(), t, szForm);
    snprintf(szName, IMAGE_NAME_SIZE, "%s", COMP_SIGNATURE_FILE);
}

int HandleCompImageSignature(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    ImagesState &im = s->m_Images;
    CompSignatureRecord record;
    if (!ReadCompImageSignature(pMsg->szBuf, pMsg->iLen, &record)) {
        s->Log("COMP_IMAGE_SIGNATURE malformed payload iLen<%d>", pMsg->iLen);
        return 0;
    }
    if (record.iOn == 0) {
        im.bCompImageUseSignature = false;
        return 1;
    }
    im.m_CompImageSignature.clear();
    im.m_iCompImageFormType = 0;
    DeleteFileA(IMAGE_CACHE_FOLDER "\\" COMP_SIGNATURE_FILE);
    im.m_iCompImageFormType = record.iFormType;
    try {
        im.m_CompImageSignature.assign(record.pData, record.pData + record.iDataLen);
    } catch (...) {
        s->Log("COMP_IMAGE_SIGNATURE no memory for %d bytes", record.iDataLen);
        return 0;
    }
    if (IsCompImagePrinter(s)) {
        ApplySignatureToCompImage(s, record.pData, record.iDataLen, record.iFormType, NULL);
        im.m_CompImageSignature.clear();
    }
    im.bCompImageUseSignature = true;
    return 1;
}
