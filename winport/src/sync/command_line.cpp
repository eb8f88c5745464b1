/*
 * Command-line splitting and program search for CreateProcessA (see
 * command_line.h).
 */
#include "sync/command_line.h"

#include "kernel/paths.h"
#include "utils/posix_fs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace winport {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

/* One argument after the program name; advances `p`. */
std::string NextArgument(const char *&p)
{
    std::string arg;
    bool quoted = false;
    for (;;) {
        size_t slashes = 0;
        while (*p == '\\') {
            ++slashes;
            ++p;
        }
        if (*p == '"') {
            arg.append(slashes / 2, '\\');
            if (slashes % 2) {
                arg += '"';
                ++p;
            } else if (quoted && p[1] == '"') {
                arg += '"';
                p += 2;
            } else {
                quoted = !quoted;
                ++p;
            }
            continue;
        }
        arg.append(slashes, '\\');
        if (!*p || (!quoted && IsBlank(*p)))
            return arg;
        arg += *p++;
    }
}

enum class FileKind { None, File, Folder };

FileKind KindOf(const std::string &posix)
{
    struct stat st;
    if (stat(posix.c_str(), &st) != 0)
        return FileKind::None;
    return S_ISDIR(st.st_mode) ? FileKind::Folder : FileKind::File;
}

bool HasExtension(const std::string &name)
{
    const size_t slash = name.find_last_of("\\/:");
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string ProgramFolder()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return util::ParentOf(std::string(buf, static_cast<size_t>(n)));
}

/* `name` in POSIX folder `dir`, its case ignored as Windows does. */
std::string FindIn(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return {};
    std::optional<std::string> found = util::FindNoCase(dir, name);
    if (!found)
        return {};
    std::string path = dir + "/" + *found;
    return KindOf(path) == FileKind::File ? path : std::string();
}

std::string SearchPosixPath(const std::string &name)
{
    const char *env = std::getenv("PATH");
    std::string bare = name;
    if (bare.size() > 4 && strcasecmp(bare.c_str() + bare.size() - 4, ".exe") == 0)
        bare.resize(bare.size() - 4);
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string dir = end > start ? path.substr(start, end - start) : ".";
        for (const std::string &candidate : {name, bare}) {
            const std::string full = dir + "/" + candidate;
            if (KindOf(full) == FileKind::File && access(full.c_str(), X_OK) == 0)
                return full;
        }
        start = end + 1;
    }
    return {};
}

} // namespace

std::vector<std::string> SplitCommandLine(const char *commandLine)
{
    std::vector<std::string> argv;
    const char *p = commandLine;
    std::string program;
    if (*p == '"') {
        const char *end = std::strchr(p + 1, '"');
        program.assign(p + 1, end ? end : p + std::strlen(p));
        p = end ? end + 1 : p + std::strlen(p);
    } else {
        while (*p && !IsBlank(*p))
            program += *p++;
    }
    argv.push_back(program);
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (!*p)
            break;
        argv.push_back(NextArgument(p));
    }
    return argv;
}

ProgramPath ProgramFromApplicationName(const char *applicationName)
{
    ProgramPath result;
    MappedPath mapped = MapPath(applicationName);
    if (!mapped.ok()) {
        result.error = mapped.error;
        return result;
    }
    switch (KindOf(mapped.posix)) {
    case FileKind::None:
        result.error = NotFoundError(mapped.posix);
        break;
    case FileKind::Folder:
        result.error = ERROR_ACCESS_DENIED;
        break;
    case FileKind::File:
        result.posix = mapped.posix;
        break;
    }
    return result;
}

ProgramPath SearchProgram(const std::string &token)
{
    std::vector<std::string> names;
    if (!HasExtension(token))
        names.push_back(token + ".exe");
    names.push_back(token);
    if (token.find_first_of("\\/:") != std::string::npos) {
        ProgramPath first;
        for (const std::string &name : names) {
            ProgramPath found = ProgramFromApplicationName(name.c_str());
            if (!found.error)
                return found;
            if (!first.error)
                first = found;
        }
        return first;
    }
    const MappedPath system = MapPath("C:\\Windows\\system32");
    const MappedPath windows = MapPath("C:\\Windows");
    const std::string folders[] = {ProgramFolder(), ".", system.posix, windows.posix};
    for (const std::string &name : names) {
        for (const std::string &dir : folders) {
            std::string found = FindIn(dir, name);
            if (!found.empty())
                return {found, 0};
        }
    }
    for (const std::string &name : names) {
        std::string found = SearchPosixPath(name);
        if (!found.empty())
            return {found, 0};
    }
    return {{}, ERROR_FILE_NOT_FOUND};
}

} // namespace winport
