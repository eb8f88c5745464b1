/*
 * Web pages through headless Chromium, and PDFs onto the default printer
 * (see page_print.h).
 */
#include "page_print.h"

#include "pdf_draw.h"
#include "pdf_files.h"
#include "pdf_qpdf.h"
#include "run_tool.h"

#include <windows.h>

#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace browser {
namespace {

bool StartsWithNoCase(const std::string &text, const char *prefix)
{
    for (size_t i = 0; prefix[i]; i++)
        if (i >= text.size() || std::tolower((unsigned char)text[i]) != prefix[i])
            return false;
    return true;
}

bool ReadPdf(const std::string &path, std::string *bytes)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size == 0 || size > pdfshared::kMaxPdfBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

/* The printer's paper in points, from a DC of it. */
bool PaperOf(HDC dc, double *width, double *height)
{
    int dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    int w = GetDeviceCaps(dc, PHYSICALWIDTH), h = GetDeviceCaps(dc, PHYSICALHEIGHT);
    if (dpiX <= 0 || dpiY <= 0 || w <= 0 || h <= 0)
        return false;
    *width = w * 72.0 / dpiX;
    *height = h * 72.0 / dpiY;
    return true;
}

} // namespace

bool IsWebUrl(const std::string &url)
{
    size_t rest = StartsWithNoCase(url, "http://") ? 7 : StartsWithNoCase(url, "https://") ? 8 : 0;
    if (rest == 0 || rest >= url.size() || url[rest] == '/')
        return false;
    for (char c : url)
        if ((unsigned char)c <= 0x20 || (unsigned char)c >= 0x7f)
            return false;
    return true;
}

bool RenderPage(const std::string &url, int seconds, const std::atomic<bool> &stop,
                std::string *pdf)
{
    if (!IsWebUrl(url))
        return false;
    runtool::WorkFolder work("novarc-page-");
    if (work.path().empty())
        return false;
    const std::string out = work.path() + "/page.pdf";
    /* Chromium's own temporary files go in the work folder too, so a
     * Chromium killed mid-load leaves nothing behind. */
    std::error_code ec;
    std::filesystem::create_directory(work.path() + "/tmp", ec);
    const bool ran = runtool::RunBounded(
        {"env", "TMPDIR=" + work.path() + "/tmp", "chromium", "--headless", "--no-sandbox",
         "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync",
         "--user-data-dir=" + work.path() + "/profile", "--print-to-pdf=" + out, url},
        seconds, false, &stop);
    return ran && !stop && ReadPdf(out, pdf);
}

int PrintOnDefaultPrinter(const std::string &pdf, const std::string &title)
{
    char printer[MAX_PATH] = "";
    DWORD size = sizeof printer;
    if (!GetDefaultPrinterA(printer, &size))
        return 0;
    HDC dc = CreateDCA(nullptr, printer, nullptr, nullptr);
    if (!dc)
        return 0;
    std::string fitted, error;
    double width = 0, height = 0;
    const bool scaled = PaperOf(dc, &width, &height) &&
                        pdfshared::ScalePdfPages(pdf, width, height, &fitted, &error);
    DOCINFOA info = {sizeof(DOCINFOA), title.c_str(), nullptr, nullptr, 0};
    int printed = 0;
    if (StartDocA(dc, &info) > 0) {
        pdfshared::PrintRequest request;
        request.hdc = dc;
        printed = pdfshared::PrintPdf(scaled ? fitted : pdf, request, &error);
        if (printed > 0 && EndDoc(dc) <= 0)
            printed = 0;
        else if (printed == 0)
            AbortDoc(dc);
    }
    DeleteDC(dc);
    return printed;
}

} // namespace browser
