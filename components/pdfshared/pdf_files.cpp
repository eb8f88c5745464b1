/*
 * Whole files through the Windows API (see pdf_files.h).
 */
#include "pdf_files.h"

#include <algorithm>

namespace pdfshared {

std::string ErrorText(const std::string &what, const std::string &path)
{
    return what + " " + path + " (error " + std::to_string(GetLastError()) + ")";
}

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::string &path, std::string *bytes, std::string *error)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = ErrorText("cannot open", path);
        return false;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= kMaxPdfBytes;
    if (!ok)
        *error = "file too large or unreadable: " + path;
    if (ok) {
        bytes->resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, bytes->data(), size, &got, nullptr) && got == size);
        if (!ok)
            *error = ErrorText("cannot read", path);
    }
    CloseHandle(file);
    return ok;
}

bool ReplaceFile(const std::string &path, const std::string &bytes, std::string *error)
{
    const std::string temp = path + ".tmp";
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = ErrorText("cannot create", temp);
        return false;
    }
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
        DWORD wrote = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
        done += wrote;
    }
    if (!ok)
        *error = ErrorText("cannot write", temp);
    ok = CloseHandle(file) && ok;
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        *error = ErrorText("cannot replace", path);
        ok = false;
    }
    if (!ok)
        DeleteFileA(temp.c_str());
    return ok;
}

} // namespace pdfshared
