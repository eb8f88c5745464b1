/*
 * The running program's name (see program_name.h).
 */
#include "utils/program_name.h"

#include "utils/posix_fs.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace winport::util {

const std::string &ProgramName()
{
    static const std::string name = [] {
        char buf[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return std::string("program");
        std::string path(buf, static_cast<size_t>(n));
        size_t slash = path.find_last_of('/');
        std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        return base.empty() ? std::string("program") : base;
    }();
    return name;
}

std::string LibraryFolder()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&LibraryFolder), &info) && info.dli_fname)
        return ParentOf(info.dli_fname);
    return ".";
}

} // namespace winport::util
