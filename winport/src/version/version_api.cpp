/*
 * GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA over the
 * version records our build embeds in every program and component (see
 * version_record.h).
 *
 * The buffer GetFileVersionInfoA fills is laid out as on Windows for a
 * 32-bit resource: the record itself, the signature "FE2X", then as many
 * bytes again, where VerQueryValueA puts the ANSI copy of a text value
 * (at the same offset as the UTF-16 original), so the pointer it returns
 * lives exactly as long as the caller's buffer.
 */
#include "kernel/errors.h"
#include "kernel/paths.h"
#include "version/version_record.h"

#include <windows.h>
#include <winver.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace winport {
namespace {

constexpr char kAnsiSignature[4] = {'F', 'E', '2', 'X'};

/* The record of the image at a Windows path; false with the last error set. */
bool ReadRecord(LPCSTR fileName, std::vector<uint8_t> *record)
{
    const MappedPath mapped = MapPath(fileName);
    if (!mapped.ok()) {
        SetLastError(mapped.error);
        return false;
    }
    const int fd = open(mapped.posix.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        SetLastError(err == ENOENT ? NotFoundError(mapped.posix) : Win32ErrorFromErrno(err));
        return false;
    }
    struct stat st;
    int found = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        auto readAt = [fd](uint64_t offset, size_t n, void *out) {
            return pread(fd, out, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
        };
        found = version::FindRecordInElf(readAt, static_cast<uint64_t>(st.st_size), record);
    }
    close(fd);
    if (found <= 0) {
        /* An image without a record, or a file that is no image at all. */
        SetLastError(found == 0 ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_BAD_EXE_FORMAT);
        return false;
    }
    return true;
}

/* The record's own length, from its first WORD. */
size_t RecordLength(const void *block)
{
    const auto *p = static_cast<const uint8_t *>(block);
    return static_cast<size_t>(p[0] | p[1] << 8);
}

/* UTF-16 text to the ANSI code page: Latin-1 maps to itself, anything
 * else becomes '?', as WideCharToMultiByte does with the default char. */
void ToAnsi(const uint8_t *units, size_t count, char *out)
{
    for (size_t i = 0; i < count; i++) {
        const unsigned unit = units[2 * i] | units[2 * i + 1] << 8;
        out[i] = unit < 0x100 ? static_cast<char>(unit) : '?';
    }
}

} // namespace
} // namespace winport

/* GetFileVersionInfoSizeA: the buffer size GetFileVersionInfoA needs for the
 * file's version record (twice the record and four bytes, as Windows gives
 * for a 32-bit resource); 0 with ERROR_RESOURCE_TYPE_NOT_FOUND for an image
 * without one and ERROR_BAD_EXE_FORMAT for a file that is no ELF image. */
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle)
        *lpdwHandle = 0;
    std::vector<uint8_t> record;
    if (!winport::ReadRecord(lptstrFilename, &record))
        return 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(record.size() * 2 + sizeof winport::kAnsiSignature);
}

/* GetFileVersionInfoA: copies the record into lpData; a buffer smaller than
 * GetFileVersionInfoSizeA said gets as much as fits (as Windows truncates),
 * and then VerQueryValueA answers no text values from it. */
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData)
{
    (void)dwHandle;
    if (!lpData || dwLen == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<uint8_t> record;
    if (!winport::ReadRecord(lptstrFilename, &record))
        return FALSE;
    auto *out = static_cast<uint8_t *>(lpData);
    const size_t needed = record.size() * 2 + sizeof winport::kAnsiSignature;
    memcpy(out, record.data(), std::min<size_t>(dwLen, record.size()));
    if (dwLen >= needed) {
        memcpy(out + record.size(), winport::kAnsiSignature, sizeof winport::kAnsiSignature);
        memset(out + record.size() + sizeof winport::kAnsiSignature, 0, record.size());
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

/* VerQueryValueA: "\" gives the VS_FIXEDFILEINFO, "\VarFileInfo\Translation"
 * the language and code page pairs, "\StringFileInfo\<lang><cp>\<name>" a
 * string in the ANSI code page with *puLen its characters and NUL.  A name
 * that exists without a value gives TRUE and *puLen 0.  Names are compared
 * without regard to case.  FALSE (ERROR_RESOURCE_TYPE_NOT_FOUND) for a
 * missing name or a malformed record. */
BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID *lplpBuffer, PUINT puLen)
{
    if (!pBlock || !lplpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto *block = static_cast<const uint8_t *>(pBlock);
    const size_t length = winport::RecordLength(pBlock);
    winport::version::Found found;
    if (!winport::version::FindValue(block, length, lpSubBlock ? lpSubBlock : "", &found)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    auto *value = const_cast<uint8_t *>(block) + found.valueOffset;
    UINT size = static_cast<UINT>(found.valueLength);
    if (found.text && found.valueLength > 0) {
        /* Only a buffer filled whole by GetFileVersionInfoA has the room. */
        if (memcmp(block + length, winport::kAnsiSignature, sizeof winport::kAnsiSignature) != 0) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        char *ansi = reinterpret_cast<char *>(value) + length + sizeof winport::kAnsiSignature;
        const size_t count = found.valueLength / 2;
        winport::ToAnsi(value, count, ansi);
        ansi[count - 1] = '\0'; // a value always ends in its NUL
        value = reinterpret_cast<uint8_t *>(ansi);
        size = static_cast<UINT>(count);
    }
    *lplpBuffer = value;
    if (puLen)
        *puLen = size;
    return TRUE;
}
