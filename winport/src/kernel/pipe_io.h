/*
 * Reading and writing anonymous pipes with Windows' semantics.  Private to
 * winport; ReadFile and WriteFile use it for pipe handles.
 *
 * ReadFile on a pipe returns what is there (it waits only while the pipe
 * is empty) and fails with ERROR_BROKEN_PIPE once every write end is
 * closed; WriteFile to a pipe nobody reads fails with ERROR_NO_DATA instead
 * of raising SIGPIPE.
 */
#ifndef WINPORT_KERNEL_PIPE_IO_H
#define WINPORT_KERNEL_PIPE_IO_H

#include <windef.h>

namespace winport {

bool IsPipe(int fd);
BOOL PipeRead(int fd, void *buffer, DWORD size, LPDWORD done);
BOOL PipeWrite(int fd, const void *buffer, DWORD size, LPDWORD done);

} // namespace winport

#endif
