/*
 * Conformance tests: window classes, creation and destruction sequences
 * (with children), window data (extra bytes, user data, the window
 * procedure), text, class names, lookups and bad handles.
 */
#include "user_test_util.h"

#include <atomic>

namespace {

const HWND kBad = reinterpret_cast<HWND>(0x10010);

/* What the creation messages carried. */
struct CreateSeen {
    void *ncParam = nullptr;
    void *param = nullptr;
    std::string name;
    std::string cls;
};
CreateSeen g_create;
LRESULT g_createResult = 0;
BOOL g_ncCreateResult = TRUE;

LRESULT CALLBACK CreateProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    MessageLog::Instance().Add(Seen{hwnd, msg, wp, false});
    auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
    if (msg == WM_NCCREATE) {
        g_create.ncParam = cs->lpCreateParams;
        if (!g_ncCreateResult)
            return FALSE;
    }
    if (msg == WM_CREATE) {
        g_create.param = cs->lpCreateParams;
        g_create.name = cs->lpszName ? cs->lpszName : "";
        g_create.cls = cs->lpszClass ? cs->lpszClass : "";
        return g_createResult;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

/* WM_NCDESTROY handler that checks the window is still usable then. */
std::atomic<bool> g_validInNcDestroy{false};
LRESULT CALLBACK NcDestroyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCDESTROY)
        g_validInNcDestroy = IsWindow(hwnd) && GetWindowLongPtrA(hwnd, GWLP_USERDATA) == 99;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP)
        return 1234;
    return RecordingProc(hwnd, msg, wp, lp);
}

class Windows : public UserTest {
protected:
    void SetUp() override
    {
        UserTest::SetUp();
        g_create = CreateSeen{};
        g_createResult = 0;
        g_ncCreateResult = TRUE;
        ASSERT_NE(Register("RecClass"), 0);
    }
};

// ---- Classes ---------------------------------------------------------------

TEST_F(Windows, RegisteringAClassTwiceFailsWhateverTheCase)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Register("RECCLASS"), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_ALREADY_EXISTS);
}

TEST_F(Windows, RegisterClassExChecksItsArguments)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc - 1;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Sized";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    wc.cbSize = sizeof wc;
    wc.cbWndExtra = -4;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(Windows, ClassAtomsStandForTheirNames)
{
    ATOM atom = Register("AtomClass");
    ASSERT_GE(atom, 0xC000);
    HWND hwnd = CreateWindowExA(0, MAKEINTATOM(atom), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                nullptr);
    ASSERT_NE(hwnd, nullptr);
    char name[32];
    EXPECT_EQ(GetClassNameA(hwnd, name, sizeof name), 9);
    EXPECT_STREQ(name, "AtomClass");
    WNDCLASSEXA info = {};
    EXPECT_EQ(GetClassInfoExA(nullptr, "atomclass", &info), (BOOL)atom);
    EXPECT_EQ(info.lpfnWndProc, RecordingProc);
}

TEST_F(Windows, UnregisterClassFailures)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassA("NoSuchClass", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_DOES_NOT_EXIST);
    HWND hwnd = Create("RecClass");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassA("recclass", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_HAS_WINDOWS);
    DestroyWindow(hwnd);
    EXPECT_TRUE(UnregisterClassA("recclass", nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Create("RecClass"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANNOT_FIND_WND_CLASS);
}

// ---- Creation ----------------------------------------------------------------

TEST_F(Windows, CreationSendsNcCreateThenCreateWithTheParameter)
{
    ASSERT_NE(Register("CreateClass", CreateProc), 0);
    int marker = 0;
    HWND hwnd = Create("CreateClass", "Title", 0, nullptr, &marker);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(MatchesSequence(Only(MessageLog::Instance().Take(), {WM_NCCREATE, WM_CREATE}),
                                {{WM_NCCREATE}, {WM_CREATE}}));
    EXPECT_EQ(g_create.ncParam, &marker);
    EXPECT_EQ(g_create.param, &marker);
    EXPECT_EQ(g_create.name, "Title");
    EXPECT_EQ(g_create.cls, "CreateClass");
    char title[16];
    EXPECT_EQ(GetWindowTextA(hwnd, title, sizeof title), 5); // DefWindowProc(WM_NCCREATE) kept it
    EXPECT_STREQ(title, "Title");
}

TEST_F(Windows, CreateReturningMinusOneFailsTheCreation)
{
    ASSERT_NE(Register("FailClass", CreateProc), 0);
    g_createResult = -1;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Create("FailClass"), nullptr);
    std::vector<Seen> seen = MessageLog::Instance().Take();
    EXPECT_TRUE(MatchesSequence(Only(seen, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}),
                                {{WM_NCCREATE}, {WM_CREATE}, {WM_DESTROY}, {WM_NCDESTROY}}));
    ASSERT_FALSE(seen.empty());
    EXPECT_FALSE(IsWindow(seen.front().hwnd));
}

TEST_F(Windows, NcCreateReturningFalseFailsTheCreation)
{
    ASSERT_NE(Register("NcFailClass", CreateProc), 0);
    g_ncCreateResult = FALSE;
    EXPECT_EQ(Create("NcFailClass"), nullptr);
    EXPECT_TRUE(Only(MessageLog::Instance().Take(), {WM_CREATE}).empty());
}

TEST_F(Windows, CreationFailures)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Create("NoSuchClass"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANNOT_FIND_WND_CLASS);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Create("RecClass", "", WS_CHILD), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_TLW_WITH_WSCHILD);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Create("RecClass", "", WS_CHILD, kBad), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(Windows, HandlesAreNeverReused)
{
    HWND first = Create("RecClass");
    ASSERT_TRUE(DestroyWindow(first));
    HWND second = Create("RecClass");
    EXPECT_NE(first, second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
}

// ---- Destruction ---------------------------------------------------------------

TEST_F(Windows, DestroyGoesDownTheTreeThenNcDestroyComesBackUp)
{
    HWND parent = Create("RecClass");
    HWND child = Create("RecClass", "", WS_CHILD, parent);
    HWND grandchild = Create("RecClass", "", WS_CHILD, child);
    ASSERT_NE(grandchild, nullptr);
    MessageLog::Instance().Clear();
    ASSERT_TRUE(DestroyWindow(parent));
    std::vector<Seen> seen = Only(MessageLog::Instance().Take(), {WM_DESTROY, WM_NCDESTROY});
    ASSERT_TRUE(MatchesSequence(seen, {{WM_DESTROY},
                                       {WM_DESTROY},
                                       {WM_DESTROY},
                                       {WM_NCDESTROY},
                                       {WM_NCDESTROY},
                                       {WM_NCDESTROY}}));
    const HWND order[] = {parent, child, grandchild, grandchild, child, parent};
    for (size_t i = 0; i < 6; i++)
        EXPECT_EQ(seen[i].hwnd, order[i]) << "row " << i;
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(grandchild));
}

TEST_F(Windows, DestroyingAChildLeavesItsParentAndSiblings)
{
    HWND parent = Create("RecClass");
    HWND a = Create("RecClass", "", WS_CHILD, parent);
    HWND b = Create("RecClass", "", WS_CHILD, parent);
    ASSERT_TRUE(DestroyWindow(a));
    EXPECT_TRUE(IsWindow(parent));
    EXPECT_TRUE(IsWindow(b));
    EXPECT_EQ(GetParent(b), parent);
    MessageLog::Instance().Clear();
    ASSERT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(Only(MessageLog::Instance().Take(), {WM_DESTROY}).size(), 2u); // parent and b
}

TEST_F(Windows, AWindowIsStillUsableDuringNcDestroy)
{
    ASSERT_NE(Register("NcClass", NcDestroyProc), 0);
    HWND hwnd = Create("NcClass");
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 99);
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(g_validInNcDestroy);
}

TEST_F(Windows, DestroyingAnotherThreadsWindowIsDenied)
{
    HWND hwnd = Create("RecClass");
    BOOL result = TRUE;
    DWORD error = 0;
    std::thread([&] {
        SetLastError(0xdeadbeef);
        result = DestroyWindow(hwnd);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(Windows, DestroyingAnInvalidWindowFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(kBad));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(Windows, DefWindowProcDestroysOnClose)
{
    HWND hwnd = Create("RecClass");
    EXPECT_EQ(SendMessageA(hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Windows, AThreadsWindowsEndWithIt)
{
    HWND hwnd = nullptr;
    std::thread([&] { hwnd = Create("RecClass"); }).join();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(IsWindow(hwnd));
}

// ---- Window data ---------------------------------------------------------------

TEST_F(Windows, ExtraBytesStartAtZeroAndHoldValues)
{
    ASSERT_NE(Register("ExtraClass", RecordingProc, 16), 0);
    HWND hwnd = Create("ExtraClass");
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, 0, 0x1122334455667788), 0);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu); // success leaves it alone
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 0x1122334455667788);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, 8, 5), 0);
    EXPECT_EQ(SetWindowLongA(hwnd, 12, -7), 0);
    EXPECT_EQ(GetWindowLongA(hwnd, 12), -7);
    EXPECT_EQ(GetWindowLongA(hwnd, 8), 5);
}

TEST_F(Windows, ExtraBytesPastTheEndAreAnInvalidIndex)
{
    ASSERT_NE(Register("Extra4", RecordingProc, 4), 0);
    HWND hwnd = Create("Extra4");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 0); // 8 bytes do not fit in 4
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_INDEX);
    EXPECT_EQ(SetWindowLongA(hwnd, 0, 3), 0); // 4 do
    EXPECT_EQ(GetWindowLongA(hwnd, 0), 3);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetWindowLongA(hwnd, 1, 3), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_INDEX);
}

TEST_F(Windows, UserDataReturnsThePreviousValue)
{
    HWND hwnd = Create("RecClass");
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, 10), 0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, 20), 10);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 20);
}

TEST_F(Windows, ReplacingTheWindowProcSubclassesTheWindow)
{
    HWND hwnd = Create("RecClass");
    LONG_PTR old = SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc));
    EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(RecordingProc));
    EXPECT_EQ(SendMessageA(hwnd, WM_APP, 0, 0), 1234);
    EXPECT_EQ(CallWindowProcA(reinterpret_cast<WNDPROC>(old), hwnd, WM_APP, 0, 0), 0);
}

TEST_F(Windows, WindowDataFailures)
{
    HWND hwnd = Create("RecClass");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, -100), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_INDEX);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongA(hwnd, GWL_WNDPROC), 0); // pointer-sized: not through the 4-byte call
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_INDEX);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongPtrA(kBad, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(Windows, StyleAndIdAreKept)
{
    HWND parent = Create("RecClass", "", WS_OVERLAPPEDWINDOW);
    HWND child = CreateWindowExA(0, "RecClass", "", WS_CHILD, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(42), nullptr, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(child, GWLP_ID), 42);
    EXPECT_TRUE(GetWindowLongA(child, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(GetWindowLongPtrA(child, GWLP_HWNDPARENT), reinterpret_cast<LONG_PTR>(parent));
}

// ---- Relations, text, names -----------------------------------------------------

TEST_F(Windows, GetParentGivesParentOfChildrenAndOwnerOfPopups)
{
    HWND top = Create("RecClass");
    HWND child = Create("RecClass", "", WS_CHILD, top);
    HWND popup = Create("RecClass", "", WS_POPUP, child); // owned by child's top-level window
    HWND owned = Create("RecClass", "", WS_OVERLAPPED, top);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetParent(top), nullptr);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    EXPECT_EQ(GetParent(child), top);
    EXPECT_EQ(GetParent(popup), top);
    EXPECT_EQ(GetParent(owned), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetParent(kBad), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(Windows, DestroyingAnOwnerDestroysItsOwnedWindowsFirst)
{
    HWND owner = Create("RecClass");
    HWND owned = Create("RecClass", "", WS_POPUP, owner);
    MessageLog::Instance().Clear();
    ASSERT_TRUE(DestroyWindow(owner));
    std::vector<Seen> seen = Only(MessageLog::Instance().Take(), {WM_DESTROY});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].hwnd, owned);
    EXPECT_EQ(seen[1].hwnd, owner);
}

TEST_F(Windows, WindowTextRoundTripsAndIsCutToTheBuffer)
{
    HWND hwnd = Create("RecClass", "first");
    EXPECT_TRUE(SetWindowTextA(hwnd, "Printing service"));
    char buf[8];
    EXPECT_EQ(GetWindowTextA(hwnd, buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "Printin");
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 16);
    char name[4];
    EXPECT_EQ(GetClassNameA(hwnd, name, sizeof name), 3);
    EXPECT_STREQ(name, "Rec");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetWindowTextA(kBad, "x"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowTextA(kBad, buf, sizeof buf), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(Windows, GetWindowThreadProcessIdOfOwnWindows)
{
    HWND hwnd = Create("RecClass");
    DWORD pid = 0;
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, &pid), GetCurrentThreadId());
    EXPECT_EQ(pid, GetCurrentProcessId());
    pid = 77;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowThreadProcessId(kBad, &pid), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(Windows, FindWindowMatchesClassAndTitleIgnoringCase)
{
    HWND a = Create("RecClass", "Alpha");
    HWND b = Create("RecClass", "Beta");
    Create("RecClass", "", WS_CHILD, a); // children are not found
    EXPECT_EQ(FindWindowA("recclass", "BETA"), b);
    EXPECT_EQ(FindWindowA(nullptr, "alpha"), a);
    EXPECT_EQ(FindWindowA("RecClass", nullptr), b); // the newest first
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindWindowA("RecClass", "Gamma"), nullptr);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

struct EnumState {
    std::vector<HWND> seen;
    size_t stopAfter = 1000;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp)
{
    auto *state = reinterpret_cast<EnumState *>(lp);
    state->seen.push_back(hwnd);
    return state->seen.size() < state->stopAfter;
}

TEST_F(Windows, EnumWindowsListsTopLevelWindowsOnly)
{
    HWND a = Create("RecClass");
    HWND b = Create("RecClass");
    Create("RecClass", "", WS_CHILD, a);
    Create("RecClass", "", 0, HWND_MESSAGE); // message-only: not listed
    EnumState state;
    EXPECT_TRUE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&state)));
    EXPECT_EQ(state.seen, (std::vector<HWND>{b, a}));
    EnumState once;
    once.stopAfter = 1;
    EXPECT_FALSE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&once)));
    EXPECT_EQ(once.seen.size(), 1u);
}

TEST_F(Windows, ShowWindowReportsThePreviousVisibility)
{
    HWND hwnd = Create("RecClass");
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWNORMAL));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetActiveWindow(), hwnd);
    EXPECT_EQ(GetForegroundWindow(), hwnd);
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(UpdateWindow(hwnd));
    DestroyWindow(hwnd);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(Windows, TheDesktopWindowIsAWindowOfNoProcess)
{
    HWND desktop = GetDesktopWindow();
    EXPECT_TRUE(IsWindow(desktop));
    char name[16];
    EXPECT_EQ(GetClassNameA(desktop, name, sizeof name), 6);
    EXPECT_STREQ(name, "#32769");
}

TEST_F(Windows, IsWindowRejectsNonWindows)
{
    EXPECT_FALSE(IsWindow(nullptr));
    EXPECT_FALSE(IsWindow(kBad));
    EXPECT_FALSE(IsWindow(HWND_BROADCAST));
}

TEST_F(Windows, DispatchMessageFailures)
{
    MSG msg = {};
    msg.hwnd = kBad;
    msg.message = WM_APP;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    msg.message = WM_KEYDOWN;
    EXPECT_TRUE(TranslateMessage(&msg));
    msg.message = WM_APP;
    EXPECT_FALSE(TranslateMessage(&msg));
}

} // namespace
