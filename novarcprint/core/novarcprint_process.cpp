/*
 * Construction and end of the print session: defaults, kernel object names
 * and objects, the session window that carries the session's timers, the
 * end-of-job reset and the release of everything at WM_DESTROY.
 */
#include <cstdio>
#include <cstring>

#include "images.h"
#include "printer.h"
#include "novarcprint_process.h"
#include "stream.h"
#include "workers.h"

namespace {

const char kSessionClass[] = "NovarcPrint Class";
const char kDebugDir[] = "C:\\novarc\\bin\\NovarcPrintDebug\\";
const char kDebugMarker[] = "c:\\novarc\\bin\\PRINT_DEBUGGING_ON";

LRESULT CALLBACK SessionWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_CREATE) {
        const CREATESTRUCTA *pCreate = (const CREATESTRUCTA *)lParam;
        SetWindowLongA(hWnd, 0, (LONG)(LONG_PTR)pCreate->lpCreateParams);
        PostMessageA(hWnd, WM_USER, 0, 0);
        return 0;
    }
    if (uMsg == WM_USER)
        return 0;
    if (uMsg == WM_TIMER && wParam == CONVERTER_IDLE_TIMER) {
        NovarcprintProcess *pSession = (NovarcprintProcess *)GetWindowLongPtrA(hWnd, GWLP_USERDATA);
        if (pSession)
            pSession->OnSessionTimer(CONVERTER_IDLE_TIMER);
        else
            KillTimer(hWnd, CONVERTER_IDLE_TIMER);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

void CALLBACK SessionTimerProc(HWND hWnd, UINT, UINT_PTR idTimer, DWORD)
{
    NovarcprintProcess *pSession = (NovarcprintProcess *)GetWindowLongPtrA(hWnd, GWLP_USERDATA);
    if (pSession)
        pSession->OnSessionTimer(idTimer);
}

bool MarkerExists()
{
    return GetFileAttributesA(kDebugMarker) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

NovarcprintProcess::NovarcprintProcess(HINSTANCE hInstance, HWND hMainWnd, int iPrintkeeperMode)
    : m_sockReply((SOCKET)-1), m_hWnd(NULL), m_hMainWnd(hMainWnd), m_hInstance(hInstance),
      m_iProcessId((int)GetCurrentProcessId()), m_iPrintkeeperMode(iPrintkeeperMode),
      m_iPrintStatus(0), m_bDone(false), m_bOpenedPrinter(false), m_bDocumentOpen(false),
      m_bOpenReplySent(false), m_bCloseReceived(false), m_bConnectionClosed(false),
      m_bDebugLog(false), m_bFax(false), m_bConverter(false), m_bCloseStatusFlag(false),
      m_iCloseStatusValue(0), m_iFaxJob(0), m_iPrintMode(8), m_iLinesPerInch(6), m_iFormLength(0),
      m_bBold(false), m_iFormFeedOption(1), m_bPageOpen(false), m_iBarCodeMode(0),
      m_iBarCodeHeight(11), m_crTextColor(0), m_iHeadingType(0), m_iFootingType(0), m_szHeading(),
      m_szFooting(), m_iCurrentImagePage(0), m_iImageState(0), m_szDebugDir(), m_szLogFileName(),
      m_szLogPath(), m_szPrinterName(), m_iStoredPrintModeType(0), m_iCloseTimer(0),
      m_iOpenTimer(0), m_iWorkerCount(0), m_hPrintMutex(NULL), m_hMainMutex(NULL),
      m_hFreeSemaphore(NULL), m_hOfficeMutex(NULL), m_hSpecialLock(), m_szMainMutexName(),
      m_szPrintMutexName(), m_szFreeSemaphoreName(), m_szOfficeMutexName(), m_szSpecialLockName(),
      m_iWaitInterval(DEFAULT_WAIT_INTERVAL_MS), m_iDeathInterval(DEATH_INTERVAL_MS), m_Msg(),
      m_OpenRecord(), m_szCreateError()
{
    snprintf(m_szDebugDir, sizeof(m_szDebugDir), "%s", kDebugDir);
    CreateDirectoryA(m_szDebugDir, NULL);
    m_bDebugLog = MarkerExists();
    MakeLogFileName(m_iProcessId, m_szLogFileName, sizeof(m_szLogFileName));
    snprintf(m_szLogPath, sizeof(m_szLogPath), "%s%s", m_szDebugDir, m_szLogFileName);
    BuildNames();
    CreateKernelObjects();
    CreateSessionWindow();
}

NovarcprintProcess::~NovarcprintProcess()
{
    CloseKernelObjects();
    FreeMsgBuf(&m_Msg);
    FreeMsgBuf(&m_OpenRecord);
    FreeMsgBuf(&m_NamedFile.data);
    ReleaseTransfers(this);
}

void NovarcprintProcess::BuildNames()
{
    snprintf(m_szMainMutexName, KERNEL_NAME_SIZE, "MAIN_MUTEX%d", m_iProcessId);
    snprintf(m_szPrintMutexName, KERNEL_NAME_SIZE, "PRINT_MUTEX%d", m_iProcessId);
    snprintf(m_szFreeSemaphoreName, KERNEL_NAME_SIZE, "FREE_SEMAPHORE%d", m_iProcessId);
    snprintf(m_szOfficeMutexName, KERNEL_NAME_SIZE, "%s", "NOVARC_OPEN_OFFICE_MUTEX");
    for (int i = 0; i < LOCK_COUNT; i++) {
        const SpecialPrinter &sp = SpecialPrinterOf((SpecialLock)i);
        if (sp.szLockName)
            snprintf(m_szSpecialLockName[i], KERNEL_NAME_SIZE, "%s", sp.szLockName);
        else
            snprintf(m_szSpecialLockName[i], KERNEL_NAME_SIZE, "%s_MUTEX", sp.szName);
    }
}

void NovarcprintProcess::CreateKernelObjects()
{
    m_hMainMutex = CreateMutexA(NULL, FALSE, m_szMainMutexName);
    m_hPrintMutex = CreateMutexA(NULL, FALSE, m_szPrintMutexName);
    m_hFreeSemaphore = CreateSemaphoreA(NULL, 0, 1, m_szFreeSemaphoreName);
    m_hOfficeMutex = CreateMutexA(NULL, FALSE, m_szOfficeMutexName);
}

void NovarcprintProcess::CreateSessionWindow()
{
    WNDCLASSEXA wc;
    memset(&wc, 0, sizeof(wc));
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SessionWndProc;
    wc.cbWndExtra = 4;
    wc.hInstance = m_hInstance;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = kSessionClass;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        snprintf(m_szCreateError, sizeof(m_szCreateError), "RegisterClassEx() FAILED ERROR:%d",
                 (int)GetLastError());
    m_hWnd = CreateWindowExA(0, kSessionClass, "", WS_CHILD, 0, 0, 0, 0, m_hMainWnd, NULL,
                             m_hInstance, (LPVOID)(LONG_PTR)m_iPrintkeeperMode);
    if (!m_hWnd)
        snprintf(m_szCreateError, sizeof(m_szCreateError), "CreateWindow() FAILED ERROR:%d",
                 (int)GetLastError());
    else
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, (LONG_PTR)this);
}

UINT_PTR NovarcprintProcess::SetSessionTimer(UINT_PTR idTimer, int iMs)
{
    if (!m_hWnd)
        return 0;
    if (idTimer == CONVERTER_IDLE_TIMER)
        return SetTimer(m_hWnd, idTimer, iMs, NULL);
    return SetTimer(m_hWnd, idTimer, iMs, SessionTimerProc);
}

void NovarcprintProcess::OnSessionTimer(UINT_PTR idTimer)
{
    switch (idTimer) {
    case DEATH_TIMER:
        KillTimer(m_hWnd, DEATH_TIMER);
        if (m_iPrintkeeperMode) {
            char szName[PRINTER_NAME_SIZE];
            CopyPrinterName(szName, sizeof(szName));
            Log("DeathTimerProc m_szPrinterName<%s> PostMessage(m_hWnd, WM_CLOSE)", szName);
            PostMessageA(m_hMainWnd, WM_CLOSE, 0, 0);
        }
        break;
    case CLOSE_TIMER:
        HandlePrinterCloseTimerProc(this);
        break;
    case OPEN_TIMER:
        HandlePrinterOpenTimerProc(this);
        break;
    case CONVERTER_IDLE_TIMER:
        ConverterIdleTimer();
        break;
    default:
        break;
    }
}

void NovarcprintProcess::SetPrinterName(const char *szName)
{
    std::lock_guard<std::mutex> guard(m_PrinterNameLock);
    snprintf(m_szPrinterName, sizeof(m_szPrinterName), "%s", szName);
}

void NovarcprintProcess::CopyPrinterName(char *szOut, int iSize)
{
    std::lock_guard<std::mutex> guard(m_PrinterNameLock);
    snprintf(szOut, (size_t)iSize, "%s", m_szPrinterName);
}

void NovarcprintProcess::ConverterIdleTimer()
{
    KillTimer(m_hWnd, CONVERTER_IDLE_TIMER);
    if (m_iWorkerCount.load() > 0) {
        /* Idle time only: a long convert-and-send is never cut off in the
         * middle of its return.  The worker restarts the timer as it ends. */
        SetSessionTimer(CONVERTER_IDLE_TIMER, CONVERTER_IDLE_MS);
        return;
    }
    /* The whole client ends, so the converter printer's lock goes with it;
     * closing only the session window would leave the process holding it. */
    Log("ConverterIdleTimer PostMessage(m_hMainWnd, WM_CLOSE)");
    PostMessageA(m_hMainWnd, WM_CLOSE, 0, 0);
}

void NovarcprintProcess::RestartConverterIdleTimer()
{
    if (m_bConverter && m_iPrintkeeperMode)
        SetSessionTimer(CONVERTER_IDLE_TIMER, CONVERTER_IDLE_MS);
}

bool NovarcprintProcess::HoldsConverterLock() const
{
    for (int i = 0; i < LOCK_COUNT; i++)
        if (m_hSpecialLock[i] && SpecialPrinterOf((SpecialLock)i).bConverter)
            return true;
    return false;
}

void NovarcprintProcess::MarkDone(const char *szWorker)
{
    m_bDone = true;
    Log("SetDone() deferred to %s", szWorker);
}

void NovarcprintProcess::SetDone(int iFlag)
{
    m_bDone = (iFlag != 0);
    Log("SetDone() m_szHeading<%s> m_szFooting<%s> m_iCurrentImagePage<%d>", m_szHeading,
        m_szFooting, m_iCurrentImagePage);
    m_iHeadingType = 0;
    m_iFootingType = 0;
    m_szHeading[0] = 0;
    m_szFooting[0] = 0;
    m_iCurrentImagePage = 0;
    m_iImageState = 0;
    m_Stream.m_iLineCount = 0;
    Log("SetDone() ResetPrintingFlags()");
    ResetPrintingFlag();
}

void NovarcprintProcess::ResetPrintingFlag()
{
    /* A finished job leaves no half-open page or pen position behind. */
    ::ResetPrintingFlag(this);
}

void NovarcprintProcess::DeleteConverterTempFiles()
{
    /* A conversion left unfinished: its current part is of no use. */
    DeleteConverterPartFiles(this);
}

void NovarcprintProcess::CleanupRecentScansFiles()
{
    ::CleanupRecentScansFiles(this);
}

void NovarcprintProcess::HandleWMDestroy()
{
    Log("HandleWMDestroy()");
    ReleaseLocks();
    if (m_bConverter)
        DeleteConverterTempFiles();
    CloseKernelObjects();
}

void NovarcprintProcess::ReleaseLocks()
{
    if (m_bFax && m_hSpecialLock[LOCK_FAX]) {
        Log("ReleaseMutex(%s)", SpecialPrinterOf(LOCK_FAX).szHandle);
        ReleaseMutex(m_hSpecialLock[LOCK_FAX]);
    }
    if (m_bConverter)
        DeleteConverterTempFiles();
    /* Releasing a lock this thread does not own fails harmlessly. */
    ReleaseMutex(m_hPrintMutex);
    ReleaseMutex(m_hMainMutex);
    ReleaseMutex(m_hOfficeMutex);
    if (m_hSpecialLock[LOCK_FAX])
        ReleaseMutex(m_hSpecialLock[LOCK_FAX]);
    for (int i = LOCK_COMPIMAGE; i < LOCK_COUNT; i++) {
        if (!m_hSpecialLock[i])
            continue;
        Log("ReleaseMutex(%s)", SpecialPrinterOf((SpecialLock)i).szHandle);
        ReleaseMutex(m_hSpecialLock[i]);
    }
}

void NovarcprintProcess::CloseKernelObjects()
{
    HANDLE *handles[] = {&m_hPrintMutex, &m_hMainMutex, &m_hFreeSemaphore, &m_hOfficeMutex};
    for (HANDLE *pHandle : handles) {
        if (*pHandle)
            CloseHandle(*pHandle);
        *pHandle = NULL;
    }
    for (HANDLE &hLock : m_hSpecialLock) {
        if (hLock)
            CloseHandle(hLock);
        hLock = NULL;
    }
}
