/*
 * Images: the piecewise transfers of scanned images, letterheads,
 * annotations, drawings (DAW) and signatures into the image cache, the
 * cache itself with its enciphered files, the server's questions about it,
 * and printing cached images on the job's printer.
 *
 * The request handlers have the route table's form (core/workers.h) and run
 * under the print lock, except the cache queries, which answer from the
 * main thread.  The operations below them are what the other renderers
 * (documents, forms, the PDF printing, the printer session) call, always
 * under the print lock.  How it fits: novarcprint/images/README.md.
 */
#ifndef NOVARCPRINT_IMAGES_H
#define NOVARCPRINT_IMAGES_H

#include "novarcprint_process.h" /* first: winsock2.h before windows.h */
#include "image_records.h"

/* The image cache and the files with a meaning in it. */
#define IMAGE_CACHE_FOLDER "c:\\novarc\\RecentScans"
#define COMP_SIGNATURE_FILE "comp_w_signature.tif.x2m"
#define COMP_IMAGE_PRINTER "CompImage"

/* The dispatcher's wait while an image prints; only these two exact values
 * are ever swapped for each other. */
#define IMAGE_WAIT_INTERVAL_MS 600000

/* IS_IMAGE_FILE_HERE flags: bit 0x02 suppresses the reply. */
#define FILE_HERE_NO_REPLY 0x02

/* ---- Request handlers (RequestHandler form) ---- */

/* The ten piece and end requests of the five transfers (11-14, 18, 19,
 * 25, 26, 44, 45). */
int HandleTransferPiece(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
/* SPECIAL_IMAGE_MESSAGE (30): an image piece, end or abort by sub-code. */
int HandleSpecialImageMessage(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleImageSettings(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleLetterheadImageName(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleCompImageSignature(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintLocalImage(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintLabElectronicE(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
/* Main thread: the cache queries, each answering the server. */
int HandleIsImageFileHere(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleQueryFileSize(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleStoreCacheFile(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* ---- The cache (cache_file.cpp, cache_query.cpp) ---- */

/* Whether a name holds ".x2m" (enciphered with the file key), ".xem"
 * (payload-ciphered) or ".pdf", in any case. */
bool IsEncipheredName(const char *szName);
bool IsPayloadCipheredName(const char *szName);
bool IsPdfName(const char *szName);

/* The full path of a bare cache file name the server sent, in szFull
 * (MAX_PATH).  False, with a log line naming szWho, when the name is not
 * a plain file name or the path would leave the cache folder. */
bool CachePath(NovarcprintProcess *pSession, const char *szWho, const char *szName, char *szFull);

/* Writes data (left unchanged) as an enciphered cache file: a fresh
 * counter block, then the data under the file key.  1, or 0 with the file
 * removed when it could not be written whole. */
int WriteEncipheredFile(const char *szPath, const char *pData, DWORD dwLen);
/* Rewrites a plain file in the enciphered form; 1, or 0 (file untouched
 * when it could not be read). */
int EncryptFileInPlace(const char *szPath);

/* A cache file's readable bytes, by the form its name says (deciphered for
 * ".x2m" and ".xem").  C heap; release with FreeCacheBytes. */
struct CacheBytes {
    char *pData = nullptr;
    DWORD dwLen = 0;
};
/* 1, or 0 when the file cannot be opened (*pbOpened false), is larger than
 * a transfer may be, cannot be read whole or memory cannot be had. */
int ReadCacheFile(const char *szPath, CacheBytes *pBytes, bool *pbOpened = nullptr);
void FreeCacheBytes(CacheBytes *pBytes);

/* 1 when the cached file decodes (PDFs are taken as they are); else the
 * file is deleted, so the server sends it again, and 0. */
int ValidateCachedImage(NovarcprintProcess *pSession, const char *szPath);
/* Looks for szName, then szName plus ".x2m", in the cache; when found
 * writes its full path back into szName (MAX_PATH bytes) and answers
 * ValidateCachedImage on it, else 0.  Unless iFlags has FILE_HERE_NO_REPLY
 * it also replies with SendFileIsHereMessage. */
int IsImageFileHere(NovarcprintProcess *pSession, char *szName, int iFlags);

/* At the end of the process: this process's own signature files. */
void CleanupRecentScansFiles(NovarcprintProcess *pSession);

/* ---- Transfers (transfer.cpp) ---- */

/* One piece of one transfer; iPiece is PIECE_DATA, PIECE_END or PIECE_ABORT. */
int ReceiveTransferPiece(NovarcprintProcess *pSession, TransferKind kind, const char *pData,
                         int iLen, int iPiece);
/* The next letterhead slot takes szName: first, second, first, ... */
void TakeLetterheadName(NovarcprintProcess *pSession, const char *szName);
/* Closes every open transfer and releases its buffer (end of the session). */
void ReleaseTransfers(NovarcprintProcess *pSession);

/* ---- The wait interval ---- */
void LengthenImageWait(NovarcprintProcess *pSession, const char *szWho);
void ShortenImageWait(NovarcprintProcess *pSession, const char *szWho);

/* ---- Printing (print_image.cpp, print_overlays.cpp, comp_image.cpp) ---- */

/* A cached scan as a whole page; 0 after printing or when the file is
 * missing, -1 when it cannot be decoded. */
int PrintImageFile(NovarcprintProcess *pSession, const char *szName, int iPage, int iMode);
/* The letterhead of a page: the first slot on page 1, the second later. */
void PrintLetterhead(NovarcprintProcess *pSession, int iPage);
int PrintLetterheadFile(NovarcprintProcess *pSession, const char *szName);
/* Prints and empties the signature list; 1, 0 (a file missing) or -1. */
int PrintSignatureFile(NovarcprintProcess *pSession);
int PrintDawFile(NovarcprintProcess *pSession, const char *szName);
/* A signature at a device position (height in device units), white
 * leaving the page as it was; the file stays in the cache. */
int PrintDocumentSignatureFile(NovarcprintProcess *pSession, const char *szName, int iX, int iY,
                               int iHeight);
/* The signature and DAW images waiting for the page end, when any. */
void PrintPendingTrailerImages(NovarcprintProcess *pSession);
void PrintImageFileHeaderFooter(NovarcprintProcess *pSession, HDC hdc, int iWidth, int iHeight,
                                int iPage);
int PrintLabElectronicE(NovarcprintProcess *pSession);

/* A picture named in a word-processor document: its name, its size in
 * hundredths of an inch, its justification (0 centre, 1 left, 2 right),
 * its rotation code and the annotation bytes it carries (none: NULL). */
struct StreamImageRecord {
    const char *szName = "";
    int iWidth = 0, iHeight = 0;
    int iJustification = 0;
    int iRotation = 0;
    const char *pAnnotations = nullptr;
    int iAnnotationLen = 0;
};
/* Draws the picture at (*pX, *pY) within the usable width from iLeft and
 * the height limit (device units) and moves *pX and *pY past it; 0, or -1
 * when it was not in the cache or did not decode and its box was drawn
 * with "Virtual Image" instead.  Flag 0x01: a width of its own, at *pX. */
int PrintStreamImage(NovarcprintProcess *pSession, HDC hdc, const StreamImageRecord &record,
                     int *pX, int *pY, int iLeft, int iAvailWidth, int iHeightLimit, int iFlags);
/* After a document, on the mobile and print converters only: its picture
 * leaves the cache (both as named and as the name plus ".x2m"). */
void DeleteWpStringImageFile(NovarcprintProcess *pSession, const char *szName);

/* CompImage: the name an image prints under once the signature is composed
 * onto it (szName is changed in place, IMAGE_NAME_SIZE bytes). */
void ApplyCompImageSubstitution(NovarcprintProcess *pSession, char *szName);
/* Composes the signature onto the form image (szFormName, or the type's
 * default when NULL) and stores it enciphered as COMP_SIGNATURE_FILE. */
int ApplySignatureToCompImage(NovarcprintProcess *pSession, const char *pData, int iLen, int iType,
                              const char *szFormName);

/* Printing a cached PDF (szPath a full cache path; a page below 1: every
 * page) belongs to the PDF printing (documents/pdf_print.cpp). */
int PrintNovarcPdfDocument(NovarcprintProcess *pSession, const char *szPath, int iPage, int iMode);
/* On the "LeadtoolsCVT" convert printer an image becomes a file instead of
 * a page (documents/image_convert.cpp). */
int ConvertImageFile(NovarcprintProcess *pSession, const char *szName, int iPage, int iMode);

#endif /* NOVARCPRINT_IMAGES_H */
