/*
 * The machine-wide namespace of named synchronisation objects: one mapped
 * file per name, flocks for lifetime (see named_objects.h).
 */
#include "sync/named_objects.h"

#include "kernel/errors.h"
#include "kernel/root.h"
#include "utils/posix_fs.h"

#include <wtsapi32.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace winport {
namespace {

constexpr uint32_t kMagic = 0x57504E4F; // "WPNO"
constexpr size_t kFileSize = 4096;
constexpr size_t kMaxName = MAX_PATH;

struct NamedFile {
    uint32_t magic;
    uint32_t nameLength;
    char name[kMaxName + 4];
    alignas(64) SyncState state;
};
static_assert(sizeof(NamedFile) <= kFileSize, "a named object fits one page");

struct NameKey {
    DWORD error = 0;
    bool local = false; // in the caller's session's namespace
    std::string name;   // without the namespace prefix
    std::string file;   // its file name in the objects folder
};

/* "Global\x" and "x" are the machine's object x, "Local\x" the caller's
 * session's (the machine's too for the services, in session 0).  Unlike
 * Windows a bare name is global in every session: the system's programs in
 * a desktop session share bare names with the service and the print
 * clients it starts.  Any other backslash names a namespace that does not
 * exist. */
NameKey ParseName(const char *raw)
{
    NameKey key;
    std::string name(raw);
    for (const char *prefix : {"Global\\", "Local\\"}) {
        if (name.rfind(prefix, 0) == 0) {
            key.local = prefix[0] == 'L';
            name.erase(0, std::strlen(prefix));
            break;
        }
    }
    if (name.size() > kMaxName) {
        key.error = ERROR_FILENAME_EXCED_RANGE;
        return key;
    }
    if (name.find('\\') != std::string::npos) {
        key.error = ERROR_PATH_NOT_FOUND;
        return key;
    }
    // Readable file names: letters, digits and "_-" as they are, every other
    // byte as %XX.  Names too long for a file name end in a hash.
    std::string file = "o_";
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '_' || c == '-') {
            file += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            file += hex;
        }
    }
    if (file.size() > 200) {
        uint64_t hash = 1469598103934665603ull; // FNV-1a
        for (unsigned char c : name)
            hash = (hash ^ c) * 1099511628211ull;
        char tail[24];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        file = file.substr(0, 150) + tail;
    }
    key.name = name;
    key.file = file;
    return key;
}

std::string ObjectsFolder()
{
    return Root() + "/winport/objects";
}

/* The folder of session `session`'s own objects, made on first use by a
 * process of the session and kept to its user: <root>/winport/sessions
 * (sticky and open to the root's users, as /tmp is, so that a desktop user
 * may make a folder there) holds one folder per session and user,
 * "<session>-<uid>", mode 0700.  The user is in the name because session
 * numbers come round again after a restart, for other users.  A folder
 * that someone else owns, or that others may enter, is refused
 * (ERROR_ACCESS_DENIED): the objects there would be theirs to tamper with. */
bool SessionFolder(DWORD session, std::string *folder, DWORD *error)
{
    const std::string parent = Root() + "/winport/sessions";
    struct stat st;
    if (lstat(parent.c_str(), &st) != 0) {
        if (util::MakeDirs(Root() + "/winport") != 0 ||
            (mkdir(parent.c_str(), 01777) == 0 && chmod(parent.c_str(), 01777) != 0) ||
            lstat(parent.c_str(), &st) != 0) {
            *error = Win32ErrorFromErrno(errno);
            return false;
        }
    }
    *folder = parent + "/" + std::to_string(session) + "-" + std::to_string(geteuid());
    if (mkdir(folder->c_str(), 0700) != 0 && errno != EEXIST) {
        *error = Win32ErrorFromErrno(errno);
        return false;
    }
    if (lstat(folder->c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 077) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    return true;
}

/* The folder of the namespace a name lives in. */
bool NamespaceFolder(const NameKey &key, std::string *folder, DWORD *error)
{
    static const DWORD session = [] {
        DWORD id = 0;
        return ProcessIdToSessionId(GetCurrentProcessId(), &id) ? id : 0;
    }();
    if (key.local && session != 0)
        return SessionFolder(session, folder, error);
    *folder = ObjectsFolder();
    return true;
}

/* The namespace's lock, held while a name is created, opened or dropped. */
class NamespaceLock {
public:
    explicit NamespaceLock(const std::string &folder)
    {
        if (util::MakeDirs(folder) != 0) {
            error_ = errno;
            return;
        }
        fd_ = open((folder + "/namespace.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                   0660);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        if (int err = util::LockBounded(fd_, LOCK_EX, util::kSharedLockWaitMs)) {
            close(fd_);
            fd_ = -1;
            error_ = err;
        }
    }
    ~NamespaceLock()
    {
        if (fd_ >= 0)
            close(fd_); // releases the flock
    }
    NamespaceLock(const NamespaceLock &) = delete;
    NamespaceLock &operator=(const NamespaceLock &) = delete;
    bool ok() const { return fd_ >= 0; }
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

class NamedStorage final : public SyncStorage {
public:
    NamedStorage(std::string folder, std::string path, int fd, NamedFile *file)
        : folder_(std::move(folder)), path_(std::move(path)), fd_(fd), file_(file)
    {
        state_ = &file_->state;
        shared_ = true;
    }
    ~NamedStorage() override
    {
        NamespaceLock ns(folder_);
        // Nobody else holds the object: it ends with this last handle.
        if (ns.ok() && flock(fd_, LOCK_EX | LOCK_NB) == 0)
            unlink(path_.c_str());
        munmap(file_, kFileSize);
        close(fd_);
    }

private:
    std::string folder_;
    std::string path_;
    int fd_;
    NamedFile *file_;
};

/* Maps the object `key` of `kind` (the namespace lock held).  A file that
 * no process holds is stale: re-initialised when creating, "not found"
 * when opening. */
std::shared_ptr<SyncStorage> Attach(const std::string &folder, const NameKey &key, ObjectType kind,
                                    const SyncInit *init, bool *created, DWORD *error)
{
    const std::string path = folder + "/" + key.file;
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (init ? O_CREAT : 0), 0660);
    if (fd < 0) {
        *error = errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno);
        return nullptr;
    }
    const bool inUse = flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (!inUse && !init) {
        unlink(path.c_str());
        close(fd);
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (!inUse && ftruncate(fd, kFileSize) != 0) {
        *error = Win32ErrorFromErrno(errno);
        close(fd);
        return nullptr;
    }
    void *map = mmap(nullptr, kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        *error = Win32ErrorFromErrno(errno);
        close(fd);
        return nullptr;
    }
    auto *file = static_cast<NamedFile *>(map);
    if (inUse) {
        const bool same = file->magic == kMagic && file->nameLength == key.name.size() &&
                          std::memcmp(file->name, key.name.data(), key.name.size()) == 0;
        if (!same || file->state.kind != static_cast<uint32_t>(kind)) {
            munmap(map, kFileSize);
            close(fd);
            *error = ERROR_INVALID_HANDLE; // the name belongs to another kind of object
            return nullptr;
        }
        *created = false;
    } else {
        std::memset(map, 0, kFileSize);
        InitSyncState(file->state, kind, true);
        file->nameLength = static_cast<uint32_t>(key.name.size());
        std::memcpy(file->name, key.name.data(), key.name.size());
        (*init)(file->state);
        file->magic = kMagic;
        *created = true;
    }
    util::LockBounded(fd, LOCK_SH, util::kSharedLockWaitMs); // our hold while the storage lives
    return std::make_shared<NamedStorage>(folder, path, fd, file);
}

/* The named objects this process holds open, by folder and name.  While a
 * handle is open the object exists, so a second open or create of the same
 * name can share the mapping without the namespace's file locks: the print
 * client opens its print lock by name for every request it serves.  An
 * entry expires with the last handle, and the next open takes the slow
 * path, which sees whether another process still holds the object. */
struct HeldObject {
    ObjectType kind;
    std::weak_ptr<SyncStorage> storage;
};

std::mutex &HeldLock()
{
    static auto *lock = new std::mutex;
    return *lock;
}

std::map<std::pair<std::string, std::string>, HeldObject> &Held()
{
    static auto *held = new std::map<std::pair<std::string, std::string>, HeldObject>;
    return *held;
}

std::shared_ptr<SyncStorage> FindHeld(const std::pair<std::string, std::string> &id,
                                      ObjectType kind)
{
    std::lock_guard<std::mutex> guard(HeldLock());
    auto it = Held().find(id);
    if (it == Held().end())
        return nullptr;
    std::shared_ptr<SyncStorage> storage = it->second.storage.lock();
    if (!storage) {
        Held().erase(it);
        return nullptr;
    }
    return it->second.kind == kind ? storage : nullptr; // another kind: the slow path says so
}

void RememberHeld(const std::pair<std::string, std::string> &id, ObjectType kind,
                  const std::shared_ptr<SyncStorage> &storage)
{
    std::lock_guard<std::mutex> guard(HeldLock());
    Held()[id] = HeldObject{kind, storage};
}

std::shared_ptr<SyncStorage> AttachNamed(const char *name, ObjectType kind, const SyncInit *init,
                                         bool *created)
{
    NameKey key = ParseName(name);
    if (key.error) {
        SetLastError(key.error);
        return nullptr;
    }
    std::string folder;
    DWORD error = 0;
    if (!NamespaceFolder(key, &folder, &error)) {
        SetLastError(error);
        return nullptr;
    }
    const std::pair<std::string, std::string> id(folder, key.name);
    if (auto held = FindHeld(id, kind)) {
        *created = false;
        return held;
    }
    NamespaceLock ns(folder);
    if (!ns.ok()) {
        SetLastErrorFromErrno(ns.error());
        return nullptr;
    }
    auto storage = Attach(folder, key, kind, init, created, &error);
    if (!storage)
        SetLastError(error);
    else
        RememberHeld(id, kind, storage);
    return storage;
}

} // namespace

HANDLE CreateSyncHandle(const char *name, ObjectType kind, const SyncInit &init,
                        SyncFactory factory, bool *created)
{
    std::shared_ptr<SyncStorage> storage;
    if (!name || !*name) {
        storage = NewHeapStorage(kind);
        init(storage->state());
        *created = true;
    } else {
        storage = AttachNamed(name, kind, &init, created);
        if (!storage)
            return nullptr;
    }
    HANDLE handle = HandleTable::Instance().Insert(factory(storage));
    SetLastError(*created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return handle;
}

HANDLE OpenSyncHandle(const char *name, ObjectType kind, SyncFactory factory)
{
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!*name) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    bool created = false;
    auto storage = AttachNamed(name, kind, nullptr, &created);
    if (!storage)
        return nullptr;
    return HandleTable::Instance().Insert(factory(storage));
}

} // namespace winport
