/*
 * A stand-in port monitor for the spooler tests: it copies each document
 * it is handed to "<spool file's root>/monitor/<document name>" and writes
 * what it was told beside it, or refuses a document named "refuse".
 */
#include <windows.h>
#include <winport_gdi_ext.h>

#include <filesystem>
#include <fstream>
#include <string>

extern "C" __attribute__((visibility("default"))) DWORD WINAPI
WinportPortDeliver(const WINPORT_PORT_DOCUMENT *doc)
{
    if (!doc || doc->cbSize < sizeof *doc)
        return ERROR_INVALID_PARAMETER;
    std::string name = doc->pDocumentName;
    if (name == "refuse")
        return ERROR_DISK_FULL;
    // The spool file lives in <root>/winport/spool.
    std::filesystem::path spool = doc->pSpoolFile;
    std::filesystem::path out = spool.parent_path().parent_path().parent_path() / "monitor";
    std::filesystem::create_directories(out);
    std::filesystem::copy_file(spool, out / name,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(out / (name + ".txt")) << doc->pPrinterName << "|" << doc->dwKind << "|"
                                         << doc->dwPages << "|" << (doc->dwJobId > 0) << "\n";
    return 0;
}
