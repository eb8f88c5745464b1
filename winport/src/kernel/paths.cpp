/*
 * Windows path mapping (see paths.h) and winport_map_path.
 */
#include "kernel/paths.h"

#include "kernel/root.h"
#include "utils/posix_fs.h"

#include <winport_test.h>

#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <vector>

namespace winport {
namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

/* Characters Windows forbids in names: <>:"|?* and control characters.  The
 * colon of a drive letter ("c:") is allowed. */
bool HasForbiddenCharacter(const char *path)
{
    for (size_t i = 0; path[i]; i++) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c < 0x20 || std::strchr("<>\"|?*", c))
            return true;
        if (c == ':' && !(i == 1 && std::isalpha(static_cast<unsigned char>(path[0]))))
            return true;
    }
    return false;
}

std::vector<std::string> SplitPosix(const std::string &path)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        if (next > pos)
            parts.emplace_back(path, pos, next - pos);
        pos = next + 1;
    }
    return parts;
}

std::string JoinPosix(const std::vector<std::string> &parts, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; i++)
        out += "/" + parts[i];
    return out.empty() ? "/" : out;
}

std::string CurrentFolder()
{
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string("/");
}

/* The number of leading components of `cwd` that form a drive's root folder
 * when the cwd lies inside a drive, else 0: ".." stops there. */
size_t DriveFloor(const std::vector<std::string> &cwd, const std::vector<std::string> &root)
{
    if (cwd.size() <= root.size())
        return 0;
    for (size_t i = 0; i < root.size(); i++)
        if (cwd[i] != root[i])
            return 0;
    const std::string &drive = cwd[root.size()];
    if (drive.size() == 7 && drive.compare(0, 6, "drive_") == 0)
        return root.size() + 1;
    return 0;
}

} // namespace

MappedPath MapPath(const char *windowsPath)
{
    MappedPath result;
    if (!windowsPath || !*windowsPath) {
        result.error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    std::string path = windowsPath;
    // "\\?\c:\..." is the long-path spelling of "c:\..."; other "\\" forms
    // (UNC shares, "\\.\" devices) have nothing behind them here.
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '?' &&
        IsSeparator(path[3]))
        path.erase(0, 4);
    else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        result.error = ERROR_BAD_PATHNAME;
        return result;
    }
    if (HasForbiddenCharacter(path.c_str())) {
        result.error = ERROR_INVALID_NAME;
        return result;
    }

    // The base: a drive's root folder, or the current folder.
    const std::vector<std::string> root = SplitPosix(Root());
    std::vector<std::string> parts;
    size_t floor;
    size_t rest = 0;
    if (path.size() >= 2 && path[1] == ':') {
        parts = root;
        parts.push_back(std::string("drive_") +
                        static_cast<char>(std::tolower(static_cast<unsigned char>(path[0]))));
        floor = parts.size();
        rest = 2;
    } else if (IsSeparator(path[0])) {
        parts = root;
        parts.push_back("drive_c");
        floor = parts.size();
    } else {
        parts = SplitPosix(CurrentFolder());
        floor = DriveFloor(parts, root);
    }
    size_t resolved = parts.size(); // the base exists as spelled

    // Windows drops trailing dots and spaces of the last component unless the
    // path ends with a separator or the component is "." or "..".
    std::string tail = path.substr(rest);
    const bool trailingSeparator = !tail.empty() && IsSeparator(tail.back());
    if (!trailingSeparator) {
        size_t start = tail.find_last_of("\\/");
        start = start == std::string::npos ? 0 : start + 1;
        std::string last = tail.substr(start);
        if (last != "." && last != "..") {
            size_t keep = last.find_last_not_of(". ");
            tail.erase(start + (keep == std::string::npos ? 0 : keep + 1));
        }
    }

    // Lexical pass: components, "." and "..".
    size_t pos = 0;
    while (pos < tail.size()) {
        size_t next = tail.find_first_of("\\/", pos);
        if (next == std::string::npos)
            next = tail.size();
        std::string comp = tail.substr(pos, next - pos);
        pos = next + 1;
        if (comp.empty() || comp == ".")
            continue;
        if (comp == "..") {
            if (parts.size() > floor)
                parts.pop_back();
            if (resolved > parts.size())
                resolved = parts.size();
            continue;
        }
        parts.push_back(std::move(comp));
    }

    // Case-insensitive pass over the components that still need a lookup.
    std::string posix = JoinPosix(parts, resolved);
    bool missing = false;
    for (size_t i = resolved; i < parts.size(); i++) {
        std::string name = parts[i];
        if (!missing) {
            if (auto found = util::FindNoCase(posix, name))
                name = *found;
            else
                missing = true;
        }
        posix += (posix == "/" ? "" : "/") + name;
    }
    if (parts.size() > floor)
        result.spelledName = parts.back();
    if (trailingSeparator && parts.size() > floor)
        posix += "/";
    result.posix = std::move(posix);
    return result;
}

DWORD NotFoundError(const std::string &posix)
{
    std::string path = posix;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return util::IsDirectory(util::ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

} // namespace winport

/* winport_map_path: the POSIX path of a Windows path; 0 with the last error
 * set when the path is invalid or does not fit (ERROR_INSUFFICIENT_BUFFER). */
DWORD winport_map_path(LPCSTR windowsPath, char *posixOut, DWORD outSize)
{
    winport::MappedPath mapped = winport::MapPath(windowsPath);
    if (!mapped.ok()) {
        SetLastError(mapped.error);
        return 0;
    }
    if (!posixOut || mapped.posix.size() + 1 > outSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(posixOut, mapped.posix.c_str(), mapped.posix.size() + 1);
    return static_cast<DWORD>(mapped.posix.size());
}
