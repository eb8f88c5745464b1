/*
 * The machine: computer name, Windows and system folders.
 */
#include <windows.h>

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

const char kWindowsDirectory[] = "C:\\Windows";
const char kSystemDirectory[] = "C:\\Windows\\system32";

/* The documented contract of GetWindowsDirectoryA and GetSystemDirectoryA:
 * the length without NUL, or the size needed with NUL when it does not fit
 * (nothing written). */
UINT CopyFolder(const char *folder, LPSTR buffer, UINT size)
{
    const UINT len = static_cast<UINT>(std::strlen(folder));
    if (!buffer || size <= len)
        return len + 1;
    std::memcpy(buffer, folder, len + 1);
    return len;
}

} // namespace

/* GetComputerNameA: the NetBIOS name: the host name up to its first '.',
 * upper-cased, at most MAX_COMPUTERNAME_LENGTH characters.  On success
 * *nSize is the length copied (no NUL); a short buffer fails with
 * ERROR_BUFFER_OVERFLOW and *nSize the size needed with NUL. */
BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize)
{
    if (!nSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        std::strcpy(host, "LOCALHOST");
    std::string name(host, std::strcspn(host, "."));
    if (name.size() > MAX_COMPUTERNAME_LENGTH)
        name.resize(MAX_COMPUTERNAME_LENGTH);
    for (char &c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!lpBuffer || *nSize <= name.size()) {
        *nSize = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(lpBuffer, name.c_str(), name.size() + 1);
    *nSize = static_cast<DWORD>(name.size());
    return TRUE;
}

/* GetSystemDirectoryA: "C:\Windows\system32" (under the root: drive_c). */
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return CopyFolder(kSystemDirectory, lpBuffer, uSize);
}

/* GetWindowsDirectoryA: "C:\Windows". */
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return CopyFolder(kWindowsDirectory, lpBuffer, uSize);
}
