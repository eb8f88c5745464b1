/*
 * The PDF engine and converter bound by name (see pdf_bind.h), as the
 * Winsock binding does: each binder takes its signature from the shared
 * header's declaration and looks the name up at every call, so a library
 * replaced by an update, or one lacking a function, is met as it is.
 */
#include "novarcprint_process.h" /* first: winsock2.h before windows.h */
#include "pdf_bind.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

std::atomic<HMODULE> g_pdfTron{nullptr};
std::atomic<HMODULE> g_amyuni{nullptr};

/* What a binder does when the loaded library lacks the function. */
enum class Missing { Quietly, Loudly };

FARPROC LookUp(HMODULE module, const char *proc, Missing missing)
{
    if (module == nullptr)
        return nullptr;
    FARPROC fn = GetProcAddress(module, proc);
    if (fn == nullptr && missing == Missing::Loudly) {
        std::string text = std::string("UNABLE TO LINK WITH ") + proc;
        MessageBoxA(nullptr, text.c_str(), "ERROR", MB_OK);
        PostQuitMessage(0);
    }
    return fn;
}

/* Calls the bound function with the signature of its declaration; one that
 * cannot be bound yields a zero of its result type. */
template <typename Fn> struct Binder;
template <typename R, typename... A> struct Binder<R (*)(A...)> {
    static R Call(HMODULE module, const char *proc, Missing missing, A... args)
    {
        auto generic = reinterpret_cast<void (*)(void)>(LookUp(module, proc, missing));
        auto fn = reinterpret_cast<R (*)(A...)>(generic);
        if (fn == nullptr) {
            if constexpr (std::is_void_v<R>)
                return;
            else
                return R();
        }
        return fn(args...);
    }
};

/* The engine, loaded on first use when printer open did not load it. */
HMODULE PdfTron()
{
    if (g_pdfTron.load() == nullptr)
        KelLoadPdfTron();
    return g_pdfTron.load();
}

} // namespace

#define PDFTRON_BOUND(name, ...)                                                                   \
    Binder<decltype(&::name)>::Call(PdfTron(), #name, Missing::Quietly __VA_OPT__(, ) __VA_ARGS__)
#define AMYUNI_BOUND(name, ...)                                                                    \
    Binder<decltype(&::name)>::Call(g_amyuni.load(), #name,                                        \
                                    Missing::Loudly __VA_OPT__(, ) __VA_ARGS__)

/* ---- PDF engine ---- */

int KelLoadPdfTron(void)
{
    if (g_pdfTron.load() != nullptr)
        return 1;
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", KELPDFTRON_FOLDER, KELPDFTRON_DLL_NAME);
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr)
        return 0;
    HMODULE expected = nullptr;
    if (!g_pdfTron.compare_exchange_strong(expected, module)) {
        FreeLibrary(module); /* another thread was first */
        return 1;
    }
    KelPdfTron_Initialize(KELPDFTRON_RESOURCES);
    return 1;
}

void KelUnloadPdfTron(void)
{
    HMODULE old = g_pdfTron.exchange(nullptr);
    if (old != nullptr) {
        Binder<decltype(&::TerminateKelPdfTron)>::Call(old, "TerminateKelPdfTron",
                                                       Missing::Quietly);
        FreeLibrary(old);
    }
}

bool KelPdfTronLoaded(void)
{
    return g_pdfTron.load() != nullptr;
}

int KelPdfTron_Initialize(LPCSTR resourcesFolder)
{
    return PDFTRON_BOUND(InitializeKelPdfTron, resourcesFolder);
}
void KelPdfTron_Terminate(void)
{
    PDFTRON_BOUND(TerminateKelPdfTron);
}
int KelPdfTron_DllVersion(void)
{
    return PDFTRON_BOUND(KelPdfTronDllVersion);
}
KelPdfCompFormObject *KelPdfTron_CreateFormObject(void)
{
    return PDFTRON_BOUND(CreateKelPdfCompFormObject);
}
void KelPdfTron_DeleteFormObject(KelPdfCompFormObject *form)
{
    PDFTRON_BOUND(DeleteKelPdfCompFormObject, form);
}
int KelPdfTron_PrintDocumentBuffer(HDC hdc, HANDLE hPrinter, LPCSTR printerName, int paperSource,
                                   LPCSTR documentName, const BYTE *data, DWORD length, int page,
                                   int copies, LPCSTR options, int headingType, int footingType,
                                   LPCSTR heading, LPCSTR footing)
{
    return PDFTRON_BOUND(PrintKelPdfTronDocumentBufferOptionHeading, hdc, hPrinter, printerName,
                         paperSource, documentName, data, length, page, copies, options,
                         headingType, footingType, heading, footing);
}
int KelPdfTron_Normalize(LPCSTR path, int flags, LPSTR errorText)
{
    return PDFTRON_BOUND(NormalizeKelPdfTronDocument, path, flags, errorText);
}
int KelPdfTron_Concatenate(LPCSTR output, LPCSTR folder, LPCSTR prefix, LPCSTR baseName, int count,
                           LPSTR errorText)
{
    return PDFTRON_BOUND(ConcatenateKelPdfTronDocumentRange, output, folder, prefix, baseName,
                         count, errorText);
}
int KelPdfTron_Separate(LPCSTR path, LPSTR errorText)
{
    return PDFTRON_BOUND(SeparateKelPdfTronDocument, path, errorText);
}

/* ---- PDF converter printer ---- */

int KelLoadAmyuni(NovarcprintProcess *s)
{
    char path[MAX_PATH] = "";
    UINT n = GetSystemDirectoryA(path, sizeof path);
    HMODULE module = nullptr;
    if (n > 0 && n + 1 + sizeof(CDINTF_DLL_NAME) <= sizeof path) {
        snprintf(path + n, sizeof path - n, "\\%s", CDINTF_DLL_NAME);
        module = LoadLibraryA(path);
    }
    if (s)
        s->Log("LoadAmyuniDLL %s", module ? "SUCCESS" : "FAILED");
    if (module == nullptr)
        return 0;
    HMODULE old = g_amyuni.exchange(module);
    if (old != nullptr)
        FreeLibrary(old);
    return 1;
}

void KelUnloadAmyuni(void)
{
    HMODULE old = g_amyuni.exchange(nullptr);
    if (old != nullptr)
        FreeLibrary(old);
}

bool KelAmyuniLoaded(void)
{
    return g_amyuni.load() != nullptr;
}

int KelAmyuni_RunInstaller(LPCSTR printerName)
{
    char folder[MAX_PATH] = "";
    UINT n = GetSystemDirectoryA(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder || !printerName || strchr(printerName, '"'))
        return -1;
    char command[2 * MAX_PATH + 64];
    snprintf(command, sizeof command, "\"%s\\%s\" -s \"%s\"", folder, CDINTF_INSTALLER,
             printerName);
    STARTUPINFOA startup = STARTUPINFOA();
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = PROCESS_INFORMATION();
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return -1;
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &code))
        code = (DWORD)-1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}

HANDLE KelAmyuni_DriverInit(LPCSTR printerName)
{
    return AMYUNI_BOUND(DriverInit, printerName);
}
BOOL KelAmyuni_DriverEnd(HANDLE hConverter)
{
    return AMYUNI_BOUND(DriverEnd, hConverter);
}
HDC KelAmyuni_CDICreateDC(HANDLE hConverter)
{
    return AMYUNI_BOUND(CDICreateDC, hConverter);
}
LONG KelAmyuni_GetLastErrorMsg(LPSTR text, LONG size)
{
    return AMYUNI_BOUND(GetLastErrorMsg, text, size);
}
LONG KelAmyuni_Lock(HANDLE hConverter, LPCSTR documentName)
{
    return AMYUNI_BOUND(Lock, hConverter, documentName);
}
BOOL KelAmyuni_SetDefaultDirectory(HANDLE hConverter, LPCSTR folder)
{
    return AMYUNI_BOUND(SetDefaultDirectory, hConverter, folder);
}
BOOL KelAmyuni_SetDefaultFileName(HANDLE hConverter, LPCSTR fileName)
{
    return AMYUNI_BOUND(SetDefaultFileName, hConverter, fileName);
}
BOOL KelAmyuni_SetDocFileProps(HANDLE hConverter, LPCSTR documentName, LONG fileOptions,
                               LPCSTR folder, LPCSTR fileName)
{
    return AMYUNI_BOUND(SetDocFileProps, hConverter, documentName, fileOptions, folder, fileName);
}
BOOL KelAmyuni_SetFileNameOptions(HANDLE hConverter, LONG fileOptions)
{
    return AMYUNI_BOUND(SetFileNameOptions, hConverter, fileOptions);
}
BOOL KelAmyuni_SetResolution(HANDLE hConverter, LONG dpi)
{
    return AMYUNI_BOUND(SetResolution, hConverter, dpi);
}
BOOL KelAmyuni_SetImageOptions(HANDLE hConverter, LONG imageOptions)
{
    return AMYUNI_BOUND(SetImageOptions, hConverter, imageOptions);
}
BOOL KelAmyuni_SetJPEGCompression(HANDLE hConverter, BOOL compress)
{
    return AMYUNI_BOUND(SetJPEGCompression, hConverter, compress);
}
BOOL KelAmyuni_SetJPegLevel(HANDLE hConverter, LONG level)
{
    return AMYUNI_BOUND(SetJPegLevel, hConverter, level);
}
BOOL KelAmyuni_SetDefaultConfigEx(HANDLE hConverter)
{
    return AMYUNI_BOUND(SetDefaultConfigEx, hConverter);
}
LONG KelAmyuni_GetPaperSize(HANDLE hConverter)
{
    return AMYUNI_BOUND(GetPaperSize, hConverter);
}
BOOL KelAmyuni_SetPaperSize(HANDLE hConverter, LONG paperSize)
{
    return AMYUNI_BOUND(SetPaperSize, hConverter, paperSize);
}
LONG KelAmyuni_GetPaperLength(HANDLE hConverter)
{
    return AMYUNI_BOUND(GetPaperLength, hConverter);
}
BOOL KelAmyuni_SetPaperLength(HANDLE hConverter, LONG length)
{
    return AMYUNI_BOUND(SetPaperLength, hConverter, length);
}
LONG KelAmyuni_GetPaperWidth(HANDLE hConverter)
{
    return AMYUNI_BOUND(GetPaperWidth, hConverter);
}
BOOL KelAmyuni_SetPaperWidth(HANDLE hConverter, LONG width)
{
    return AMYUNI_BOUND(SetPaperWidth, hConverter, width);
}
LONG KelAmyuni_GetHorizontalMargin(HANDLE hConverter)
{
    return AMYUNI_BOUND(GetHorizontalMargin, hConverter);
}
BOOL KelAmyuni_SetHorizontalMargin(HANDLE hConverter, LONG margin)
{
    return AMYUNI_BOUND(SetHorizontalMargin, hConverter, margin);
}
LONG KelAmyuni_GetVerticalMargin(HANDLE hConverter)
{
    return AMYUNI_BOUND(GetVerticalMargin, hConverter);
}
BOOL KelAmyuni_SetVerticalMargin(HANDLE hConverter, LONG margin)
{
    return AMYUNI_BOUND(SetVerticalMargin, hConverter, margin);
}
BOOL KelAmyuni_SetScalingOption(HANDLE hConverter, LONG option)
{
    return AMYUNI_BOUND(SetScalingOption, hConverter, option);
}
BOOL KelAmyuni_SetScalingPaperSize(HANDLE hConverter, LONG paperSize)
{
    return AMYUNI_BOUND(SetScalingPaperSize, hConverter, paperSize);
}
BOOL KelAmyuni_PrintPDFDocument(LPCSTR fileName, LPCSTR printerName, LONG firstPage, LONG lastPage,
                                LONG copies)
{
    return AMYUNI_BOUND(PrintPDFDocument, fileName, printerName, firstPage, lastPage, copies);
}
