/*
 * Stand-ins for the PDF engine and the converter in the binding tests,
 * built twice: as "kelpdftron.dll" exporting only KelPdfTronDllVersion
 * (answering 77) and InitializeKelPdfTron, and as "cdintf550.dll"
 * exporting only DriverInit (answering a fixed handle), so every other
 * binder meets a library that lacks its function.
 */
#include <windows.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

#ifdef FAKE_KELPDFTRON
static int g_initialised = 0;
EXPORT int KelPdfTronDllVersion(void)
{
    return 77 + g_initialised * 1000;
}
EXPORT int InitializeKelPdfTron(LPCSTR)
{
    g_initialised = 1;
    return 1;
}
#endif

#ifdef FAKE_CDINTF550
EXPORT HANDLE DriverInit(LPCSTR)
{
    return reinterpret_cast<HANDLE>(0x5C);
}
#endif
