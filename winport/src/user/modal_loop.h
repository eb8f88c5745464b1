/*
 * The calling thread's messages while a real menu or dialog of the display
 * is open, as Windows' modal loops dispatch them: the owner's timers and
 * posted messages go on.  Private to winport.
 */
#ifndef WINPORT_USER_MODAL_LOOP_H
#define WINPORT_USER_MODAL_LOOP_H

#include <windows.h>

namespace winport {

struct ModalLoop {
    explicit ModalLoop(HWND ownerWindow) : owner(ownerWindow) {}
    HWND owner; // NULL: none to outlive
    bool quit = false;
    WPARAM exitCode = 0;
    /* After the loop: posts WM_QUIT again when it came meanwhile (the
     * thread's own loop must see it); true when it did. */
    bool End() const;
};

/* The display's "abandon" poll: dispatches the waiting messages and tells
 * whether to close (WM_QUIT came, or the owner window is gone). */
int PumpModal(void *loop);

} // namespace winport

#endif
