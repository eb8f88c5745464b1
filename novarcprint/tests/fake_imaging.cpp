/*
 * A stand-in imaging library for the binding tests: it exports only
 * L_PreLoadFilters (remembering the list) and L_LoadMemory (answering
 * L_SUCCESS with a 7 x 5 bitmap), so every other binder meets a DLL that
 * lacks its function, as on a workstation with a broken installation.
 */
#include <imaging.h>

#include <cstring>

namespace {
char g_filters[64];
}

extern "C" __attribute__((visibility("default"))) INT L_PreLoadFilters(INT, INT, LPCSTR list)
{
    std::strncpy(g_filters, list ? list : "", sizeof g_filters - 1);
    return L_SUCCESS;
}

extern "C" __attribute__((visibility("default"))) INT L_LoadMemory(const BYTE *, pBITMAPHANDLE b,
                                                                   UINT, INT, INT, DWORD)
{
    b->Width = 7;
    b->Height = 5;
    return L_SUCCESS;
}

/* For the test: the filter list the last L_PreLoadFilters got. */
extern "C" __attribute__((visibility("default"))) const char *FakeImagingFilters(void)
{
    return g_filters;
}
