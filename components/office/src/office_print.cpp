/*
 * Office files and PDFs printed on a printer by name (see office_print.h).
 */
#include "office_print.h"

#include "pdf_draw.h"
#include "pdf_files.h"
#include "pdf_qpdf.h"
#include "run_tool.h"

#include <windows.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

namespace office {
namespace {

/* A big spreadsheet converts in well under a minute; a hung conversion
 * must not hold the print client (which waits for us) for ever. */
const int kConvertSeconds = 300;

bool Executable(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

/* Runs argv, its output thrown away, for at most `seconds`. */
bool Run(std::vector<std::string> args, int seconds)
{
    return runtool::RunBounded(std::move(args), seconds);
}

/* The extension of a Windows path's file name, lower case, with its dot. */
std::string Extension(const std::string &path)
{
    std::size_t slash = path.find_last_of("\\/");
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = path.substr(dot);
    for (char &c : ext)
        c = (char)std::tolower((unsigned char)c);
    for (char c : ext.substr(1))
        if (!std::isalnum((unsigned char)c))
            return "";
    return ext;
}

bool WritePosix(const std::string &path, const std::string &bytes)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool ReadPosix(const std::string &path, std::string *bytes)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && bytes->size() <= pdfshared::kMaxPdfBytes)
        bytes->append(buf, n);
    bool ok = !std::ferror(f) && bytes->size() <= pdfshared::kMaxPdfBytes;
    std::fclose(f);
    return ok;
}

/* The office file as a PDF, by LibreOffice in the work folder. */
bool Convert(const std::string &document, const runtool::WorkFolder &work, std::string *pdf,
             std::string *error)
{
    std::string program;
    if (!FindLibreOffice(&program)) {
        *error = "LibreOffice is not installed";
        return false;
    }
    const std::string input = work.path() + "/document" + Extension(document);
    std::string bytes;
    if (!pdfshared::ReadWholeFile(document, &bytes, error))
        return false;
    if (!WritePosix(input, bytes)) {
        *error = "cannot write the work copy of " + document;
        return false;
    }
    const bool ran =
        Run({program, "--headless", "--norestore", "--nologo", "--nofirststartwizard",
             "--nolockcheck", "-env:UserInstallation=file://" + work.path() + "/profile",
             "--convert-to", "pdf", "--outdir", work.path() + "/out", input},
            kConvertSeconds);
    if (!ran || !ReadPosix(work.path() + "/out/document.pdf", pdf) || pdf->empty()) {
        *error = "LibreOffice could not convert " + document;
        return false;
    }
    return true;
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

std::string BaseName(const std::string &path)
{
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool FindLibreOffice(std::string *program)
{
    const char *env = std::getenv("PATH");
    std::string list = env ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start) {
            const std::string candidate = list.substr(start, end - start) + "/soffice";
            if (Executable(candidate)) {
                *program = candidate;
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

int PrintFile(const char *szPrinter, const char *szPath, bool bPdf, std::string *error)
{
    if (!szPrinter || !szPath) {
        *error = "no printer or no file";
        return 0;
    }
    runtool::WorkFolder work("novarc-office-");
    std::string pdf;
    if (work.path().empty()) {
        *error = "no work folder";
        return 0;
    }
    if (bPdf ? !pdfshared::ReadWholeFile(szPath, &pdf, error) : !Convert(szPath, work, &pdf, error))
        return 0;
    HDC dc = CreateDCA(nullptr, szPrinter, nullptr, nullptr);
    if (!dc) {
        *error = std::string("no printer ") + szPrinter;
        return 0;
    }
    double width = 0, height = 0;
    std::string fitted;
    if (!bPdf && PaperOf(dc, &width, &height) &&
        pdfshared::ScalePdfPages(pdf, width, height, &fitted, error))
        pdf.swap(fitted);
    const std::string name = BaseName(szPath);
    DOCINFOA info = {sizeof(DOCINFOA), name.c_str(), nullptr, nullptr, 0};
    int printed = 0;
    if (StartDocA(dc, &info) > 0) {
        pdfshared::PrintRequest request;
        request.hdc = dc;
        printed = pdfshared::PrintPdf(pdf, request, error);
        if (printed > 0 && EndDoc(dc) <= 0) {
            *error = std::string("the printer refused the document ") + name;
            printed = 0;
        } else if (printed == 0) {
            AbortDoc(dc);
        }
    }
    DeleteDC(dc);
    return printed;
}

} // namespace office
