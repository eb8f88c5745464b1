/*
 * GUIDs: CoCreateGuid makes random (version 4) GUIDs from the kernel's
 * random source; StringFromGUID2 writes the registry form
 * "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".  COM itself is not needed for
 * either, as on Windows.
 */
#include <windows.h>

#include <sys/random.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr int kGuidTextLength = 38; // without the NUL

bool FillRandom(void *buffer, size_t size)
{
    auto *p = static_cast<unsigned char *>(buffer);
    while (size > 0) {
        ssize_t n = getrandom(p, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

/* CoCreateGuid: a new random GUID (RFC 4122 version 4); E_INVALIDARG for
 * a null pointer, E_FAIL when the random source fails. */
HRESULT WINAPI CoCreateGuid(GUID *pguid)
{
    if (!pguid)
        return E_INVALIDARG;
    GUID g;
    if (!FillRandom(&g, sizeof g))
        return E_FAIL;
    g.Data3 = static_cast<uint16_t>((g.Data3 & 0x0FFF) | 0x4000);
    g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);
    *pguid = g;
    return S_OK;
}

/* StringFromGUID2: the GUID in braces, upper-case hex, as wide characters;
 * returns the characters written with the NUL (39), or 0 when the buffer
 * holds fewer. */
int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < kGuidTextLength + 1)
        return 0;
    char text[kGuidTextLength + 1];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  rguid.Data1, rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                  rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6],
                  rguid.Data4[7]);
    for (int i = 0; i <= kGuidTextLength; ++i)
        lpsz[i] = static_cast<OLECHAR>(text[i]);
    return kGuidTextLength + 1;
}
