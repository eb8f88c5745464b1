/*
 * The exports of "kelpdftron.dll": the C functions the client looks up by
 * name (declared in components/include/kelpdftron.h).  Each one catches
 * what could go wrong beneath it: nothing but a result crosses the
 * interface.
 */
#include "pdf_form.h"

#include "pdf_draw.h"
#include "pdf_files.h"
#include "pdf_qpdf.h"
#include "pdf_text.h"

#include <atomic>
#include <cstring>
#include <strings.h>

namespace {

std::atomic<int> g_initialised{0};

void SetError(LPSTR errorText, const std::string &text)
{
    pdfshared::CopyText(errorText, KELPDFTRON_ERROR_TEXT_SIZE, text);
}

/* Adds the fonts of the resources folder, for PDFs that name fonts they do
 * not embed. */
void AddResourceFonts(const std::string &folder)
{
    for (const char *pattern : {"\\*.ttf", "\\*.otf"}) {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((folder + pattern).c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        do
            AddFontResourceA((folder + "\\" + found.cFileName).c_str());
        while (FindNextFileA(find, &found));
        FindClose(find);
    }
}

/* "C:\dir.x\Img1.pdf" -> "C:\dir.x\Img1": up to the first '.' of the file
 * name, so that a dot in a folder name never sends pages elsewhere. */
std::string PageBase(const std::string &path)
{
    std::size_t name = path.find_last_of("\\/");
    name = name == std::string::npos ? 0 : name + 1;
    std::size_t dot = path.find('.', name);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

} // namespace

/* InitializeKelPdfTron: counts the users and adds the resources folder's
 * fonts the first time. */
KELPDFTRON_API int WINAPI InitializeKelPdfTron(LPCSTR resourcesFolder)
{
    if (g_initialised.fetch_add(1) == 0 && resourcesFolder && *resourcesFolder)
        AddResourceFonts(resourcesFolder);
    return 1;
}

KELPDFTRON_API void WINAPI TerminateKelPdfTron(void)
{
    int count = g_initialised.load();
    while (count > 0 && !g_initialised.compare_exchange_weak(count, count - 1)) {
    }
}

KELPDFTRON_API int WINAPI KelPdfTronDllVersion(void)
{
    return KELPDFTRON_DLL_VERSION;
}

KELPDFTRON_API KelPdfCompFormObject *WINAPI CreateKelPdfCompFormObject(void)
{
    try {
        return new pdfengine::PdfForm;
    } catch (...) {
        return nullptr;
    }
}

KELPDFTRON_API void WINAPI DeleteKelPdfCompFormObject(KelPdfCompFormObject *form)
{
    delete static_cast<pdfengine::PdfForm *>(form);
}

KELPDFTRON_API int WINAPI PrintKelPdfTronDocumentBufferOptionHeading(
    HDC hdc, HANDLE hPrinter, LPCSTR printerName, int paperSource, LPCSTR documentName,
    const BYTE *data, DWORD length, int page, int copies, LPCSTR options, int headingType,
    int footingType, LPCSTR heading, LPCSTR footing)
{
    (void)hPrinter;
    (void)printerName;
    (void)documentName;
    if (!hdc || !data || length == 0)
        return 0;
    pdfshared::PrintRequest request;
    request.hdc = hdc;
    request.paperSource = paperSource;
    if (page >= 1)
        request.firstPage = request.lastPage = page;
    request.copies = copies;
    request.rasterize = options && strcasestr(options, KELPDFTRON_OPTION_RASTERIZE);
    request.heading = {headingType, heading ? heading : ""};
    request.footing = {footingType, footing ? footing : ""};
    std::string error;
    try {
        return pdfshared::PrintPdf(std::string(reinterpret_cast<const char *>(data), length),
                                   request, &error);
    } catch (...) {
        return 0;
    }
}

KELPDFTRON_API int WINAPI NormalizeKelPdfTronDocument(LPCSTR path, int flags, LPSTR errorText)
{
    (void)flags;
    std::string in, out, error;
    bool ok = path && pdfshared::ReadWholeFile(path, &in, &error) &&
              pdfshared::NormalizePdf(in, &out, &error) &&
              pdfshared::ReplaceFile(path, out, &error);
    SetError(errorText, ok ? "" : path ? error : "no path");
    return ok ? 1 : 0;
}

KELPDFTRON_API int WINAPI ConcatenateKelPdfTronDocumentRange(LPCSTR output, LPCSTR folder,
                                                             LPCSTR prefix, LPCSTR baseName,
                                                             int count, LPSTR errorText)
{
    if (!output || !folder || !prefix || !baseName || count < 1) {
        SetError(errorText, "nothing to join");
        return 0;
    }
    std::vector<std::string> parts(static_cast<std::size_t>(count));
    std::vector<const std::string *> order;
    std::string error;
    for (int n = 1; n <= count; n++) {
        std::string path = std::string(folder) + "\\" + prefix + std::to_string(n) + baseName;
        if (!pdfshared::ReadWholeFile(path, &parts[n - 1], &error)) {
            SetError(errorText, error);
            return 0;
        }
        order.push_back(&parts[n - 1]);
    }
    std::string joined;
    bool ok = pdfshared::JoinPdfs(order, &joined, &error) &&
              pdfshared::ReplaceFile(output, joined, &error);
    SetError(errorText, ok ? "" : error);
    return ok ? 1 : 0;
}

KELPDFTRON_API int WINAPI SeparateKelPdfTronDocument(LPCSTR path, LPSTR errorText)
{
    std::string in, error;
    std::vector<std::string> pages;
    if (!path || !pdfshared::ReadWholeFile(path, &in, &error) ||
        !pdfshared::SplitPdf(in, &pages, &error)) {
        SetError(errorText, path ? error : "no path");
        return 0;
    }
    const std::string base = PageBase(path);
    for (std::size_t i = 0; i < pages.size(); i++)
        if (!pdfshared::ReplaceFile(base + "PG" + std::to_string(i + 1) + ".pdf", pages[i],
                                    &error)) {
            SetError(errorText, error);
            return 0;
        }
    SetError(errorText, "");
    return static_cast<int>(pages.size());
}
