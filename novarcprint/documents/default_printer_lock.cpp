/*
 * The default-printer lock (see default_printer_lock.h).
 *
 * The mutex is created without an owner: a creator that owned it from the
 * start and then also waited on it would hold it twice and free it once,
 * keeping every other client away from the default printer until its
 * thread ended.
 */
#include "default_printer_lock.h"

#include <cstring>

DefaultPrinterLock::DefaultPrinterLock()
    : m_hMutex(CreateMutexA(NULL, FALSE, DEFAULT_PRINTER_LOCK_NAME)), m_bOwned(false),
      m_bChanged(false)
{
    m_szPrevious[0] = 0;
}

DefaultPrinterLock::~DefaultPrinterLock()
{
    Release();
    if (m_hMutex)
        CloseHandle(m_hMutex);
}

bool DefaultPrinterLock::Take(const char *szPrinter, DWORD dwTimeout)
{
    if (!m_hMutex || m_bOwned)
        return false;
    const DWORD dwWait = WaitForSingleObject(m_hMutex, dwTimeout);
    if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED)
        return false;
    m_bOwned = true;
    DWORD cch = sizeof(m_szPrevious);
    if (!GetDefaultPrinterA(m_szPrevious, &cch))
        m_szPrevious[0] = 0;
    if (m_szPrevious[0] && strcmp(m_szPrevious, szPrinter) == 0)
        return true; /* already the default: nothing to put back */
    if (!SetDefaultPrinterA(szPrinter)) {
        Release();
        return false;
    }
    m_bChanged = true;
    return true;
}

void DefaultPrinterLock::Release()
{
    if (!m_bOwned)
        return;
    if (m_bChanged && m_szPrevious[0])
        SetDefaultPrinterA(m_szPrevious);
    m_bChanged = false;
    m_bOwned = false;
    ReleaseMutex(m_hMutex);
}
