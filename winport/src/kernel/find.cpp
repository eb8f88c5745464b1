/*
 * FindFirstFileA, FindNextFileA, FindClose: listing a folder's entries that
 * match a pattern with '*' and '?'.
 *
 * The folder part of the name is mapped like any path (its case ignored);
 * the last part is the pattern, matched without regard to case with the
 * wildcard rules Win32 programs rely on: '*' matches any run of characters
 * (before a '.', not past the name's last dot), '?' one character or
 * nothing at a dot or the end of the name, "*.*" is everything, and a dot
 * before a wildcard or at the end also matches a name without an extension
 * ("*." lists names with none).  Names are not matched
 * against 8.3 short names, which do not exist here.  The entries are read
 * when the search starts and returned in case-insensitive name order, "."
 * and ".." first in folders other than a drive's root, as Windows lists
 * them.
 */
#include "kernel/errors.h"
#include "kernel/handles.h"
#include "kernel/paths.h"
#include "kernel/root.h"
#include "utils/posix_fs.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace winport {
namespace {

class FindObject final : public KernelObject {
public:
    explicit FindObject(std::vector<WIN32_FIND_DATAA> entries)
        : KernelObject(ObjectType::FindFile), entries_(std::move(entries))
    {}
    /* The next entry, or false when all were returned.  Thread-safe. */
    bool Next(WIN32_FIND_DATAA &out)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (next_ >= entries_.size())
            return false;
        out = entries_[next_++];
        return true;
    }

private:
    std::mutex lock_;
    const std::vector<WIN32_FIND_DATAA> entries_;
    size_t next_ = 0; // guarded by lock_
};

char Fold(char c)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

/* A '.' followed by a wildcard, or last, also matches the end of a name. */
bool DotMatchesEnd(const char *p)
{
    return p[1] == '\0' || p[1] == '*' || p[1] == '?';
}

bool Match(const char *p, const char *n)
{
    for (; *p; ++p) {
        switch (*p) {
        case '*': {
            // Before a '.', a star stops at the name's last dot, so "*."
            // means "no extension" and "*.txt" never ends inside "x.txt.bak".
            const char *last = p[1] == '.' ? std::strrchr(n, '.') : nullptr;
            const char *limit = last ? last : n + std::strlen(n);
            for (;; ++n) {
                if (Match(p + 1, n))
                    return true;
                if (n >= limit)
                    return false;
            }
        }
        case '?':
            if (!*n || *n == '.') {
                while (p[1] == '?')
                    ++p; // a run of '?' also matches nothing before a dot or the end
                continue;
            }
            ++n;
            continue;
        case '.':
            if (*n == '.') {
                ++n;
                continue;
            }
            if (!*n && DotMatchesEnd(p))
                continue;
            return false;
        default:
            if (Fold(*p) != Fold(*n))
                return false;
            ++n;
        }
    }
    return !*n;
}

FILETIME ToFileTime(const timespec &ts)
{
    // 100 ns intervals since 1601-01-01
    const uint64_t t = static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
                       static_cast<uint64_t>(ts.tv_nsec) / 100 + 116444736000000000ull;
    return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

/* An entry as Windows describes it (attributes as GetFileAttributesA gives
 * them; there is no creation time, so the last write stands in).  A
 * symbolic link is described itself, as Windows lists a reparse point:
 * its tag in dwReserved0 and no size. */
bool Describe(const std::string &folder, const std::string &name, WIN32_FIND_DATAA &data)
{
    const std::string path = folder + "/" + name;
    struct stat st;
    if (name.size() >= MAX_PATH || lstat(path.c_str(), &st) != 0)
        return false;
    data = WIN32_FIND_DATAA{};
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        const bool toFolder = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        data.dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT |
                                (toFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
        data.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    } else if (S_ISDIR(st.st_mode)) {
        data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        data.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
        if (!(st.st_mode & S_IWUSR))
            data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
        data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
        data.nFileSizeLow = static_cast<DWORD>(st.st_size);
    }
    data.ftCreationTime = ToFileTime(st.st_mtim);
    data.ftLastWriteTime = ToFileTime(st.st_mtim);
    data.ftLastAccessTime = ToFileTime(st.st_atim);
    std::memcpy(data.cFileName, name.c_str(), name.size() + 1);
    return true;
}

/* Whether `folder` is a drive's root (<root>/drive_x), which lists no "."
 * and "..". */
bool IsDriveRoot(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::string parent = util::ParentOf(folder);
    const std::string base = folder.substr(folder.find_last_of('/') + 1);
    return parent == Root() && base.rfind("drive_", 0) == 0;
}

std::vector<WIN32_FIND_DATAA> ListMatches(const std::string &folder, const std::string &pattern)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *e = readdir(dir)) {
            const std::string name = e->d_name;
            if ((name == "." || name == "..") && IsDriveRoot(folder))
                continue;
            if (Match(pattern.c_str(), name.c_str()))
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        const int c = strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    std::vector<WIN32_FIND_DATAA> entries;
    for (const std::string &name : names) {
        WIN32_FIND_DATAA data;
        if (Describe(folder, name, data))
            entries.push_back(data);
    }
    return entries;
}

/* Splits "c:\dir\pat*" into the folder to map and the pattern. */
bool SplitSearch(const std::string &spec, std::string &folder, std::string &pattern)
{
    const size_t sep = spec.find_last_of("\\/");
    if (sep == std::string::npos) {
        // "x.txt" is in the current folder, "c:x.txt" in drive C's root
        const size_t colon = spec.find(':');
        if (colon == std::string::npos) {
            folder.assign(1, '.');
            pattern = spec;
        } else {
            folder.assign(spec, 0, colon + 1);
            folder.push_back('\\');
            pattern.assign(spec, colon + 1, std::string::npos);
        }
    } else {
        folder = spec.substr(0, sep + 1);
        pattern = spec.substr(sep + 1);
        // keep "c:\" and "\" whole; drop the separator after a folder name
        if (folder.size() > 1 && !(folder.size() == 3 && folder[1] == ':'))
            folder.pop_back();
    }
    // assign(1, c), not = "x": GCC 12 at -O3 reports a false -Wrestrict
    // for a short literal assigned to a string (its bug 105329).
    if (pattern == "*.*")
        pattern.assign(1, '*');
    return !pattern.empty();
}

} // namespace
} // namespace winport

/* FindFirstFileA: starts a search for the entries of a folder matching the
 * name's last part (see above) and returns the first.  No match gives
 * ERROR_FILE_NOT_FOUND, a missing folder ERROR_PATH_NOT_FOUND, a name
 * ending in a separator ERROR_FILE_NOT_FOUND, wildcards in the folder part
 * ERROR_INVALID_NAME; all return INVALID_HANDLE_VALUE. */
HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    using namespace winport;
    if (!lpFileName || !lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string folder, pattern;
    if (!SplitSearch(lpFileName, folder, pattern)) {
        SetLastError(*lpFileName ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    MappedPath mapped = MapPath(folder.c_str());
    if (!mapped.ok()) {
        SetLastError(mapped.error);
        return INVALID_HANDLE_VALUE;
    }
    if (!util::IsDirectory(mapped.posix)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<FindObject>(ListMatches(mapped.posix, pattern));
    if (!search->Next(*lpFindFileData)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return HandleTable::Instance().Insert(search);
}

/* FindNextFileA: the search's next entry; ERROR_NO_MORE_FILES at the end. */
BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    using namespace winport;
    auto search = GetObjectAs<FindObject>(hFindFile, ObjectType::FindFile);
    if (!search)
        return FALSE;
    if (!lpFindFileData) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (!search->Next(*lpFindFileData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

/* FindClose: ends a search; anything but a search handle gives
 * ERROR_INVALID_HANDLE. */
BOOL WINAPI FindClose(HANDLE hFindFile)
{
    using namespace winport;
    if (!GetObjectAs<FindObject>(hFindFile, ObjectType::FindFile))
        return FALSE;
    HandleTable::Instance().Remove(hFindFile);
    return TRUE;
}
