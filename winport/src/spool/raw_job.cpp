/*
 * Raw jobs: StartDocPrinterA ("RAW" only), StartPagePrinter, WritePrinter,
 * EndPagePrinter, EndDocPrinter, AbortPrinter, and SetJobA for any job of
 * this process.  The bytes are spooled to a file as written and reach the
 * port unchanged when the document ends.
 */
#include "spool/spool_handles.h"

#include <strings.h>

namespace winport::spool {

DWORD EndRawJob(PrinterHandle &h, bool deliver)
{
    RawJob raw = std::move(h.raw);
    h.raw = RawJob{};
    bool closed = raw.file && std::fclose(raw.file) == 0;
    auto job = FindJob(raw.id);
    auto printer = LoadPrinter(h.printer);
    DWORD err = 0;
    if (deliver && job && !job->cancelled) {
        if (raw.failed || !closed)
            err = ERROR_WRITE_FAULT;
        else if (!printer)
            err = ERROR_INVALID_PRINTER_NAME;
        else
            err = DeliverDocument(*printer, *job, raw.spoolPath, DocKind::Raw, raw.pages, 1);
    }
    std::remove(raw.spoolPath.c_str());
    FinishJob(raw.id);
    return err;
}

} // namespace winport::spool

using namespace winport::spool;

namespace {

/* The handle's open raw job, or null with the last error set. */
PrinterHandle *withJob(HANDLE hPrinter)
{
    PrinterHandle *h = FindPrinterHandle(hPrinter);
    if (h && !h->raw.id) {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return nullptr;
    }
    return h;
}

} // namespace

/***********************************************************************
 *           StartDocPrinterA
 * Level 1 only; the data type must be "RAW" (or NULL, or the handle's
 * data type when that is "RAW").  Returns the job id, 0 on failure.
 */
DWORD WINAPI StartDocPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    PrinterHandle *h = FindPrinterHandle(hPrinter);
    if (!h)
        return 0;
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return 0;
    }
    if (!pDocInfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (h->raw.id) {
        SetLastError(ERROR_INVALID_PRINTER_STATE);
        return 0;
    }
    const auto *info = reinterpret_cast<const DOC_INFO_1A *>(pDocInfo);
    const char *type = info->pDatatype ? info->pDatatype : h->datatype.c_str();
    if (*type && strcasecmp(type, "RAW") != 0) {
        SetLastError(ERROR_INVALID_DATATYPE);
        return 0;
    }
    int id = BeginJob(h->printer, info->pDocName ? info->pDocName : "",
                      info->pOutputFile ? info->pOutputFile : "");
    std::string path = SpoolFolder() + "/job" + std::to_string(id) + ".prn";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) {
        FinishJob(id);
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    h->raw.id = id;
    h->raw.spoolPath = path;
    h->raw.file = file;
    return DWORD(id);
}

/***********************************************************************
 *           StartPagePrinter
 * Marks a page; the bytes are not changed.
 */
BOOL WINAPI StartPagePrinter(HANDLE hPrinter)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    PrinterHandle *h = withJob(hPrinter);
    if (!h)
        return FALSE;
    h->raw.pageOpen = true;
    return TRUE;
}

/***********************************************************************
 *           WritePrinter
 * Appends the bytes to the job.  Without StartDocPrinterA:
 * ERROR_SPL_NO_STARTDOC.
 */
BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    if (pcWritten)
        *pcWritten = 0;
    PrinterHandle *h = withJob(hPrinter);
    if (!h)
        return FALSE;
    if (!pcWritten || (!pBuf && cbBuf)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto job = FindJob(h->raw.id);
    if (job && job->cancelled) {
        SetLastError(ERROR_PRINT_CANCELLED);
        return FALSE;
    }
    if (cbBuf && std::fwrite(pBuf, 1, cbBuf, h->raw.file) != cbBuf) {
        h->raw.failed = true;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    *pcWritten = cbBuf;
    return TRUE;
}

/***********************************************************************
 *           EndPagePrinter
 */
BOOL WINAPI EndPagePrinter(HANDLE hPrinter)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    PrinterHandle *h = withJob(hPrinter);
    if (!h)
        return FALSE;
    if (h->raw.pageOpen) {
        winport::gdi::PageInfo page;
        page.number = int(h->raw.pages.size()) + 1;
        h->raw.pages.push_back(page);
        h->raw.pageOpen = false;
    }
    return TRUE;
}

/***********************************************************************
 *           EndDocPrinter
 * Delivers the job's bytes to the port.  FALSE with the delivery's error
 * when they could not be written there.
 */
BOOL WINAPI EndDocPrinter(HANDLE hPrinter)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    PrinterHandle *h = withJob(hPrinter);
    if (!h)
        return FALSE;
    DWORD err = EndRawJob(*h, true);
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

/***********************************************************************
 *           AbortPrinter
 * Throws the handle's raw job away.
 */
BOOL WINAPI AbortPrinter(HANDLE hPrinter)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    PrinterHandle *h = withJob(hPrinter);
    if (!h)
        return FALSE;
    EndRawJob(*h, false);
    return TRUE;
}

/***********************************************************************
 *           SetJobA
 * Level 1 sets the document and user names (the document name decides the
 * file a folder port writes).  JOB_CONTROL_CANCEL and _DELETE throw the job
 * away when it ends; _PAUSE, _RESUME and _RESTART are accepted and change
 * nothing.  Jobs of other processes are not reachable:
 * ERROR_INVALID_PARAMETER, as for an unknown job.
 */
BOOL WINAPI SetJobA(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    PrinterHandle *h = FindPrinterHandle(hPrinter);
    if (!h)
        return FALSE;
    auto job = FindJob(int(JobId));
    if (!job || !SameName(job->printer, h->printer)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Level != 0 && Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (Level == 1) {
        if (!pJob) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const auto *info = reinterpret_cast<const JOB_INFO_1A *>(pJob);
        if (info->pDocument)
            job->document = info->pDocument;
        if (info->pUserName)
            job->user = info->pUserName;
    }
    switch (Command) {
    case 0:
    case JOB_CONTROL_PAUSE:
    case JOB_CONTROL_RESUME:
    case JOB_CONTROL_RESTART:
    case JOB_CONTROL_SENT_TO_PRINTER:
    case JOB_CONTROL_LAST_PAGE_EJECTED:
        break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
        job->cancelled = true;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UpdateJob(int(JobId), *job);
    return TRUE;
}
