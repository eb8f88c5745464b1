/*
 * UTF-16 file names and whole-file reads and writes (see files.h).
 */
#include "files.h"

#include <windows.h>

namespace imaging {
namespace {

/* Code page 1252 bytes 0x80-0x9F; the five it leaves undefined stand for
 * the control characters of the same number, as Windows converts them. */
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool AnsiByte(char16_t c, char *out)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        *out = static_cast<char>(c);
        return true;
    }
    for (int i = 0; i < 32; i++)
        if (kHighControls[i] == c) {
            *out = static_cast<char>(0x80 + i);
            return true;
        }
    return false;
}

/* Closes a file handle at scope end. */
struct FileHandle {
    HANDLE h;
    ~FileHandle()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

} // namespace

bool AnsiName(const char16_t *name, std::string *out)
{
    out->clear();
    if (!name)
        return false;
    for (const char16_t *p = name; *p; p++) {
        char byte;
        if (out->size() >= MAX_PATH || !AnsiByte(*p, &byte))
            return false;
        out->push_back(byte);
    }
    return !out->empty();
}

INT ReadWholeFile(const char16_t *name, std::vector<unsigned char> *out)
{
    std::string path;
    if (!AnsiName(name, &path))
        return L_ERR_FILE_NOT_FOUND;
    FileHandle file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE)
        return L_ERR_FILE_NOT_FOUND;
    DWORD high = 0;
    const DWORD low = GetFileSize(file.h, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return L_ERR_FILE_READ;
    if (high != 0 || low > kMaxFileBytes)
        return L_ERR_TOO_LARGE;
    out->resize(low);
    DWORD done = 0;
    while (done < low) {
        DWORD got = 0;
        if (!ReadFile(file.h, out->data() + done, low - done, &got, nullptr) || got == 0)
            return L_ERR_FILE_READ;
        done += got;
    }
    return L_SUCCESS;
}

INT WriteWholeFile(const char16_t *name, const unsigned char *data, std::size_t size)
{
    std::string path;
    if (!AnsiName(name, &path) || size > kMaxFileBytes)
        return L_ERR_FILE_WRITE;
    bool written = false;
    {
        FileHandle file{CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.h == INVALID_HANDLE_VALUE)
            return L_ERR_FILE_WRITE;
        std::size_t done = 0;
        DWORD wrote = 1;
        while (done < size && wrote > 0) {
            if (!WriteFile(file.h, data + done, static_cast<DWORD>(size - done), &wrote, nullptr))
                wrote = 0;
            done += wrote;
        }
        written = done == size;
    }
    if (!written)
        DeleteFileA(path.c_str()); /* no half image under the name */
    return written ? L_SUCCESS : L_ERR_FILE_WRITE;
}

} // namespace imaging
