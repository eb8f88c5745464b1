/*
 * GetOpenFileNameA: with a display, the desktop's open-file dialog
 * (shell_display.h); headless, the file the dialog would offer first (the
 * caller's lpstrFile) is taken as if the user pressed Open at once, and
 * with none the dialog is cancelled.  Paths go out and come back as
 * Windows paths under the root; a file chosen outside the root has no
 * Windows name and is refused (FNERR_INVALIDFILENAME).
 */
#include "kernel/paths.h"
#include "kernel/root.h"
#include "user/common_dialog.h"
#include "user/modal_loop.h"
#include "user/shell_display.h"

#include <commdlg.h>
#include <windows.h>

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace winport {
namespace {

constexpr int kMaxFilters = 64;
constexpr size_t kMaxFilterText = 4096;
constexpr size_t kMaxPath = 4096; // a POSIX path from the dialog

struct Filter {
    std::string name, patterns;
};

/* "name\0patterns\0...\0\0", bounded: a list without its end is cut. */
std::vector<Filter> ParseFilters(const char *list)
{
    std::vector<Filter> filters;
    if (!list)
        return filters;
    const char *p = list;
    while (*p && filters.size() < kMaxFilters) {
        const size_t nameLength = strnlen(p, kMaxFilterText);
        const char *patterns = p + nameLength + 1;
        if (nameLength == kMaxFilterText)
            break;
        const size_t patternsLength = strnlen(patterns, kMaxFilterText);
        if (patternsLength == kMaxFilterText)
            break;
        filters.push_back({std::string(p, nameLength), std::string(patterns, patternsLength)});
        p = patterns + patternsLength + 1;
    }
    return filters;
}

/* The Windows name of a POSIX path under the root ("" for none). */
std::string WindowsName(const std::string &posix)
{
    const std::string drives = Root() + "/drive_";
    if (posix.compare(0, drives.size(), drives) != 0 || posix.size() < drives.size() + 1 ||
        !std::isalpha(static_cast<unsigned char>(posix[drives.size()])))
        return "";
    const std::string rest = posix.substr(drives.size() + 1);
    if (!rest.empty() && rest[0] != '/')
        return "";
    std::string name(
        1, static_cast<char>(std::toupper(static_cast<unsigned char>(posix[drives.size()]))));
    name += ":";
    for (char c : rest.empty() ? std::string("/") : rest)
        name += c == '/' ? '\\' : c;
    return name;
}

bool IsFile(const std::string &posix)
{
    struct stat st;
    return stat(posix.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

/* The caller's first offer: lpstrFile, within lpstrInitialDir when it is
 * not a full path. */
std::string InitialFile(const OPENFILENAMEA &ofn)
{
    const std::string file(ofn.lpstrFile, strnlen(ofn.lpstrFile, ofn.nMaxFile));
    if (file.empty())
        return "";
    const bool full = file[0] == '\\' || file[0] == '/' || (file.size() > 1 && file[1] == ':');
    std::string name = file;
    if (!full && ofn.lpstrInitialDir && *ofn.lpstrInitialDir)
        name = std::string(ofn.lpstrInitialDir) + "\\" + file;
    const MappedPath mapped = MapPath(name.c_str());
    return mapped.ok() ? mapped.posix : "";
}

/* Writes the answer into the caller's structure. */
BOOL Answer(OPENFILENAMEA *ofn, const std::string &windows)
{
    if (windows.size() + 1 > ofn->nMaxFile) {
        // The size needed goes in the buffer's first two bytes.
        if (ofn->nMaxFile >= 2) {
            const WORD needed =
                static_cast<WORD>(windows.size() + 1 > 0xFFFF ? 0xFFFF : windows.size() + 1);
            std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
        }
        SetCommonDialogError(FNERR_BUFFERTOOSMALL);
        return FALSE;
    }
    std::memcpy(ofn->lpstrFile, windows.c_str(), windows.size() + 1);
    const size_t slash = windows.rfind('\\');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = windows.rfind('.');
    ofn->nFileOffset = static_cast<WORD>(nameAt);
    ofn->nFileExtension =
        static_cast<WORD>(dot != std::string::npos && dot >= nameAt ? dot + 1 : windows.size());
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        const std::string title = windows.substr(nameAt);
        const size_t n = title.size() < ofn->nMaxFileTitle ? title.size() : ofn->nMaxFileTitle - 1;
        std::memcpy(ofn->lpstrFileTitle, title.data(), n);
        ofn->lpstrFileTitle[n] = 0;
    }
    return TRUE;
}

/* The dialog on the display: true with the chosen POSIX path. */
bool ChooseOnDisplay(const ShellDisplay &display, const OPENFILENAMEA &ofn,
                     const std::string &initial, std::string *chosen)
{
    std::string folder;
    if (ofn.lpstrInitialDir && *ofn.lpstrInitialDir) {
        const MappedPath mapped = MapPath(ofn.lpstrInitialDir);
        if (mapped.ok())
            folder = mapped.posix;
    }
    const std::vector<Filter> filters = ParseFilters(ofn.lpstrFilter);
    std::vector<ShellFilter> shown;
    for (const Filter &f : filters)
        shown.push_back({f.name.c_str(), f.patterns.c_str()});
    const int initialFilter = ofn.nFilterIndex > 0 ? static_cast<int>(ofn.nFilterIndex) - 1 : 0;
    std::vector<char> path(kMaxPath);
    ModalLoop loop(ofn.hwndOwner && IsWindow(ofn.hwndOwner) ? ofn.hwndOwner : nullptr);
    const int ok = display.openFile(ofn.lpstrTitle ? ofn.lpstrTitle : "Open", folder.c_str(),
                                    IsFile(initial) ? initial.c_str() : "", shown.data(),
                                    static_cast<int>(shown.size()), initialFilter, path.data(),
                                    path.size(), PumpModal, &loop);
    loop.End();
    if (!ok)
        return false;
    *chosen = path.data();
    return true;
}

} // namespace
} // namespace winport

/* GetOpenFileNameA: one file, as OFN_EXPLORER shows it; hooks, templates,
 * custom filters and several files at once are not offered (the flags are
 * accepted and have no effect), and the current folder is never changed.
 * A cancel returns FALSE with CommDlgExtendedError() 0.  A structure of
 * another size gives CDERR_STRUCTSIZE, no file buffer CDERR_INITIALIZATION,
 * a buffer too small for the answer FNERR_BUFFERTOOSMALL (the size needed
 * in its first two bytes). */
BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn)
{
    using namespace winport;
    SetCommonDialogError(0);
    if (!lpofn || (lpofn->lStructSize != sizeof(OPENFILENAMEA) &&
                   lpofn->lStructSize != OPENFILENAME_SIZE_VERSION_400A)) {
        SetCommonDialogError(CDERR_STRUCTSIZE);
        return FALSE;
    }
    if (!lpofn->lpstrFile || lpofn->nMaxFile == 0) {
        SetCommonDialogError(CDERR_INITIALIZATION);
        return FALSE;
    }
    const std::string initial = InitialFile(*lpofn);
    std::string chosen;
    if (const ShellDisplay *display = Display()) {
        if (!ChooseOnDisplay(*display, *lpofn, initial, &chosen))
            return FALSE;
    } else {
        chosen = initial;
    }
    const bool mustExist = (lpofn->Flags & OFN_FILEMUSTEXIST) != 0;
    if (chosen.empty() || (mustExist && !IsFile(chosen)))
        return FALSE; // nothing offered, or gone: as cancelled
    const std::string windows = WindowsName(chosen);
    if (windows.empty()) {
        SetCommonDialogError(FNERR_INVALIDFILENAME);
        return FALSE;
    }
    return Answer(lpofn, windows);
}
