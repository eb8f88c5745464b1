/*
 * The fax server's port, "vfxport.dll": the port monitor of the printer
 * "VSIFAX Server".  Each finished document arrives as our PDF and is
 * written where the fax server takes it, in its spool format: PCL (a
 * LaserJet 4 stream) by default, TIFF-F (G3 fax pages) when the port's
 * "Format" value says "TIFF".  Ghostscript does the conversion.  The file
 * appears whole under its fixed name ("currentpcl.pcl" in the port's
 * folder) or not at all; the print client moves it on after each document.
 */
#include "run_tool.h"

#include <windows.h>
#include <winport_gdi_ext.h>

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#define FAX_PORT_API extern "C" __attribute__((visibility("default")))

namespace {

const char kDocKey[] =
    "SYSTEM\\ControlSet001\\Control\\Print\\Monitors\\VSI-FAX Port 3.0\\Ports\\VFXSERVER:\\Doc";
const char kDefaultFolder[] = "C:\\Vsi-fax\\Server\\spool\\temp";
const char kSpoolName[] = "currentpcl.pcl";
/* A fax of a few hundred pages converts in seconds; a stuck converter
 * must not hold the printing client for ever. */
const int kConvertSeconds = 300;
const long kMaxOutputBytes = 512L * 1024 * 1024;

struct PortSettings {
    std::string folder = kDefaultFolder;
    bool tiff = false;
};

std::string ReadValue(HKEY key, const char *name)
{
    char value[MAX_PATH] = "";
    DWORD size = sizeof(value) - 1, type = 0;
    if (RegQueryValueExA(key, name, NULL, &type, (LPBYTE)value, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    value[size < sizeof(value) ? size : sizeof(value) - 1] = 0;
    return value;
}

/* The port's folder and format; "%VSITEMP%" in the folder is the
 * variable's value, as the client reads it. */
PortSettings ReadSettings()
{
    PortSettings s;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDocKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return s;
    std::string folder = ReadValue(key, "Directory");
    std::string format = ReadValue(key, "Format");
    RegCloseKey(key);
    const char *temp = std::getenv("VSITEMP");
    if (!folder.empty() && folder.find("VSITEMP") != std::string::npos && temp && *temp)
        folder = temp;
    if (!folder.empty())
        s.folder = folder;
    s.tiff = strcasecmp(format.c_str(), "TIFF") == 0;
    return s;
}

/* Runs Ghostscript on the PDF; true when it ended well within its time. */
bool Convert(const std::string &pdf, const std::string &out, bool tiff)
{
    std::vector<std::string> args = {"gs",      "-q",      "-dNOPAUSE",      "-dBATCH",
                                     "-dSAFER", "-dQUIET", "-dNOINTERPOLATE"};
    if (tiff) {
        args.push_back("-sDEVICE=tiffg3");
        args.push_back("-r204x196");
    } else {
        args.push_back("-sDEVICE=ljet4");
        args.push_back("-r300");
    }
    args.push_back("-sOutputFile=" + out);
    args.push_back(pdf);
    /* Its errors stay on the monitor's standard error, for the log. */
    return runtool::RunBounded(std::move(args), kConvertSeconds, true);
}

/* Copies the POSIX file into the Windows path through "<path>.part". */
DWORD Publish(const std::string &from, const std::string &target)
{
    std::FILE *in = std::fopen(from.c_str(), "rb");
    if (!in)
        return ERROR_WRITE_FAULT;
    const std::string part = target + ".part";
    HANDLE out = CreateFileA(part.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        std::fclose(in);
        return err ? err : ERROR_PATH_NOT_FOUND;
    }
    char buf[65536];
    std::size_t n;
    long total = 0;
    bool ok = true;
    while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        DWORD written = 0;
        total += (long)n;
        ok = total <= kMaxOutputBytes && WriteFile(out, buf, (DWORD)n, &written, NULL) &&
             written == n;
    }
    ok = ok && !std::ferror(in);
    std::fclose(in);
    CloseHandle(out);
    if (!ok || !MoveFileExA(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(part.c_str());
        return ERROR_WRITE_FAULT;
    }
    return 0;
}

/* Creates the folder and the folders above it. */
void MakeFolders(const std::string &folder)
{
    for (std::size_t at = folder.find('\\', 3); at != std::string::npos;
         at = folder.find('\\', at + 1))
        CreateDirectoryA(folder.substr(0, at).c_str(), NULL);
    CreateDirectoryA(folder.c_str(), NULL);
}

} // namespace

/* One finished document of the fax printer, written in the spool format. */
FAX_PORT_API DWORD WINAPI WinportPortDeliver(const WINPORT_PORT_DOCUMENT *doc)
{
    if (!doc || doc->cbSize < sizeof(WINPORT_PORT_DOCUMENT) || !doc->pSpoolFile)
        return ERROR_INVALID_PARAMETER;
    const PortSettings settings = ReadSettings();
    MakeFolders(settings.folder);
    const std::string target = settings.folder + "\\" + kSpoolName;
    if (doc->dwKind == WINPORT_DOC_RAW) /* already in the printer's language */
        return Publish(doc->pSpoolFile, target);
    const std::string converted = std::string(doc->pSpoolFile) + ".fax";
    DWORD err = Convert(doc->pSpoolFile, converted, settings.tiff) ? Publish(converted, target)
                                                                   : ERROR_WRITE_FAULT;
    std::remove(converted.c_str());
    return err;
}
