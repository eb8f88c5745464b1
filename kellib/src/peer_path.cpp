/*
 * Paths a peer names (see kellib/peer_path.h): the syntax a path must have,
 * the program folders it must stay out of, and the walk that refuses a
 * symbolic link anywhere on the way.  Only the Windows API is used, so the
 * same rules hold on a Windows build.
 */
#include <kellib/peer_path.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxComponent = 255;

/* A full path taken apart: the drive letter and the plain components. */
struct PlainPath {
    char cDrive = 'c';
    std::vector<std::string> parts;
};

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

/* CON, PRN, AUX, NUL, COM0-9, LPT0-9 (and the superscript digits Windows
 * also takes), CONIN$, CONOUT$, CLOCK$: Windows opens the device whatever
 * the folder or extension ("c:\x\nul.txt" is the null device). */
bool IsDeviceName(const std::string &name)
{
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char &c : base)
        c = Lower(c);
    static const char *const kDevices[] = {"con",    "prn",     "aux",   "nul",
                                           "conin$", "conout$", "clock$"};
    for (const char *szDevice : kDevices)
        if (base == szDevice)
            return true;
    if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0))
        return false;
    const unsigned char digit = (unsigned char)base[3];
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

/* 0 when `name` is a plain component, else the error that refuses it. */
DWORD CheckComponent(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return ERROR_INVALID_NAME;
    if (name.size() > kMaxComponent)
        return ERROR_FILENAME_EXCED_RANGE;
    for (unsigned char c : name)
        if (c < 0x20 || strchr("<>:\"|?*\\/", c))
            return ERROR_INVALID_NAME;
    if (name.back() == '.' || name.back() == ' ' || IsDeviceName(name))
        return ERROR_INVALID_NAME;
    return 0;
}

/* Takes a full path apart; 0 or the error that refuses it. */
DWORD ParsePath(const char *szPath, PlainPath *pOut)
{
    if (!szPath || !*szPath)
        return ERROR_INVALID_NAME;
    const size_t n = strnlen(szPath, MAX_PATH);
    if (n >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    size_t pos;
    if (IsSeparator(szPath[0]) && IsSeparator(szPath[1])) {
        return ERROR_BAD_PATHNAME; /* a share, "\\?\" or "\\.\" */
    } else if (n >= 2 && szPath[1] == ':') {
        const char cDrive = Lower(szPath[0]);
        if (cDrive < 'a' || cDrive > 'z' || !IsSeparator(szPath[2]))
            return ERROR_INVALID_NAME; /* "c:x" is relative to a current folder */
        pOut->cDrive = cDrive;
        pos = 3;
    } else if (IsSeparator(szPath[0])) {
        pOut->cDrive = 'c';
        pos = 1;
    } else {
        return ERROR_INVALID_NAME; /* relative: depends on the current folder */
    }
    pOut->parts.clear();
    while (pos < n) {
        size_t end = pos;
        while (end < n && !IsSeparator(szPath[end]))
            end++;
        if (end > pos) {
            std::string part(szPath + pos, end - pos);
            if (DWORD dwError = CheckComponent(part))
                return dwError;
            pOut->parts.push_back(std::move(part));
        }
        pos = end + 1;
    }
    return pOut->parts.empty() ? ERROR_INVALID_NAME : 0;
}

std::string Format(const PlainPath &path, size_t count)
{
    std::string out(1, path.cDrive);
    out += ":";
    for (size_t i = 0; i < count && i < path.parts.size(); i++)
        out += "\\" + path.parts[i];
    return out;
}

/* Whether `name` may be Windows' 8.3 alias of `longName` ("ALLOWE~1.TXT"
 * for "AllowedServers.txt"): such an alias opens the long name. */
bool MayBeShortAlias(const std::string &name, const std::string &longName)
{
    const size_t tilde = name.find('~');
    if (tilde == std::string::npos || tilde == 0 || tilde > 6)
        return false;
    const size_t dot = name.find('.');
    const size_t longDot = longName.rfind('.');
    const std::string stem = longName.substr(0, longDot);
    if (tilde > stem.size() || !SameName(name.substr(0, tilde), stem.substr(0, tilde)))
        return false;
    if (dot == std::string::npos)
        return longDot == std::string::npos;
    return longDot != std::string::npos &&
           SameName(name.substr(dot + 1), longName.substr(longDot + 1, name.size() - dot - 1));
}

bool ComponentMatches(const std::string &name, const std::string &protectedName)
{
    return SameName(name, protectedName) || MayBeShortAlias(name, protectedName);
}

/* Whether `path` is `folder` or lies inside it. */
bool IsInside(const PlainPath &path, const PlainPath &folder)
{
    if (path.cDrive != folder.cDrive || path.parts.size() < folder.parts.size())
        return false;
    for (size_t i = 0; i < folder.parts.size(); i++)
        if (!ComponentMatches(path.parts[i], folder.parts[i]))
            return false;
    return true;
}

bool SameFolder(const PlainPath &a, const PlainPath &b)
{
    return a.parts.size() == b.parts.size() && IsInside(a, b);
}

/* Spelled alike but for case: an alias does not name a program folder. */
bool SameFolderExactly(const PlainPath &a, const PlainPath &b)
{
    if (a.cDrive != b.cDrive || a.parts.size() != b.parts.size())
        return false;
    for (size_t i = 0; i < a.parts.size(); i++)
        if (!SameName(a.parts[i], b.parts[i]))
            return false;
    return true;
}

/* The program folders, as the Windows API and our constants name them;
 * with bWindowsFolder the Windows folder as a whole (fonts, the system
 * directory) counts as one. */
std::vector<PlainPath> ProgramFolders(bool bWindowsFolder)
{
    std::vector<std::string> names = {KEL_PROGRAM_FOLDER, KEL_PDF_ENGINE_FOLDER};
    char szDir[MAX_PATH];
    UINT n = GetSystemDirectoryA(szDir, sizeof(szDir));
    if (n > 0 && n < sizeof(szDir))
        names.push_back(szDir);
    n = bWindowsFolder ? GetWindowsDirectoryA(szDir, sizeof(szDir)) : 0;
    if (n > 0 && n < sizeof(szDir))
        names.push_back(szDir);
    std::vector<PlainPath> folders;
    for (const std::string &name : names) {
        PlainPath folder;
        if (ParsePath(name.c_str(), &folder) == 0)
            folders.push_back(std::move(folder));
    }
    return folders;
}

DWORD CheckNotProgramArea(const PlainPath &path)
{
    for (const PlainPath &folder : ProgramFolders(true))
        if (IsInside(path, folder))
            return ERROR_ACCESS_DENIED;
    PlainPath allowList;
    if (ParsePath(KEL_ALLOW_LIST_FILE, &allowList) == 0 && SameFolder(path, allowList))
        return ERROR_ACCESS_DENIED;
    return 0;
}

/* Every component that exists, from the drive's root folder down to the
 * last, must be a plain folder or file: a reparse point (symbolic link)
 * could lead out of the root or into a program folder. */
DWORD CheckNoLinks(const PlainPath &path)
{
    for (size_t i = 1; i <= path.parts.size(); i++) {
        const DWORD dwAttributes = GetFileAttributesA(Format(path, i).c_str());
        if (dwAttributes == INVALID_FILE_ATTRIBUTES)
            return 0; /* nothing further exists to lead anywhere */
        if (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return ERROR_CANT_RESOLVE_FILENAME;
    }
    return 0;
}

DWORD Deliver(const PlainPath &path, char *szFull, int iFullSize)
{
    const std::string full = Format(path, path.parts.size());
    if (full.size() >= MAX_PATH || (szFull && (iFullSize <= 0 || full.size() >= (size_t)iFullSize)))
        return ERROR_FILENAME_EXCED_RANGE;
    if (szFull)
        memcpy(szFull, full.c_str(), full.size() + 1);
    return 0;
}

int Finish(DWORD dwError, char *szFull, int iFullSize)
{
    if (dwError == 0)
        return 1;
    if (szFull && iFullSize > 0)
        szFull[0] = 0;
    SetLastError(dwError);
    return 0;
}

DWORD JoinInFolder(const char *szFolder, const char *szName, PlainPath *pOut)
{
    if (DWORD dwError = KELPeerFileName(szName) ? 0 : GetLastError())
        return dwError;
    if (DWORD dwError = ParsePath(szFolder, pOut))
        return dwError;
    pOut->parts.push_back(szName);
    return 0;
}

} // namespace

int KELPeerPath(const char *szPath, int iAccess, char *szFull, int iFullSize)
{
    PlainPath path;
    DWORD dwError = ParsePath(szPath, &path);
    if (!dwError && iAccess != KEL_PATH_READ)
        dwError = CheckNotProgramArea(path);
    if (!dwError)
        dwError = CheckNoLinks(path);
    if (!dwError)
        dwError = Deliver(path, szFull, iFullSize);
    return Finish(dwError, szFull, iFullSize);
}

int KELPeerFileName(const char *szName)
{
    if (!szName) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const size_t n = strnlen(szName, kMaxComponent + 1);
    if (DWORD dwError = CheckComponent(std::string(szName, n))) {
        SetLastError(dwError);
        return 0;
    }
    return 1;
}

int KELPeerFileInFolder(const char *szFolder, const char *szName, int iAccess, char *szFull,
                        int iFullSize)
{
    PlainPath path;
    DWORD dwError = JoinInFolder(szFolder, szName, &path);
    if (!dwError)
        dwError = Deliver(path, NULL, 0);
    if (dwError)
        return Finish(dwError, szFull, iFullSize);
    return KELPeerPath(Format(path, path.parts.size()).c_str(), iAccess, szFull, iFullSize);
}

int KELProgramFilePath(const char *szFolder, const char *szName, char *szFull, int iFullSize)
{
    PlainPath path;
    DWORD dwError = JoinInFolder(szFolder, szName, &path);
    if (!dwError) {
        PlainPath folder = path;
        folder.parts.pop_back();
        dwError = ERROR_ACCESS_DENIED;
        for (const PlainPath &allowed : ProgramFolders(false))
            if (SameFolderExactly(folder, allowed))
                dwError = 0;
    }
    if (!dwError)
        dwError = CheckNoLinks(path);
    if (!dwError)
        dwError = Deliver(path, szFull, iFullSize);
    return Finish(dwError, szFull, iFullSize);
}

const char *KELPeerPathReason(DWORD dwError)
{
    switch (dwError) {
    case ERROR_INVALID_NAME:
        return "not a plain full path or file name";
    case ERROR_BAD_PATHNAME:
        return "a network or device path";
    case ERROR_FILENAME_EXCED_RANGE:
        return "too long";
    case ERROR_ACCESS_DENIED:
        return "a program folder";
    case ERROR_CANT_RESOLVE_FILENAME:
        return "a symbolic link on the way";
    default:
        return "";
    }
}
