/*
 * The machine-wide namespace of named mutexes, semaphores and events.
 * Private to winport.
 *
 * Every process that shares a root shares the namespace: one file per name
 * under <root>/winport/objects/, holding the name, the kind and the
 * SyncState, mapped by each process that has the object open.  Each such
 * process holds a shared flock on the file for as long as it has the object
 * open, so the kernel knows who still uses it even when a process dies
 * without closing anything: a file that nobody holds a lock on is a stale
 * object, re-initialised by the next create and invisible to opens, exactly
 * as Windows destroys an object with its last handle.  Creating, opening and
 * closing are serialised by an flock on the namespace's lock file.
 */
#ifndef WINPORT_SYNC_NAMED_OBJECTS_H
#define WINPORT_SYNC_NAMED_OBJECTS_H

#include "sync/objects.h"

#include <functional>

namespace winport {

/* Sets up a freshly created object's state (counts, initial owner). */
using SyncInit = std::function<void(SyncState &state)>;

/* CreateMutexA and friends: a handle to a new object or, for a name that
 * exists with the same kind, to the existing one.  Sets the last error to
 * 0 or ERROR_ALREADY_EXISTS on success; on failure returns NULL with the
 * error set (ERROR_INVALID_HANDLE for a name held by another kind).
 * `*created` tells whether `init` ran. */
HANDLE CreateSyncHandle(const char *name, ObjectType kind, const SyncInit &init,
                        SyncFactory factory, bool *created);

/* OpenMutexA and friends: NULL with ERROR_INVALID_PARAMETER for no name,
 * ERROR_FILE_NOT_FOUND for an unknown one, ERROR_INVALID_HANDLE for a name
 * held by another kind. */
HANDLE OpenSyncHandle(const char *name, ObjectType kind, SyncFactory factory);

} // namespace winport

#endif
