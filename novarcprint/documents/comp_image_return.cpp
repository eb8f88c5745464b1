/*
 * The "CompImage" printer's output: workers' compensation forms printed on
 * a printer whose port writes one TIFF file.  Once the job's close has
 * ended the document, the close timer takes the file under a unique name,
 * keeps it enciphered as a cache file, returns it to the server and
 * removes what the job left.  Runs on the main thread (timer 4).
 */
#include <cstdio>
#include <cstring>

#include "documents.h"
#include "images.h"
#include "printer.h"

namespace {

const char kCompImageFolder[] = "c:\\novarc\\CompImage";
const char kCompImageOutput[] = "c:\\novarc\\CompImage\\CompImage.tif";
const char kCompImagePcl[] = "c:\\novarc\\CompImage\\CompImage.pcl";

} // namespace

bool CompImageOutputReady(void)
{
    HANDLE hFile = CreateFileA(kCompImageOutput, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}

int ReturnCompImageOutput(NovarcprintProcess *s)
{
    char szName[OPEN_NAME_SIZE], szPath[MAX_PATH], szPacked[MAX_PATH];
    MakeUniqueFileName(szName, sizeof(szName), "Img", "tif.x2m");
    FormatName(szPath, sizeof(szPath), "%s\\%s", kCompImageFolder, szName);
    FormatName(szPacked, sizeof(szPacked), "%s.zz", szPath);
    if (!MoveFileExA(kCompImageOutput, szPath, MOVEFILE_REPLACE_EXISTING)) {
        s->Log("HandlePrinterCloseTimerProc MoveFileEx( %s ) FAILED ERROR:%d", szPath,
               (int)GetLastError());
        return -1;
    }
    bool bSent = false;
    if (!EncryptFileInPlace(szPath))
        s->Log("HandlePrinterCloseTimerProc EncryptFileInPlace( %s ) FAILED", szPath);
    else if (!KelZipPlus(szPath, szPacked, KELZIP_QUIET))
        s->Log("HandlePrinterCloseTimerProc KelZipPlus( %s ) FAILED", szPath);
    else
        bSent = s->SendWholeFile(s->m_sockReply, szName, szPacked,
                                 SEND_WHOLE_FILE_SEALED | SEND_WHOLE_FILE_KEEP) != 0;
    s->Log("HandlePrinterCloseTimerProc SendWholeFile( %s ) %s", szName, bSent ? "SENT" : "FAILED");
    DeleteFileA(szPath);
    DeleteFileA(kCompImagePcl);
    DeleteFileA(szPacked);
    return bSent ? 1 : 0;
}
