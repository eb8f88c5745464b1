/*
 * The system's version, the program's own file name, and MulDiv.
 */
#include "kernel/root.h"

#include <windows.h>

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

/* The version Windows reports to a program without a compatibility
 * manifest on every release since 8: 6.2, build 9200. */
constexpr DWORD kMajor = 6;
constexpr DWORD kMinor = 2;
constexpr DWORD kBuild = 9200;

/* The Windows path of a POSIX path: under a drive of the root it is that
 * drive's path ("C:\novarc\bin2\x.exe"); elsewhere it is shown on drive Z,
 * as Wine shows the host's files. */
std::string WindowsPathOf(const std::string &posix)
{
    const std::string prefix = winport::Root() + "/drive_";
    std::string out;
    if (posix.rfind(prefix, 0) == 0 && posix.size() > prefix.size() &&
        (posix.size() == prefix.size() + 1 || posix[prefix.size() + 1] == '/')) {
        out = static_cast<char>(std::toupper(static_cast<unsigned char>(posix[prefix.size()])));
        out += ':';
        out += posix.substr(prefix.size() + 1);
        if (out.size() == 2)
            out += '\\';
    } else {
        out = "Z:" + posix;
    }
    for (char &c : out)
        if (c == '/')
            c = '\\';
    return out;
}

} // namespace

/* GetVersionExA: Windows 6.2 (build 9200, NT platform, no service pack).
 * dwOSVersionInfoSize must be the size of OSVERSIONINFOA or
 * OSVERSIONINFOEXA, else ERROR_INSUFFICIENT_BUFFER. */
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    if (!lpVersionInformation) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    lpVersionInformation->dwMajorVersion = kMajor;
    lpVersionInformation->dwMinorVersion = kMinor;
    lpVersionInformation->dwBuildNumber = kBuild;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto *ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0x0100; // VER_SUITE_SINGLEUSERTS
        ex->wProductType = VER_NT_WORKSTATION;
        ex->wReserved = 0;
    }
    return TRUE;
}

/* GetModuleFileNameA: the program's own path as a Windows path (see
 * WindowsPathOf).  Only the program (hModule NULL) is supported; a module
 * handle gives ERROR_NOT_SUPPORTED.  A short buffer gets the path cut to
 * nSize - 1 characters and its NUL, returns nSize and sets
 * ERROR_INSUFFICIENT_BUFFER, as Windows Vista and later do. */
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    if (hModule) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const std::string path = WindowsPathOf(std::string(buf, static_cast<size_t>(n)));
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= nSize) {
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

/* MulDiv: nNumber * nNumerator / nDenominator with a 64-bit product,
 * rounded half away from zero; -1 for a zero divisor or a result whose
 * magnitude does not fit in 31 bits. */
int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator)
{
    if (nDenominator == 0)
        return -1;
    const int64_t product = static_cast<int64_t>(nNumber) * nNumerator;
    const bool negative = (product < 0) != (nDenominator < 0);
    const uint64_t num = static_cast<uint64_t>(product < 0 ? -product : product);
    const uint64_t den = static_cast<uint64_t>(
        nDenominator < 0 ? -static_cast<int64_t>(nDenominator) : nDenominator);
    const uint64_t magnitude = (2 * num + den) / (2 * den); // half rounds up
    if (magnitude > 0x7FFFFFFFull)
        return -1;
    return negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
}
