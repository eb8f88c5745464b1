/*
 * Input idle: the state WaitForInputIdle waits for.  Private to winport.
 *
 * The first time any thread of a process finds its queue empty in
 * GetMessageA (about to wait) or PeekMessageA, the process has finished
 * its start-up and is idle.  It says so once, machine-wide, with a file
 * <root>/winport/idle/<pid> holding its start time (so a later process
 * that gets the same pid is not taken for it).  WaitForInputIdle in
 * another process watches for that file.
 */
#ifndef WINPORT_USER_INPUT_IDLE_H
#define WINPORT_USER_INPUT_IDLE_H

namespace winport {

/* Called when a thread finds its queue empty; cheap after the first time. */
void NoteInputIdle();

} // namespace winport

#endif
