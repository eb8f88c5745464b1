/*
 * Ports: where a finished document goes.  A job is spooled to a file under
 * <root>/winport/spool first and handed over whole when it ends, so a
 * destination never holds half a document:
 *
 *   FOLDER:<windows folder>  one file per job, "<job id>-<document>.pdf"
 *                            (.prn for raw jobs, .tif for image printers)
 *   FILE:<windows file>      that file, replaced by each job
 *   RAW:<windows file>       the job's bytes appended to that file
 *   CUPS:<queue>             submitted to the CUPS queue
 *   MONITOR:<dll>            handed to the port monitor DLL (winport_gdi_ext.h)
 *   NUL:                     thrown away
 *
 * A job that names its own output file (lpszOutput, pOutputFile) goes
 * there instead, replacing it.
 */
#include "utils/posix_fs.h"
#include "spool/spool_private.h"

#include "kernel/paths.h"

#include <winport_gdi_ext.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winport::spool {

namespace {

constexpr const char *kFallbackFolder = "C:\\novarc\\printed";

/* A document name made safe as a file name: letters, digits, space and
 * ".-_()" kept, anything else '_', at most 80 characters, never empty. */
std::string sanitise(const std::string &name)
{
    std::string out;
    for (unsigned char c : name) {
        if (out.size() >= 80)
            break;
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == ' ' || c == '.' || c == '-' || c == '_' || c == '(' || c == ')';
        out += keep ? char(c) : '_';
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out.pop_back();
    while (!out.empty() && (out.front() == '.' || out.front() == ' '))
        out.erase(out.begin());
    return out.empty() ? std::string("Document") : out;
}

DWORD errnoError(int e)
{
    switch (e) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_WRITE_FAULT;
    }
}

/* Copies src onto dst (appending or replacing), through dst.part when
 * replacing so that dst is never half written. */
DWORD copyFile(const std::string &src, const std::string &dst, bool append)
{
    std::string target = append ? dst : dst + ".part";
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errnoError(errno);
    int out =
        open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
    if (out < 0) {
        int e = errno;
        close(in);
        return errnoError(e);
    }
    if (append) /* two jobs appending at once must not interleave */
        util::LockBounded(out, LOCK_EX, util::kSharedLockWaitMs); // then append all the same
    char buf[65536];
    DWORD err = 0;
    for (ssize_t n; (n = read(in, buf, sizeof buf)) != 0;) {
        if (n < 0 || write(out, buf, std::size_t(n)) != n) {
            err = errnoError(errno);
            break;
        }
    }
    if (fsync(out) != 0 && !err)
        err = errnoError(errno);
    close(in);
    if (close(out) != 0 && !err)
        err = errnoError(errno);
    if (!append && !err && std::rename(target.c_str(), dst.c_str()) != 0)
        err = errnoError(errno);
    if (!append && err)
        std::remove(target.c_str());
    return err;
}

/* Moves the spool file to dst: a rename when both are on one file system,
 * else a copy. */
DWORD moveFile(const std::string &src, const std::string &dst)
{
    if (std::rename(src.c_str(), dst.c_str()) == 0)
        return 0;
    if (errno != EXDEV)
        return errnoError(errno);
    DWORD err = copyFile(src, dst, false);
    if (!err)
        std::remove(src.c_str());
    return err;
}

DWORD makeFolders(const std::string &posix)
{
    for (std::size_t i = 1; i <= posix.size(); i++)
        if (i == posix.size() || posix[i] == '/')
            if (mkdir(posix.substr(0, i).c_str(), 0755) != 0 && errno != EEXIST)
                return errnoError(errno);
    return 0;
}

const char *extension(DocKind kind)
{
    return kind == DocKind::Raw ? ".prn" : kind == DocKind::Tiff ? ".tif" : ".pdf";
}

DWORD toFolder(const std::string &folder, const Job &job, const std::string &spool, DocKind kind)
{
    DWORD err = 0;
    std::string dir = PosixPath(folder, &err);
    if (dir.empty())
        return err;
    if ((err = makeFolders(dir)))
        return err;
    /* Job ids restart when the spool folder is wiped; an older file of the
     * same name is kept and the new one gets a number. */
    std::string base = dir + "/" + std::to_string(job.id) + "-" + sanitise(job.document);
    std::string path = base + extension(kind);
    struct stat st;
    for (int n = 2; lstat(path.c_str(), &st) == 0 && n < 1000; n++)
        path = base + " (" + std::to_string(n) + ")" + extension(kind);
    return moveFile(spool, path);
}

/* Hands the spool file to the port monitor DLL `dll`. */
DWORD toMonitor(const std::string &dll, const Printer &printer, const Job &job,
                const std::string &spool, DocKind kind, int pages)
{
    HMODULE module = LoadLibraryA(dll.c_str());
    if (!module)
        return ERROR_MOD_NOT_FOUND;
    auto deliver = reinterpret_cast<WINPORT_PORT_DELIVER>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(module, WINPORT_PORT_DELIVER_EXPORT)));
    DWORD err = ERROR_PROC_NOT_FOUND;
    if (deliver) {
        WINPORT_PORT_DOCUMENT doc = {
            sizeof doc,
            printer.name.c_str(),
            job.document.c_str(),
            spool.c_str(),
            DWORD(kind == DocKind::Raw ? WINPORT_DOC_RAW : WINPORT_DOC_PDF),
            DWORD(job.id),
            DWORD(pages)};
        err = deliver(&doc);
    }
    FreeLibrary(module);
    return err;
}

} // namespace

std::string PosixPath(const std::string &windowsPath, DWORD *error)
{
    MappedPath mapped = MapPath(windowsPath.c_str());
    if (!mapped.ok()) {
        *error = mapped.error;
        return {};
    }
    return mapped.posix;
}

DWORD DeliverDocument(const Printer &printer, const Job &job, const std::string &spool,
                      DocKind kind, const std::vector<gdi::PageInfo> &pages, int copies)
{
    DWORD err = 0;
    if (!job.output.empty()) {
        std::string dst = PosixPath(job.output, &err);
        return dst.empty() ? err : moveFile(spool, dst);
    }
    const std::string &port = printer.port;
    std::size_t colon = port.find(':');
    std::string kindName = colon == std::string::npos ? port : port.substr(0, colon);
    std::string where = colon == std::string::npos ? std::string() : port.substr(colon + 1);
    if (!strcasecmp(kindName.c_str(), "FOLDER"))
        return toFolder(where.empty() ? kFallbackFolder : where, job, spool, kind);
    if (!strcasecmp(kindName.c_str(), "FILE")) {
        if (where.empty()) /* Windows would ask for a file name; there is nobody to ask */
            return toFolder(kFallbackFolder, job, spool, kind);
        std::string dst = PosixPath(where, &err);
        return dst.empty() ? err : moveFile(spool, dst);
    }
    if (!strcasecmp(kindName.c_str(), "RAW")) {
        std::string dst = PosixPath(where, &err);
        if (dst.empty())
            return err;
        err = copyFile(spool, dst, true);
        std::remove(spool.c_str());
        return err;
    }
    if (!strcasecmp(kindName.c_str(), "MONITOR")) {
        err = toMonitor(where, printer, job, spool, kind, int(pages.size()));
        std::remove(spool.c_str());
        return err;
    }
    if (!strcasecmp(kindName.c_str(), "CUPS")) {
        err = CupsSubmit(printer, job, spool, kind, pages, copies);
        std::remove(spool.c_str());
        return err;
    }
    std::remove(spool.c_str());
    if (!strcasecmp(kindName.c_str(), "NUL"))
        return 0;
    return ERROR_NOT_SUPPORTED; /* LPT1:, COM1: and other devices we do not have */
}

} // namespace winport::spool
