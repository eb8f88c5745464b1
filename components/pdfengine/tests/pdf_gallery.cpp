/*
 * The PDF engine's gallery: prints sample PDFs through the engine into a
 * 600 dpi PDF printer of a scratch root, as the client does, and copies
 * the printer's PDF out.  docs/gallery/pdfengine.sh renders its pages
 * to PNG in docs/gallery/.
 *
 *   pdf_gallery SCRATCH_ROOT OUTPUT_PDF
 */
#include "pdf_samples.h"

#include <kelpdftron.h>
#include <winport_test.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <registry_printer.h>

namespace {

template <class Fn> Fn Bind(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

/* A laser printer with its unprintable edge, printing to a PDF file. */
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
        !winport_test_install_module(KELPDFTRON_DLL_NAME, KELPDFTRON_FOLDER) || !AddPrinter())
        return 1;
    HMODULE engine = LoadLibraryA(KELPDFTRON_FOLDER "\\" KELPDFTRON_DLL_NAME);
    auto print = Bind<decltype(&PrintKelPdfTronDocumentBufferOptionHeading)>(
        engine, "PrintKelPdfTronDocumentBufferOptionHeading");
    auto create = Bind<decltype(&CreateKelPdfCompFormObject)>(engine, "CreateKelPdfCompFormObject");
    auto remove = Bind<decltype(&DeleteKelPdfCompFormObject)>(engine, "DeleteKelPdfCompFormObject");
    if (!print || !create || !remove)
        return 1;

    HDC dc = CreateDCA(nullptr, "Gallery", nullptr, nullptr);
    DOCINFOA info = {sizeof(DOCINFOA), "Gallery", nullptr, nullptr, 0};
    if (!dc || StartDocA(dc, &info) <= 0)
        return 1;
    /* A visit note with a heading and a page-numbered footing. */
    std::string note = samples::NumberedPdf(1, "a visit note");
    print(dc, nullptr, "Gallery", -1, "note.pdf", reinterpret_cast<const BYTE *>(note.data()),
          DWORD(note.size()), 0, 1, "", KELPDF_BAND_CENTER, KELPDF_BAND_PAGE_NUMBER,
          "Chart of Zo\xEB M\xFCller, born 03/14/1961", "Printed by the workstation");
    /* A landscape page turned onto the portrait paper. */
    samples::Page wide;
    wide.width = 792;
    wide.height = 612;
    wide.words = {{72, 72, "A landscape page, turned onto portrait paper"},
                  {72, 540, "Its bottom-left corner"}};
    std::string landscape = samples::TextPdf({wide});
    print(dc, nullptr, "Gallery", -1, "wide.pdf", reinterpret_cast<const BYTE *>(landscape.data()),
          DWORD(landscape.size()), 0, 1, "", 0, 0, "", "");
    /* A filled form. */
    samples::WriteFile(std::string(argv[1]) + "/drive_c/form.pdf", samples::FormPdf());
    KelPdfCompFormObject *form = create();
    char error[KELPDFTRON_ERROR_TEXT_SIZE] = "";
    form->OpenForm("C:\\form.pdf");
    form->SetField("PatientName", "Zo\xEB M\xFCller", KELPDF_FIELD_SET_VALUE);
    form->SetField("Consent", "Yes", KELPDF_FIELD_SET_VALUE);
    form->SetField("Sex", "F", KELPDF_FIELD_SET_VALUE);
    form->SetField("Clinic", "South", KELPDF_FIELD_SET_VALUE);
    form->PrepareForm();
    form->PrintForm(dc, -1, error);
    remove(form);
    if (EndDoc(dc) <= 0)
        return 1;
    DeleteDC(dc);
    std::filesystem::copy_file(std::string(argv[1]) + "/drive_c/gallery.pdf", argv[2],
                               std::filesystem::copy_options::overwrite_existing);
    return 0;
}
