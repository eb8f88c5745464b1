/*
 * Tickets for the print lock: see request_order.h.
 */
#include <chrono>

#include "request_order.h"

unsigned RequestOrder::Take()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_uNext++;
}

bool RequestOrder::WaitTurn(unsigned uTicket, DWORD dwTimeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (dwTimeoutMs == INFINITE) {
        m_turnMoved.wait(guard, [&] { return m_uTurn == uTicket; });
        return true;
    }
    /* The time-out is measured on the system's tick count, which runs on
     * the same clock as every other wait of the process; the condition is
     * looked at again every few milliseconds. */
    const DWORD dwStart = GetTickCount();
    while (m_uTurn != uTicket) {
        if (GetTickCount() - dwStart >= dwTimeoutMs)
            return false;
        m_turnMoved.wait_for(guard, std::chrono::milliseconds(5));
    }
    return true;
}

void RequestOrder::Pass(unsigned uTicket)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_passed.insert(uTicket);
        while (!m_passed.empty() && *m_passed.begin() == m_uTurn) {
            m_passed.erase(m_passed.begin());
            m_uTurn++;
        }
    }
    m_turnMoved.notify_all();
}
