/*
 * The image convert printer ("LeadtoolsCVT"): no device at all; each image
 * printed on it becomes one image file per page in the format, scale and
 * depth IMAGE_CONVERSION_OPTIONS asked for, and convert-and-send returns
 * the pages.  Under the print lock.
 */
#include <cctype>
#include <cstdio>
#include <cstring>

#include "documents.h"
#include "image_load.h"
#include "printer.h"

namespace {

#define CONVERT_FOLDER "c:\\novarc\\convert_pdf"
/* JPEG pages keep most of their detail: quality 80 of 100. */
#define JPEG_QUALITY 80
#define MODE_CARD 0x08

struct ConversionFormat {
    const char *szExtension;
    int iFormat;
};

/* The imaging library's own codes for the three extensions. */
const ConversionFormat kFormats[] = {{"PNG", L_FMT_PNG}, {"JPG", L_FMT_JPEG}, {"J2K", L_FMT_JP2}};

/* Writes the encoded bytes to a new file; an existing file is left alone. */
bool WriteNewFile(NovarcprintProcess *s, const char *szPath, HGLOBAL hMem, DWORD dwSize)
{
    HANDLE hFile =
        CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        s->Log("ConvertImageFile() CreateFile(%s) FAILED ERROR<%d>", szPath, (int)GetLastError());
        return false;
    }
    const void *pData = GlobalLock(hMem);
    DWORD dwWritten = 0;
    const bool bOk =
        pData && WriteFile(hFile, pData, dwSize, &dwWritten, NULL) && dwWritten == dwSize;
    GlobalUnlock(hMem);
    CloseHandle(hFile);
    if (!bOk) { /* never a cut image taken for a page */
        s->Log("ConvertImageFile() WriteFile(%s) FAILED", szPath);
        DeleteFileA(szPath);
    }
    return bOk;
}

/* Depth, annotations, scale: the picture as the page file shows it. */
void PreparePicture(NovarcprintProcess *s, LoadedImage *pImage, int iMode)
{
    BITMAPHANDLE &bitmap = pImage->bitmap;
    if (iMode & MODE_CARD) {
        TrimCardImage(&bitmap, MODE_CARD); /* the two-halves layout is not for files */
        CleanCardBottomEdge(&bitmap);
    }
    if (bitmap.BitsPerPixel < 8)
        KELL_ColorResBitmap(&bitmap, &bitmap, sizeof(bitmap), 24, 0);
    RealizeAnnotations(pImage);
    const PrinterState &st = s->m_Printer;
    s->Log("HeightFactor:%d WidthFactor:%d", st.m_iConversionScale, st.m_iConversionScale);
    if (st.m_iConversionScale > 0)
        KELL_SizeBitmap(&bitmap, bitmap.Width * st.m_iConversionScale / 100,
                        bitmap.Height * st.m_iConversionScale / 100, 0);
}

} // namespace

int ConvertImageFile(NovarcprintProcess *s, const char *szName, int, int iMode)
{
    PrinterState &p = s->m_Printer;
    PrinterState &st = p;
    ShortenImageWait(s, "ConvertImageFile");
    char szPath[MAX_PATH];
    FormatName(szPath, sizeof(szPath), "%s", szName);
    if (!IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY))
        return 0;
    LoadedImage image;
    const DecodeChoice choice = {0, 24};
    const int iLoaded =
        LoadCachedImage(s, szPath, szName, choice, s->m_Images.m_iImageRotation, &image);
    if (iLoaded <= 0) {
        ReleaseLoadedImage(&image);
        return iLoaded < 0 ? -1 : 0;
    }
    PreparePicture(s, &image, iMode);
    p.m_bPrinted = true;
    s->Log("ConvertImageFile( %s ) add PG number", szName);
    char szOutput[MAX_PATH];
    PageFileName(szOutput, sizeof(szOutput), p.m_szConvertFileName, st.m_iConversionPage++,
                 st.m_szConversionExtension);
    s->Log("ConvertImageFile(szOutputFilePath:%s )", szOutput);
    HGLOBAL hMem = NULL;
    DWORD dwSize = 0;
    const int iQuality = st.m_iConversionFormat == L_FMT_JPEG ? JPEG_QUALITY : 0;
    if (KELL_SaveBitmapMemory(&hMem, &image.bitmap, st.m_iConversionFormat, st.m_iConversionBits,
                              iQuality, &dwSize) == L_SUCCESS &&
        hMem) {
        WriteNewFile(s, szOutput, hMem, dwSize);
    } else
        s->Log("ConvertImageFile() KELL_SaveBitmapMemory(%s) FAILED", szOutput);
    if (hMem)
        GlobalFree(hMem);
    ReleaseLoadedImage(&image);
    return 0;
}

int HandleImageConversionOptions(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    PrinterState &p = s->m_Printer;
    PrinterState &st = p;
    const void *pEnd = pMsg->iLen > 0 ? memchr(pMsg->szBuf, 0, (size_t)pMsg->iLen) : NULL;
    const int iName = pEnd ? (int)((const char *)pEnd - pMsg->szBuf) : -1;
    if (iName < 1 || iName >= (int)sizeof(st.m_szConversionExtension) ||
        pMsg->iLen - iName - 1 < 8 || !KELPeerFileName(pMsg->szBuf)) {
        s->Log("IMAGE_CONVERSION_OPTIONS malformed payload iLen<%d>", pMsg->iLen);
        return 0;
    }
    memcpy(st.m_szConversionExtension, pMsg->szBuf, (size_t)iName + 1);
    /* The numbers after the extension, read from a view of the payload. */
    MsgBuf numbers = *pMsg;
    numbers.szBuf += iName + 1;
    numbers.iLen -= iName + 1;
    st.m_iConversionScale = TakeInt(&numbers);
    st.m_iConversionBits = TakeInt(&numbers);
    st.m_iConversionPage = 1;
    char szUpper[sizeof(st.m_szConversionExtension)];
    for (int i = 0; i <= iName; i++)
        szUpper[i] = (char)toupper((unsigned char)st.m_szConversionExtension[i]);
    for (const ConversionFormat &f : kFormats)
        if (strcmp(szUpper, f.szExtension) == 0)
            st.m_iConversionFormat = f.iFormat;
    MakeUniqueFileName(p.m_szDocumentName, sizeof(p.m_szDocumentName), "Img",
                       st.m_szConversionExtension);
    FormatName(p.m_szOutputName, sizeof(p.m_szOutputName), "%s", p.m_szDocumentName);
    FormatName(p.m_szConvertFileName, sizeof(p.m_szConvertFileName), "%s\\%s", CONVERT_FOLDER,
               p.m_szDocumentName);
    p.m_szCatalogName[0] = 0;
    s->Log("ThreadImageConversionOptions file %s", p.m_szDocumentName);
    return 1;
}
