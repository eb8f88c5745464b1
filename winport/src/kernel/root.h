/*
 * The winport root: the POSIX folder under which every Windows drive lives
 * (<root>/drive_c, <root>/drive_d, ...) and where the platform layer keeps
 * its own state (<root>/winport/...).  Private to winport.
 *
 * The root is $WINPORT_ROOT, else /var/lib/novarc for root (the service),
 * else ~/.local/share/novarc.  It is prepared on first use: the folder
 * itself, C:\Windows\system32 and a placeholder file there for every DLL of
 * the module map that is part of Windows (components are installed).
 * winport_test_set_root switches it; all functions here may be called from
 * any thread.
 */
#ifndef WINPORT_KERNEL_ROOT_H
#define WINPORT_KERNEL_ROOT_H

#include <string>

namespace winport {

/* The current root (absolute POSIX path, no trailing slash). */
std::string Root();

/* Prepares `root` and makes it current.  Returns 0 or an errno value. */
int SwitchRoot(const std::string &root);

} // namespace winport

#endif
