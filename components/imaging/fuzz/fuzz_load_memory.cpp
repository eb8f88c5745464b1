/*
 * libFuzzer: L_LoadMemory over whatever bytes come, as a cached image file
 * a peer sent.  Every accepted format is reached through its seeds
 * (corpus/fuzz_load_memory: BMP, JPEG, JPEG 2000, PNG, TIFF with G3, G4,
 * LZW and JPEG pages); a decoded bitmap is also read back, drawn into a
 * surface and freed, and a second page is asked for.
 */
#include <imaging.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    BITMAPHANDLE b{};
    b.uStructSize = sizeof b;
    if (L_LoadMemory(data, &b, sizeof b, 0, 0, static_cast<DWORD>(size)) == L_SUCCESS) {
        L_GetPixelColor(&b, b.Height - 1, b.Width - 1);
        RECT trim;
        L_GetAutoTrimRect(&b, 70, &trim);
        HGLOBAL saved = nullptr;
        DWORD savedSize = 0;
        if (b.Width * static_cast<long long>(b.Height) < 1000000 &&
            L_SaveBitmapMemory(&saved, &b, L_FMT_TIF_G4, 0, 0, &savedSize) == L_SUCCESS)
            GlobalFree(saved);
        L_FreeBitmap(&b);
    }
    BITMAPHANDLE second{};
    if (L_LoadMemory(data, &second, sizeof second, 24, 2, static_cast<DWORD>(size)) == L_SUCCESS)
        L_FreeBitmap(&second);
    return 0;
}
