/*
 * The exports of "cdintf550.dll" (declared in components/include/
 * cdintf550.h): converter handles, their settings, the printer lock and
 * the DC.
 *
 * A handle holds the printer's settings as this client sets them; they
 * become the printer's (its registry key) when committed with
 * SetDefaultConfigEx or CDICreateDC.  Handles are numbers looked up in a
 * table, so a stale or made-up handle fails rather than crashing.
 */
#include "converter_settings.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace converter {
namespace {

struct Converter {
    std::string printer;
    Settings settings;
    HANDLE lockFile = INVALID_HANDLE_VALUE; /* holds byte 0 locked while locked */
};

struct Table {
    std::mutex lock;
    std::map<std::uintptr_t, std::shared_ptr<Converter>> converters; /* guarded by lock */
    std::uintptr_t next = 1;                                         /* guarded by lock */
};

Table &Converters()
{
    static Table *table = new Table; /* outlives static destructors */
    return *table;
}

thread_local std::string t_lastError;

void Fail(const std::string &text)
{
    t_lastError = text;
}

/* Handle values: (id << 4) | 0xC, never 0 and never a kernel handle. */
HANDLE MakeHandle(std::uintptr_t id)
{
    return reinterpret_cast<HANDLE>((id << 4) | 0xC);
}

std::shared_ptr<Converter> Find(HANDLE handle)
{
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    Table &table = Converters();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = (value & 0xF) == 0xC ? table.converters.find(value >> 4) : table.converters.end();
    if (it == table.converters.end()) {
        Fail("unknown converter handle");
        return nullptr;
    }
    return it->second;
}

/* Applies `change` to the handle's settings when `valid`. */
template <class Change> BOOL Update(HANDLE handle, bool valid, const char *what, Change change)
{
    auto c = Find(handle);
    if (!c)
        return FALSE;
    if (!valid) {
        Fail(std::string("value out of range for ") + what);
        return FALSE;
    }
    change(c->settings);
    return TRUE;
}

LONG Get(HANDLE handle, int Settings::*field)
{
    auto c = Find(handle);
    return c ? c->settings.*field : -1;
}

/* "C:\Windows\system32\cdintf550\<printer>.lock", the folder created. */
std::string LockPath(const std::string &printer)
{
    char folder[MAX_PATH];
    UINT n = GetSystemDirectoryA(folder, sizeof folder);
    std::string path = std::string(folder, n < sizeof folder ? n : 0) + "\\cdintf550";
    CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\" + printer + ".lock";
}

void Unlock(Converter &c)
{
    if (c.lockFile == INVALID_HANDLE_VALUE)
        return;
    UnlockFile(c.lockFile, 0, 0, 1, 0);
    CloseHandle(c.lockFile);
    c.lockFile = INVALID_HANDLE_VALUE;
}

} // namespace
} // namespace converter

using namespace converter;

CDINTF_API HANDLE WINAPI DriverInit(LPCSTR printerName)
{
    std::string error;
    std::string printer = printerName ? printerName : "";
    if (!IsConverterPrinter(printer, &error)) {
        Fail(error);
        return nullptr;
    }
    auto c = std::make_shared<Converter>();
    c->printer = printer;
    c->settings = LoadSettings(printer);
    Table &table = Converters();
    std::lock_guard<std::mutex> guard(table.lock);
    std::uintptr_t id = table.next++;
    table.converters[id] = c;
    return MakeHandle(id);
}

CDINTF_API BOOL WINAPI DriverEnd(HANDLE hConverter)
{
    auto c = Find(hConverter);
    if (!c)
        return FALSE;
    Unlock(*c);
    Table &table = Converters();
    std::lock_guard<std::mutex> guard(table.lock);
    table.converters.erase(reinterpret_cast<std::uintptr_t>(hConverter) >> 4);
    return TRUE;
}

CDINTF_API HDC WINAPI CDICreateDC(HANDLE hConverter)
{
    auto c = Find(hConverter);
    std::string error;
    if (!c)
        return nullptr;
    if (!StoreSettings(c->printer, c->settings, &error)) {
        Fail(error);
        return nullptr;
    }
    HDC dc = CreateDCA(nullptr, c->printer.c_str(), nullptr, nullptr);
    if (!dc)
        Fail("the printer " + c->printer + " gives no DC (error " + std::to_string(GetLastError()) +
             ")");
    return dc;
}

CDINTF_API LONG WINAPI GetLastErrorMsg(LPSTR text, LONG size)
{
    if (!text || size <= 0)
        return 0;
    LONG n = static_cast<LONG>(std::min<std::size_t>(t_lastError.size(), size - 1));
    std::memcpy(text, t_lastError.data(), n);
    text[n] = '\0';
    return n;
}

CDINTF_API LONG WINAPI Lock(HANDLE hConverter, LPCSTR documentName)
{
    auto c = Find(hConverter);
    if (!c)
        return -2;
    c->settings.documentName = documentName ? documentName : "";
    if (c->lockFile != INVALID_HANDLE_VALUE)
        return 0;
    const std::string path = LockPath(c->printer);
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("cannot open " + path + " (error " + std::to_string(GetLastError()) + ")");
        return -3;
    }
    if (!LockFile(file, 0, 0, 1, 0)) {
        DWORD err = GetLastError();
        CloseHandle(file);
        Fail(err == ERROR_LOCK_VIOLATION ? "the printer " + c->printer + " is in use"
                                         : "cannot lock " + path);
        SetLastError(err);
        return err == ERROR_LOCK_VIOLATION ? -1 : -3;
    }
    c->lockFile = file;
    return 0;
}

CDINTF_API BOOL WINAPI SetDefaultDirectory(HANDLE hConverter, LPCSTR folder)
{
    return Update(hConverter, folder != nullptr, "the folder",
                  [&](Settings &s) { s.folder = folder; });
}

CDINTF_API BOOL WINAPI SetDefaultFileName(HANDLE hConverter, LPCSTR fileName)
{
    return Update(hConverter, fileName != nullptr, "the file name",
                  [&](Settings &s) { s.fileName = fileName; });
}

CDINTF_API BOOL WINAPI SetDocFileProps(HANDLE hConverter, LPCSTR documentName, LONG fileOptions,
                                       LPCSTR folder, LPCSTR fileName)
{
    return Update(hConverter, documentName && folder && fileName && fileOptions >= 0,
                  "the document", [&](Settings &s) {
                      s.documentName = documentName;
                      s.fileOptions = fileOptions;
                      s.folder = folder;
                      s.fileName = fileName;
                  });
}

CDINTF_API BOOL WINAPI SetFileNameOptions(HANDLE hConverter, LONG fileOptions)
{
    return Update(hConverter, fileOptions >= 0, "the file options",
                  [&](Settings &s) { s.fileOptions = fileOptions; });
}

CDINTF_API BOOL WINAPI SetResolution(HANDLE hConverter, LONG dpi)
{
    return Update(hConverter, dpi >= 72 && dpi <= 2400, "the resolution",
                  [&](Settings &s) { s.resolution = dpi; });
}

CDINTF_API BOOL WINAPI SetImageOptions(HANDLE hConverter, LONG imageOptions)
{
    return Update(hConverter, imageOptions >= 0, "the image options",
                  [&](Settings &s) { s.imageOptions = imageOptions; });
}

CDINTF_API BOOL WINAPI SetJPEGCompression(HANDLE hConverter, BOOL compress)
{
    return Update(hConverter, true, "JPEG", [&](Settings &s) { s.jpeg = compress != FALSE; });
}

CDINTF_API BOOL WINAPI SetJPegLevel(HANDLE hConverter, LONG level)
{
    return Update(hConverter, level >= 1 && level <= 9, "the JPEG level",
                  [&](Settings &s) { s.jpegLevel = level; });
}

CDINTF_API BOOL WINAPI SetDefaultConfigEx(HANDLE hConverter)
{
    auto c = Find(hConverter);
    std::string error;
    if (c && !StoreSettings(c->printer, c->settings, &error))
        Fail(error);
    return c && error.empty();
}

CDINTF_API LONG WINAPI GetPaperSize(HANDLE hConverter)
{
    return Get(hConverter, &Settings::paperSize);
}

CDINTF_API BOOL WINAPI SetPaperSize(HANDLE hConverter, LONG paperSize)
{
    return Update(hConverter, paperSize > 0 && paperSize <= 0x7FFF, "the paper size",
                  [&](Settings &s) { s.paperSize = paperSize; });
}

CDINTF_API LONG WINAPI GetPaperLength(HANDLE hConverter)
{
    return Get(hConverter, &Settings::paperLength);
}

CDINTF_API BOOL WINAPI SetPaperLength(HANDLE hConverter, LONG length)
{
    return Update(hConverter, length >= 100 && length <= 12000, "the paper length",
                  [&](Settings &s) { s.paperLength = length; });
}

CDINTF_API LONG WINAPI GetPaperWidth(HANDLE hConverter)
{
    return Get(hConverter, &Settings::paperWidth);
}

CDINTF_API BOOL WINAPI SetPaperWidth(HANDLE hConverter, LONG width)
{
    return Update(hConverter, width >= 100 && width <= 12000, "the paper width",
                  [&](Settings &s) { s.paperWidth = width; });
}

CDINTF_API LONG WINAPI GetHorizontalMargin(HANDLE hConverter)
{
    return Get(hConverter, &Settings::horizontalMargin);
}

CDINTF_API BOOL WINAPI SetHorizontalMargin(HANDLE hConverter, LONG margin)
{
    return Update(hConverter, margin >= 0 && margin <= 4000, "the horizontal margin",
                  [&](Settings &s) { s.horizontalMargin = margin; });
}

CDINTF_API LONG WINAPI GetVerticalMargin(HANDLE hConverter)
{
    return Get(hConverter, &Settings::verticalMargin);
}

CDINTF_API BOOL WINAPI SetVerticalMargin(HANDLE hConverter, LONG margin)
{
    return Update(hConverter, margin >= 0 && margin <= 4000, "the vertical margin",
                  [&](Settings &s) { s.verticalMargin = margin; });
}

CDINTF_API BOOL WINAPI SetScalingOption(HANDLE hConverter, LONG option)
{
    return Update(hConverter, option == CDINTF_SCALE_NONE || option == CDINTF_SCALE_TO_PAPER,
                  "the scaling option", [&](Settings &s) { s.scaling = option; });
}

CDINTF_API BOOL WINAPI SetScalingPaperSize(HANDLE hConverter, LONG paperSize)
{
    int w = 0, l = 0;
    return Update(hConverter, paperSize == CDINTF_PAPER_USER || KnownPaper(paperSize, &w, &l),
                  "the scaling paper", [&](Settings &s) { s.scalingPaper = paperSize; });
}
