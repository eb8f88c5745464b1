/*
 * The dispatcher, the worker discipline, the end-of-job requests, the
 * socket-close rules and the debug log, driven without a server.
 */
#include <future>

#include "handoff.h"
#include "session_fixture.h"

namespace {

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

TEST_F(SessionTest, SettingsRunInArrivalOrderAndReachTheSession)
{
    Dispatch(SET_PRINTER_BOLD, Int32(1));
    Dispatch(PRINTER_FORM_LENGTH, Int32(66));
    Dispatch(SET_PRINT_SIZE_8);
    Dispatch(SET_PRINT_SIZE_23);
    Dispatch(PRINT_FONT_COLOR, Int32(0x1ff) + Int32(2) + Int32(3));
    Dispatch(PRINT_BAR_CODE, Int32(4) + Int32(20));
    Dispatch(SET_FORMFEED_OPTION, Int32(0));
    WaitForWorkers();
    EXPECT_TRUE(session_->m_bBold);
    EXPECT_EQ(session_->m_iFormLength, 66);
    EXPECT_EQ(session_->m_iPrintMode, 8);
    EXPECT_EQ(session_->m_iLinesPerInch, 8);
    EXPECT_EQ(session_->m_crTextColor, RGB(0xff, 2, 3));
    EXPECT_EQ(session_->m_iBarCodeMode, 4);
    EXPECT_EQ(session_->m_iBarCodeHeight, 20);
    EXPECT_TRUE(session_->m_bPageOpen);
    EXPECT_EQ(session_->m_iStoredPrintModeType, SET_PRINT_SIZE_23);
    const std::string log = Log();
    size_t bold = log.find("ThreadSetPrinterBold type<29>");
    size_t form = log.find("ThreadPrinterFormLength type<28>");
    size_t mode = log.find("ThreadSetPrintMode type<8>");
    size_t feed = log.find("ThreadSetFormfeedOption type<33>");
    ASSERT_NE(feed, std::string::npos);
    EXPECT_LT(bold, form);
    EXPECT_LT(form, mode);
    EXPECT_LT(mode, feed);
}

TEST_F(SessionTest, EveryTableTypeReachesItsHandlerAndOthersAreIgnored)
{
    const int ignored[] = {27, 39, 43, 52, 88, 116, 0, -5};
    for (int type : ignored)
        Dispatch(type, Int32(1));
    DispatchRaw(std::string("\x05\x00\x00", 3)); /* shorter than a type */
    DispatchRaw(std::string());
    WaitForWorkers();
    EXPECT_EQ(Count(Log(), " type<"), 0u);

    /* Worker types: each takes its turn under the print lock and logs it. */
    /* PRINT_WORD_DOCUMENT (4) adds its 3000 ms pause after the wait. */
    const int workers[] = {3,   4,   5,   8,   9,   10,  11,  12,  13, 14,  15,  16,  17,
                           18,  19,  21,  22,  23,  24,  25,  26,  28, 29,  30,  31,  32,
                           33,  34,  35,  36,  37,  38,  44,  45,  46, 47,  48,  49,  50,
                           51,  90,  91,  94,  95,  96,  97,  98,  99, 100, 101, 103, 104,
                           106, 107, 108, 109, 110, 111, 112, 114, 115};
    for (int type : workers)
        Dispatch(type, Int32(1) + Int32(2) + Int32(3));
    WaitForWorkers();
    std::string log = Log();
    for (int type : workers)
        EXPECT_EQ(Count(log, " type<" + std::to_string(type) + ">"), 1u) << type;
    EXPECT_EQ(Count(log, "dwWait=WAIT_TIMEOUT"), 0u);
    EXPECT_EQ(Count(log, "Print Novarc Document"), 2u);
    EXPECT_NE(log.find("PRINT_STREAM WaitForSingleObject(60000)"), std::string::npos);
    EXPECT_NE(log.find("PRINT_STREAM AFTER WaitForSingleObject() dwWait:0"), std::string::npos);

    /* Main-thread types log on the main thread and start no worker. */
    const char *mainTexts[] = {"Print Document Error", "Is Image File Here", "QUERY_FILE_SIZE",
                               "STORE_CACHE_FILE"};
    const int mainTypes[] = {6, 20, 92, 93};
    for (int type : mainTypes)
        Dispatch(type, Int32(1));
    EXPECT_EQ(session_->m_iWorkerCount.load(), 0);
    log = Log();
    for (const char *text : mainTexts)
        EXPECT_NE(log.find(text), std::string::npos) << text;
}

TEST_F(SessionTest, WorkerHeldOffByThePrintLockTimesTheDispatcherOutButStillRunsItsOwnRequest)
{
    session_->m_iWaitInterval = 200;
    HANDLE lock = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, session_->m_szPrintMutexName);
    ASSERT_NE(lock, (HANDLE)NULL);
    ASSERT_EQ(WaitForSingleObject(lock, 0), (DWORD)WAIT_OBJECT_0);
    Dispatch(PRINTER_FORM_LENGTH, Int32(77));
    EXPECT_NE(Log().find("PRINTER_FORM_LENGTH dwWait=WAIT_TIMEOUT"), std::string::npos);
    EXPECT_EQ(session_->m_Msg.iLen, 0); /* released although the worker has not run */
    ReleaseMutex(lock);
    CloseHandle(lock);
    /* The late worker's release satisfies this wait at once, so the next
     * worker may not have started when the dispatcher returns. */
    Dispatch(SET_PRINTER_BOLD, Int32(1));
    WaitForWorkers(); /* counted from before the worker's thread starts */
    EXPECT_EQ(session_->m_iFormLength, 77);
    EXPECT_TRUE(session_->m_bBold);
}

/* The ordering test's handlers: one kept past the wait interval, and
 * quick ones that note when they ran (under the print lock). */
std::vector<int> g_ran;

int KeptPastTheWaitInterval(NovarcprintProcess *, MsgBuf *, int)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return 1;
}

int NoteTurn(NovarcprintProcess *, MsgBuf *, int iType)
{
    g_ran.push_back(iType);
    return 1;
}

TEST_F(SessionTest, WorkersStartedWhileOneOutlastsTheWaitStillRunInArrivalOrder)
{
    /* The first handler keeps the print lock long past the wait interval,
     * so every dispatcher wait after it times out and the later workers
     * all wait at once; they must still run one after another in order. */
    g_ran.clear();
    session_->m_iWaitInterval = 20;
    const WorkerWait wait = {true, "ORDER", "ORDER", false};
    ASSERT_TRUE(
        StartWorker(session_.get(), {"KeptWorker", KeptPastTheWaitInterval, 0, NULL}, NULL, wait));
    std::vector<int> expected;
    for (int i = 1; i <= 16; i++) {
        ASSERT_TRUE(StartWorker(session_.get(), {"NoteWorker", NoteTurn, i, NULL}, NULL, wait));
        expected.push_back(i);
    }
    WaitForWorkers();
    EXPECT_EQ(g_ran, expected);
    EXPECT_NE(Log().find("ORDER dwWait=WAIT_TIMEOUT"), std::string::npos);
}

TEST_F(SessionTest, WorkerThatCannotFindThePrintLockDropsItsRequest)
{
    session_->m_iWaitInterval = 2000;
    strcpy(session_->m_szPrintMutexName, "NO_SUCH_PRINT_MUTEX");
    Dispatch(PRINTER_FORM_LENGTH, Int32(55));
    WaitForWorkers();
    EXPECT_EQ(session_->m_iFormLength, 0); /* never run without the lock */
    const std::string log = Log();
    EXPECT_NE(log.find("ThreadPrinterFormLength OpenMutex() FAILED"), std::string::npos);
    EXPECT_NE(log.find("ThreadPrinterFormLength type<28> dropped"), std::string::npos);
    EXPECT_EQ(log.find("dwWait=WAIT_TIMEOUT"), std::string::npos); /* the dispatcher went on */
}

TEST_F(SessionTest, CheckWaitResultCountsOnlyTimeoutAndFailureAsFailures)
{
    EXPECT_EQ(session_->CheckWaitResult(WAIT_OBJECT_0, "X"), 1);
    EXPECT_EQ(session_->CheckWaitResult(WAIT_ABANDONED, "X"), 1);
    EXPECT_EQ(session_->CheckWaitResult(WAIT_TIMEOUT, "NAME1"), 0);
    SetLastError(6);
    EXPECT_EQ(session_->CheckWaitResult(WAIT_FAILED, "NAME2"), 0);
    const std::string log = Log();
    EXPECT_NE(log.find("NAME1 dwWait=WAIT_TIMEOUT"), std::string::npos);
    EXPECT_NE(log.find("NAME2 dwWait=WAIT_FAILED ERROR:6"), std::string::npos);
}

TEST_F(SessionTest, MalformedSettingsFailTheirRequestOnly)
{
    Dispatch(PRINTER_FORM_LENGTH, "\x01\x02");
    Dispatch(PRINT_FONT_COLOR, Int32(1) + Int32(2));
    Dispatch(PRINT_BAR_CODE, Int32(3));
    Dispatch(SET_PRINTER_BOLD, Int32(5));
    WaitForWorkers();
    EXPECT_EQ(session_->m_iFormLength, 0);
    EXPECT_EQ(session_->m_crTextColor, (COLORREF)0);
    EXPECT_EQ(session_->m_iBarCodeMode, 0);
    EXPECT_TRUE(session_->m_bBold);
    const std::string log = Log();
    EXPECT_NE(log.find("PRINTER_FORM_LENGTH payload too short"), std::string::npos);
    EXPECT_NE(log.find("PRINT_FONT_COLOR payload too short"), std::string::npos);
}

TEST_F(SessionTest, ClosePrinterWithoutPrinterEndsAtOnceAndPicksTheDeathInterval)
{
    Dispatch(CLOSE_PRINTER);
    EXPECT_TRUE(PostedClose());
    EXPECT_TRUE(session_->CloseReceived());
    EXPECT_TRUE(session_->IsDone());
    EXPECT_EQ(session_->m_iDeathInterval, 300000);
    EXPECT_NE(Log().find("CLOSE_PRINTER m_szPrinterName<> PostMessage(m_hWnd, WM_CLOSE)"),
              std::string::npos);

    session_->SetConnectionClosed();
    Dispatch(CLOSE_PRINTER);
    EXPECT_EQ(session_->m_iDeathInterval, 30000);
}

TEST_F(SessionTest, CloseBehindAStuckWorkerEndsTheProcessWithinTheDeathInterval)
{
    /* A worker stuck in a driver: the print lock is held and never let go. */
    HANDLE lock = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, session_->m_szPrintMutexName);
    ASSERT_EQ(WaitForSingleObject(lock, 0), (DWORD)WAIT_OBJECT_0);
    session_->m_bOpenedPrinter = true;
    Dispatch(CLOSE_PRINTER);
    session_->m_iDeathInterval = 300; /* read by the close worker after the dispatch */
    EXPECT_TRUE(PostedClose());
    const std::string log = Log();
    EXPECT_NE(log.find("ThreadClosePrinter dwWait=WAIT_TIMEOUT"), std::string::npos);
    EXPECT_NE(log.find("ThreadClosePrinter gave up"), std::string::npos);
    EXPECT_EQ(log.find("CloseNovarcPrinter()"), std::string::npos); /* never under a stuck worker */
    ReleaseMutex(lock);
    CloseHandle(lock);
}

TEST_F(SessionTest, CloseWithStatusStoresBothValuesAndToleratesAShortPayload)
{
    Dispatch(CLOSE_PRINTER_WITH_STATUS, Int32(7) + Int32(-3));
    EXPECT_TRUE(session_->m_bCloseStatusFlag);
    EXPECT_EQ(session_->m_iCloseStatusValue, -3);
    EXPECT_TRUE(session_->CloseReceived());
    EXPECT_TRUE(session_->IsDone());
    EXPECT_TRUE(PostedClose()); /* the closing worker ends the process */

    Dispatch(CLOSE_PRINTER_WITH_STATUS, "\x01");
    EXPECT_TRUE(PostedClose());
    WaitForWorkers();
    EXPECT_FALSE(session_->m_bCloseStatusFlag);
    EXPECT_EQ(session_->m_iCloseStatusValue, 0);
}

TEST_F(SessionTest, AbortEndsTheJobAndTheProcess)
{
    Dispatch(ABORT_PRINT_JOB);
    EXPECT_TRUE(session_->IsDone());
    EXPECT_TRUE(PostedClose());
    EXPECT_NE(Log().find("ABORT_PRINT_JOB"), std::string::npos);
}

TEST_F(SessionTest, AbortResetsTheJobStateOnlyUnderThePrintLock)
{
    /* A worker is drawing with the heading: it holds the print lock. */
    strcpy(session_->m_szHeading, "HEAD");
    session_->m_iHeadingType = 2;
    HANDLE lock = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, session_->m_szPrintMutexName);
    ASSERT_EQ(WaitForSingleObject(lock, 0), (DWORD)WAIT_OBJECT_0);
    Dispatch(ABORT_PRINT_JOB);
    EXPECT_TRUE(session_->IsDone()); /* socket events are ignored at once */
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_STREQ(session_->m_szHeading, "HEAD"); /* not under the drawing worker */
    EXPECT_EQ(session_->m_iHeadingType, 2);
    ReleaseMutex(lock);
    CloseHandle(lock);
    WaitForWorkers();
    EXPECT_STREQ(session_->m_szHeading, "");
    EXPECT_EQ(session_->m_iHeadingType, 0);
    EXPECT_TRUE(session_->IsDone());
    EXPECT_TRUE(PostedClose());
}

TEST_F(SessionTest, SetDoneZeroClearsTheFlagButStillResetsTheJobState)
{
    session_->SetDone(1);
    strcpy(session_->m_szHeading, "HEAD");
    session_->m_iHeadingType = 2;
    session_->m_iCurrentImagePage = 5;
    session_->m_bPageOpen = true;
    session_->SetDone(0);
    EXPECT_FALSE(session_->IsDone());
    EXPECT_STREQ(session_->m_szHeading, "");
    EXPECT_EQ(session_->m_iHeadingType, 0);
    EXPECT_EQ(session_->m_iCurrentImagePage, 0);
    EXPECT_FALSE(session_->m_bPageOpen);
    EXPECT_NE(Log().find("SetDone() m_szHeading<HEAD>"), std::string::npos);
}

TEST_F(SessionTest, OpenPrinterWithAnEmptyNameStopsTheDebugLog)
{
    Dispatch(OPEN_PRINTER, std::string("Office Laser\0", 13));
    EXPECT_NE(Log().find("OPEN_PRINTER szPrinterName<Office Laser>"), std::string::npos);
    EXPECT_EQ(session_->m_OpenRecord.iLen, 13);
    Dispatch(OPEN_PRINTER, std::string("\0", 1));
    session_->Log("AFTER EMPTY OPEN");
    EXPECT_EQ(Log().find("AFTER EMPTY OPEN"), std::string::npos);
    EXPECT_FALSE(session_->m_bDebugLog);
}

TEST_F(SessionTest, LogLinesCarryTheThreadAndNamesNeverRepeat)
{
    session_->Log("%s", std::string(3000, 'x').c_str());
    const std::string log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.find(" Thread:" + std::to_string(GetCurrentThreadId()) + " "), std::string::npos);
    EXPECT_EQ(Count(log, "x"), 1000u);
    EXPECT_EQ(log.substr(log.size() - 3), " \r\n");
    char first[MAX_PATH], second[MAX_PATH];
    MakeLogFileName(42, first, sizeof(first));
    MakeLogFileName(42, second, sizeof(second));
    EXPECT_STRNE(first, second);
    EXPECT_EQ(std::string(first).rfind("novarcprint42", 0), 0u);
}

TEST(DebugLog, NothingIsWrittenWithoutTheMarkerFile)
{
    ScratchRoot root;
    std::filesystem::create_directories(root.driveC("novarc/bin"));
    NovarcprintProcess session(NULL, NULL, 1);
    session.Log("SHOULD NOT APPEAR");
    EXPECT_FALSE(session.m_bDebugLog);
    const std::string dir = root.driveC("novarc/bin/NovarcPrintDebug");
    ASSERT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST_F(SessionTest, LostConnectionEndsAtOnceOnlyWhileAConverterLockIsHeld)
{
    g_Novarcprint.pSession = session_.get();
    g_Novarcprint.sockConnection = (SOCKET)0x1234;
    OnSocketEvent(mainWnd_, (WPARAM)0x9999, FD_CLOSE); /* another socket */
    EXPECT_FALSE(session_->m_bConnectionClosed);

    session_->m_hSpecialLock[LOCK_NOVARCPDF] = CreateMutexA(NULL, FALSE, "NovarcPDF_MUTEX");
    OnSocketEvent(mainWnd_, (WPARAM)0x1234, FD_CLOSE);
    EXPECT_TRUE(session_->m_bConnectionClosed);
    EXPECT_TRUE(session_->IsDone());
    EXPECT_TRUE(PostedClose());
    EXPECT_NE(Log().find("FD_CLOSE before CLOSE_PRINTER. LOST SOCKET CONNECTION!"),
              std::string::npos);
    g_Novarcprint.sockConnection = INVALID_SOCKET;
}

TEST_F(SessionTest, APeerStoppingMidFrameCountsAsALostConnection)
{
    ASSERT_EQ(NovarcStartWinsock(), 1);
    SOCKET server = INVALID_SOCKET, client = INVALID_SOCKET;
    ASSERT_EQ(NovarcLoopbackPair(&server, &client), 1);
    u_long nonBlocking = 1; /* as the socket's event registration leaves it */
    ioctlsocket(client, FIONBIO, &nonBlocking);
    g_Novarcprint.pSession = session_.get();
    g_Novarcprint.sockConnection = client;
    g_Novarcprint.iReceiveIdlePolls = 20;
    /* A header announcing 100 bytes, then 10 of them, and the peer stops. */
    const std::string frame = std::string("\0\0", 2) + Int32(100) + std::string(10, 'x');
    send(server, frame.data(), (int)frame.size(), 0);
    auto receive =
        std::async(std::launch::async, [&] { OnSocketEvent(mainWnd_, (WPARAM)client, FD_READ); });
    const bool bEnded = receive.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    closesocket(server); /* lets a receive that never gives up end */
    receive.wait();
    EXPECT_TRUE(bEnded);
    EXPECT_TRUE(PostedClose());
    EXPECT_TRUE(session_->IsDone());
    g_Novarcprint.iReceiveIdlePolls = KEL_RECV_IDLE_POLLS;
    g_Novarcprint.sockConnection = INVALID_SOCKET;
    closesocket(client);
}

TEST_F(SessionTest, LostConnectionAfterCloseStartsNoDeathTimer)
{
    g_Novarcprint.pSession = session_.get();
    g_Novarcprint.sockConnection = (SOCKET)0x1234;
    session_->SetDone(0);
    session_->m_bCloseReceived = true;
    OnSocketEvent(mainWnd_, (WPARAM)0x1234, FD_CLOSE);
    EXPECT_EQ(Log().find("FD_CLOSE SET DEATH TIMER"), std::string::npos);
    session_->m_bCloseReceived = false;
    OnSocketEvent(mainWnd_, (WPARAM)0x1234, FD_CLOSE);
    EXPECT_NE(Log().find("FD_CLOSE SET DEATH TIMER 300000"), std::string::npos);
    EXPECT_TRUE(session_->m_bConnectionClosed);
    g_Novarcprint.sockConnection = INVALID_SOCKET;
}

} // namespace

namespace {

TEST_F(SessionTest, SocketEventsWithoutSessionErrorOrDuringAReceive)
{
    SetProcessLogTarget(session_->LogTarget());
    g_Novarcprint.pSession = NULL;
    OnSocketEvent(mainWnd_, (WPARAM)0x1234, FD_CLOSE);
    EXPECT_NE(Log().find("FD_CLOSE SET DEATH TIMER 60000"), std::string::npos);
    KillTimer(mainWnd_, DEATH_TIMER);

    /* A second FD_READ while a receive runs reads nothing (the socket is bogus). */
    g_Novarcprint.pSession = session_.get();
    g_Novarcprint.bReceiving = true;
    OnSocketEvent(mainWnd_, (WPARAM)0x1234, FD_READ);
    EXPECT_TRUE(g_Novarcprint.bReceiving);
    EXPECT_EQ(Log().find("!sockGetMessage"), std::string::npos);
    g_Novarcprint.bReceiving = false;

    OnSocketEvent(mainWnd_, (WPARAM)0x1234, WSAMAKESELECTREPLY(0, 10054));
    EXPECT_NE(Log().find("WSOCK_MESSAGE error<10054>"), std::string::npos);
    EXPECT_TRUE(session_->IsDone());
    EXPECT_TRUE(PostedClose());
    /* Once done, socket events are ignored. */
    g_Novarcprint.sockConnection = (SOCKET)0x1234;
    OnSocketEvent(mainWnd_, (WPARAM)0x1234, FD_CLOSE);
    EXPECT_FALSE(session_->m_bConnectionClosed);
    g_Novarcprint.sockConnection = INVALID_SOCKET;
    SetProcessLogTarget(DebugLogTarget{false, ""});
}

} // namespace
