/*
 * The per-thread message queue (see thread_queue.h): PostQuitMessage and the
 * quit test hooks.
 */
#include "user/thread_queue.h"

#include <winport_test.h>

namespace winport {

ThreadQueue &ThreadQueue::Current()
{
    static thread_local ThreadQueue queue;
    return queue;
}

} // namespace winport

/* PostQuitMessage: marks WM_QUIT with the exit code as pending on the calling
 * thread's queue.  (Message loops arrive with the runtime; until then the
 * flag is only recorded.) */
void WINAPI PostQuitMessage(int nExitCode)
{
    winport::ThreadQueue::Current().PostQuit(nExitCode);
}

/* winport_test_quit_posted: whether PostQuitMessage was called on this
 * thread since the last reset, and its exit code. */
BOOL winport_test_quit_posted(int *exitCode)
{
    const winport::ThreadQueue &queue = winport::ThreadQueue::Current();
    if (queue.quitPosted() && exitCode)
        *exitCode = queue.quitCode();
    return queue.quitPosted() ? TRUE : FALSE;
}

/* winport_test_reset_quit: forgets a pending quit on this thread. */
void winport_test_reset_quit(void)
{
    winport::ThreadQueue::Current().ClearQuit();
}
