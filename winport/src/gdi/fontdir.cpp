/*
 * The fonts folder: C:\Windows\Fonts of the root, as a workstation has it.
 *
 * The build generates fonts no Debian package ships (the bar-code face) and
 * puts them in fonts/ beside libwinport.so.  The first time GDI needs fonts
 * on a root, they are copied into the root's C:\Windows\Fonts when missing
 * there or older, and every font file in that folder -- ours or one an
 * operator copied in -- is added to fontconfig as an application font, so
 * programs find it by family name like any installed family.
 *
 * Files are added one by one rather than as a directory: fontconfig would
 * write a cache file for every directory it is given, one per root, and
 * tests use a fresh root each.  When the root changes (tests only), the
 * application fonts are replaced by the new root's, so no family is drawn
 * from a file of a root that has gone; fonts added by AddFontResourceA are
 * added again.  Every fontconfig call of GDI runs under the GDI lock, so
 * clearing the set never pulls it from under a lookup.
 */
#include "utils/posix_fs.h"
#include "utils/program_name.h"
#include "gdi_font.h"
#include "kernel/paths.h"
#include "kernel/root.h"

#include <dirent.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace winport::gdi {

namespace {

/* More than any workstation has; stops a folder full of junk from making
 * every process scan it for long. */
constexpr std::size_t kMaxFontFiles = 2000;

struct FontDirState {
    std::string root;               /* the root whose fonts fontconfig has */
    std::vector<std::string> added; /* AddFontResourceA files, kept across roots */
    unsigned generation = 0;
};

FontDirState &state()
{
    static auto *s = new FontDirState;
    return *s;
}

bool isFontFile(const std::string &name)
{
    if (name.empty() || name[0] == '.')
        return false; /* hidden, or a copy still being written */
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot + 1);
    return strcasecmp(ext.c_str(), "ttf") == 0 || strcasecmp(ext.c_str(), "otf") == 0 ||
           strcasecmp(ext.c_str(), "ttc") == 0;
}

/* The regular font files of a folder, sorted, at most kMaxFontFiles. */
std::vector<std::string> fontFiles(const std::string &dir)
{
    std::vector<std::string> files;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return files;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (!isFontFile(name))
            continue;
        struct stat st;
        std::string path = dir + "/" + name;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        files.push_back(path);
        if (files.size() >= kMaxFontFiles)
            break;
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

/* Where the build put its fonts: fonts/ beside libwinport.so. */
std::string shippedFontsDir()
{
    return util::LibraryFolder() + "/fonts";
}

/* Copies src to dst through a temporary file renamed into place, so a
 * process scanning the folder never sees half a font, and gives the copy
 * the source's time so "older" compares like with like next time. */
bool copyFont(const std::string &src, const std::string &dir, const std::string &name,
              const struct stat &srcStat)
{
    std::string tmp = dir + "/." + name + "." + std::to_string(getpid()) + ".tmp";
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = util::CopyFdData(in, out) == 0;
    struct timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
    ok = ok && futimens(out, times) == 0;
    ok = close(out) == 0 && ok;
    close(in);
    if (ok && rename(tmp.c_str(), (dir + "/" + name).c_str()) == 0)
        return true;
    unlink(tmp.c_str());
    return false;
}

void installShippedFonts(const std::string &fontsDir)
{
    std::vector<std::string> shipped = fontFiles(shippedFontsDir());
    if (shipped.empty() || util::MakeDirs(fontsDir) != 0)
        return;
    for (const std::string &src : shipped) {
        std::string name = src.substr(src.rfind('/') + 1);
        struct stat s, d;
        if (stat(src.c_str(), &s) != 0)
            continue;
        bool current =
            stat((fontsDir + "/" + name).c_str(), &d) == 0 &&
            (d.st_mtim.tv_sec > s.st_mtim.tv_sec ||
             (d.st_mtim.tv_sec == s.st_mtim.tv_sec && d.st_mtim.tv_nsec >= s.st_mtim.tv_nsec));
        if (!current)
            copyFont(src, fontsDir, name, s); /* a failure leaves the family missing */
    }
}

void addFile(const std::string &path)
{
    FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8 *>(path.c_str()));
}

void useRoot(FontDirState &s, const std::string &root)
{
    /* Only a root switch has fonts to drop. */
    if (!s.root.empty())
        FcConfigAppFontClear(nullptr);
    MappedPath fonts = MapPath("C:\\Windows\\Fonts");
    if (fonts.ok()) {
        installShippedFonts(fonts.posix);
        for (const std::string &file : fontFiles(fonts.posix))
            addFile(file);
    }
    for (const std::string &file : s.added)
        addFile(file);
    s.root = root;
    s.generation++;
}

/* How many faces a font file holds; 0 when FreeType cannot read it. */
int countFaces(const std::string &path)
{
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0)
        return 0;
    FT_Face face = nullptr;
    int count = 0;
    if (FT_New_Face(lib, path.c_str(), -1, &face) == 0) {
        count = static_cast<int>(face->num_faces);
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return count;
}

} // namespace

unsigned fontGeneration()
{
    GdiGuard guard(gdiLock());
    FontDirState &s = state();
    std::string root = Root();
    if (root != s.root)
        useRoot(s, root);
    return s.generation;
}

} // namespace winport::gdi

using namespace winport::gdi;

/***********************************************************************
 *           AddFontResourceA
 * Makes the fonts of a font file available to this process (Windows: to
 * the session).  Returns how many fonts the file holds, or 0 when it is
 * missing or no font file; like Windows, it sets no last error.  TrueType,
 * OpenType and Type 1 (.pfb) files work; Windows bitmap fonts (.fon, .fnt)
 * and "a.pfm|a.pfb" pairs do not.
 */
int WINAPI AddFontResourceA(LPCSTR lpFileName)
{
    winport::MappedPath path = winport::MapPath(lpFileName);
    struct stat st;
    if (!path.ok() || stat(path.posix.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    GdiGuard guard(gdiLock());
    fontGeneration(); /* the root's own fonts first, so the clear does not drop this one */
    int count = countFaces(path.posix);
    if (count <= 0 ||
        !FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8 *>(path.posix.c_str())))
        return 0;
    FontDirState &s = state();
    if (std::find(s.added.begin(), s.added.end(), path.posix) == s.added.end())
        s.added.push_back(path.posix);
    s.generation++;
    return count;
}
