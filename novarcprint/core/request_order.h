/*
 * The order in which workers take the print lock.  Neither a mutex here nor
 * one on Windows wakes its waiters first come, first served, so once one
 * worker has kept the dispatcher waiting past the wait interval, the
 * workers started meanwhile would race for the lock and a later request
 * could overtake an earlier one.  Every worker therefore draws a ticket
 * when it is started (main thread) and waits for its turn before it waits
 * for the print lock; it passes the turn on once it holds the lock, so at
 * most one worker waits for the lock at any time.  Safe from any thread.
 */
#ifndef NOVARCPRINT_REQUEST_ORDER_H
#define NOVARCPRINT_REQUEST_ORDER_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <set>

class RequestOrder {
public:
    /* The next ticket, in the order requests arrive. */
    unsigned Take();
    /* Waits until it is the ticket's turn: true, or false when dwTimeoutMs
     * (INFINITE: never) passed first. */
    bool WaitTurn(unsigned uTicket, DWORD dwTimeoutMs);
    /* The ticket is done with: its holder holds the print lock, gave up, or
     * never ran.  The turn moves on past every ticket done with. */
    void Pass(unsigned uTicket);

private:
    std::mutex m_lock;
    std::condition_variable m_turnMoved;
    unsigned m_uNext = 0;
    unsigned m_uTurn = 0;
    std::set<unsigned> m_passed;
};

#endif /* NOVARCPRINT_REQUEST_ORDER_H */
