/*
 * The ECG library's gallery: the synthetic recording of the tests printed
 * through the library into a 300 dpi PDF printer of a scratch root, as
 * the client has it printed; docs/gallery/ecg.sh renders it to PNG.
 *
 *   ecg_gallery SCRATCH_ROOT OUTPUT_PDF
 */
#include "aecg_sample.h"

#include <kelecg.h>
#include <winport_test.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <registry_printer.h>

namespace {

template <class Fn> Fn Bind(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

bool AddPrinter()
{
    return AddRegistryPrinter("Gallery",
                              {{"Port", "FILE:C:\\gallery.pdf"}, {"Margins", "42,42,42,42"}});
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SCRATCH_ROOT OUTPUT_PDF\n", argv[0]);
        return 2;
    }
    if (!winport_test_set_root(argv[1]) ||
        !winport_test_install_module("KelEcg.dll", "C:\\novarc\\bin\\ecg") || !AddPrinter())
        return 1;
    std::ofstream(std::string(argv[1]) + "/drive_c/rest.xml") << SampleAecg();
    HMODULE lib = LoadLibraryA("C:\\novarc\\bin\\ecg\\KelEcg.dll");
    if (!lib)
        return 1;
    Bind<decltype(&InitializeErc)>(lib, "InitializeErc")();
    Bind<decltype(&ErcSetPrinter)>(lib, "ErcSetPrinter")("Gallery");
    Bind<decltype(&SetReportDataFromFile)>(lib, "SetReportDataFromFile")("C:\\rest.xml");
    if (!Bind<decltype(&PrintReport)>(lib, "PrintReport")())
        return 1;
    std::filesystem::copy_file(std::string(argv[1]) + "/drive_c/gallery.pdf", argv[2],
                               std::filesystem::copy_options::overwrite_existing);
    return 0;
}
