/*
 * The PDF components against the command-line tools that do the same work,
 * in one run on one machine:
 *
 *  - a 50-page vector PDF printed through the PDF engine into the converter
 *    printer (engine drawing with poppler, winport's PDF writer, the
 *    converter's monitor writing the file), beside `pdftocairo -pdf` on the
 *    same file (poppler onto a cairo PDF surface, no printer);
 *  - 50 ten-page PDFs joined by ConcatenateKelPdfTronDocumentRange (qpdf in
 *    process) beside `qpdf --empty --pages ... --`.
 *
 * Each figure is the median of several runs, wall time.
 *
 *   pdf_component_bench [RUNS]
 */
#include "pdf_samples.h"

#include <cdintf550.h>
#include <kelpdftron.h>
#include <winport_test.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(int runs, const std::function<bool()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; i++) {
        auto start = Clock::now();
        if (!work()) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            std::exit(1);
        }
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <class Fn> Fn Bind(HMODULE module, const char *name)
{
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
    if (!fn) {
        std::fprintf(stderr, "%s is missing\n", name);
        std::exit(1);
    }
    return fn;
}

long long SizeOf(const std::string &path)
{
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(size);
}

} // namespace

int main(int argc, char **argv)
{
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::string root = (std::filesystem::temp_directory_path() / "pdfbench-XXXXXX").string();
    if (!mkdtemp(root.data()) || !winport_test_set_root(root.c_str()) ||
        !winport_test_install_module(KELPDFTRON_DLL_NAME, KELPDFTRON_FOLDER) ||
        !winport_test_install_module(CDINTF_DLL_NAME, "C:\\Windows\\system32") ||
        std::system(("WINPORT_ROOT='" + root + "' '" CDINSTALL_PATH "' -s >/dev/null").c_str())) {
        std::fprintf(stderr, "cannot set up a root in %s\n", root.c_str());
        return 1;
    }
    HMODULE engine = LoadLibraryA(KELPDFTRON_FOLDER "\\" KELPDFTRON_DLL_NAME);
    HMODULE converter = LoadLibraryA("C:\\Windows\\system32\\" CDINTF_DLL_NAME);
    auto print = Bind<decltype(&PrintKelPdfTronDocumentBufferOptionHeading)>(
        engine, "PrintKelPdfTronDocumentBufferOptionHeading");
    auto join = Bind<decltype(&ConcatenateKelPdfTronDocumentRange)>(
        engine, "ConcatenateKelPdfTronDocumentRange");
    auto init = Bind<decltype(&DriverInit)>(converter, "DriverInit");
    auto end = Bind<decltype(&DriverEnd)>(converter, "DriverEnd");
    auto lock = Bind<decltype(&Lock)>(converter, "Lock");
    auto fileName = Bind<decltype(&SetDefaultFileName)>(converter, "SetDefaultFileName");
    auto createDc = Bind<decltype(&CDICreateDC)>(converter, "CDICreateDC");

    /* 50 vector pages through the engine into the converter printer. */
    const std::string drive = root + "/drive_c";
    std::filesystem::create_directories(drive + "/out");
    const std::string fifty = samples::NumberedPdf(50, "the benchmark");
    samples::WriteFile(drive + "/fifty.pdf", fifty);
    double ours = Median(runs, [&] {
        HANDLE h = init("NovarcPDF");
        bool ok = h && fileName(h, "C:\\out\\printed.pdf") && lock(h, "printed.pdf") == 0;
        HDC dc = ok ? createDc(h) : nullptr;
        DOCINFOA info = {sizeof(DOCINFOA), "printed.pdf", nullptr, nullptr, 0};
        ok = dc && StartDocA(dc, &info) > 0 &&
             print(dc, nullptr, "NovarcPDF", -1, "fifty.pdf",
                   reinterpret_cast<const BYTE *>(fifty.data()), DWORD(fifty.size()), 0, 1, "", 0,
                   0, "", "") == 50 &&
             EndDoc(dc) > 0;
        if (dc)
            DeleteDC(dc);
        end(h);
        return ok;
    });
    double reference = Median(runs, [&] {
        return std::system(
                   ("pdftocairo -pdf '" + drive + "/fifty.pdf' '" + drive + "/out/pdftocairo.pdf'")
                       .c_str()) == 0;
    });
    std::printf("print 50 vector pages: engine into the converter printer %.3f s (%lld bytes), "
                "pdftocairo -pdf %.3f s (%lld bytes), ratio %.2f (goal at most 1.3)\n",
                ours, SizeOf(drive + "/out/printed.pdf"), reference,
                SizeOf(drive + "/out/pdftocairo.pdf"), ours / reference);

    /* 50 ten-page parts joined. */
    std::filesystem::create_directories(drive + "/join");
    std::string pages;
    for (int n = 1; n <= 50; n++) {
        std::string part = drive + "/join/Part" + std::to_string(n) + "Img.pdf";
        samples::WriteFile(part, samples::NumberedPdf(10, "part " + std::to_string(n)));
        pages += " '" + part + "'";
    }
    char error[KELPDFTRON_ERROR_TEXT_SIZE];
    double joined = Median(runs, [&] {
        return join("C:\\out\\joined.pdf", "C:\\join", "Part", "Img.pdf", 50, error) != 0;
    });
    double qpdf = Median(runs, [&] {
        return std::system(
                   ("qpdf --empty --pages" + pages + " -- '" + drive + "/out/qpdf.pdf'").c_str()) ==
               0;
    });
    std::printf("join 50 ten-page PDFs: engine %.3f s (%lld bytes), qpdf --empty --pages %.3f s "
                "(%lld bytes), ratio %.2f (goal below 1)\n",
                joined, SizeOf(drive + "/out/joined.pdf"), qpdf, SizeOf(drive + "/out/qpdf.pdf"),
                joined / qpdf);
    std::filesystem::remove_all(root);
    return 0;
}
