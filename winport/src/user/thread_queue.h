/*
 * The per-thread message queue state.  Private to winport.
 *
 * Today it only records PostQuitMessage; the message queue proper (posted
 * messages, timers, sent messages, the WM_QUIT flag GetMessageA checks last)
 * will live in this object, created on a thread's first use, so the quit
 * state is already where GetMessageA will look for it.
 */
#ifndef WINPORT_USER_THREAD_QUEUE_H
#define WINPORT_USER_THREAD_QUEUE_H

namespace winport {

class ThreadQueue {
public:
    /* The calling thread's queue, created on first use. */
    static ThreadQueue &Current();

    /* PostQuitMessage: a WM_QUIT with this exit code is pending.  Windows
     * keeps a flag, not a message: a later call replaces the code. */
    void PostQuit(int exitCode)
    {
        quitPosted_ = true;
        quitCode_ = exitCode;
    }
    bool quitPosted() const { return quitPosted_; }
    int quitCode() const { return quitCode_; }
    void ClearQuit()
    {
        quitPosted_ = false;
        quitCode_ = 0;
    }

private:
    bool quitPosted_ = false;
    int quitCode_ = 0;
};

} // namespace winport

#endif
