/*
 * Conformance tests: windows of another process.  A child's top-level
 * window is seen by FindWindowA, EnumWindows, GetClassNameA,
 * GetWindowTextA and GetWindowThreadProcessId; PostMessageA, SendMessageA
 * and WM_COPYDATA reach it; HWND_BROADCAST reaches every process;
 * WaitForInputIdle waits for the child's message loop; a malformed request
 * to a process's endpoint is dropped without harm.
 */
#include "child_process_util.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

uint32_t Fnv1a(const std::vector<unsigned char> &bytes)
{
    uint32_t h = 2166136261u;
    for (unsigned char b : bytes)
        h = (h ^ b) * 16777619u;
    return h;
}

struct Listing {
    HWND wanted;
    bool found = false;
};

BOOL CALLBACK LookFor(HWND hwnd, LPARAM lp)
{
    auto *listing = reinterpret_cast<Listing *>(lp);
    if (hwnd == listing->wanted)
        listing->found = true;
    return TRUE;
}

class CrossProcess : public ChildProcesses {};

TEST_F(CrossProcess, AChildsWindowIsSeenFromHere)
{
    HANDLE process = nullptr;
    HWND hwnd = StartWindow("CrossSeen", "Seen", &process);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindowA("crossseen", "SEEN"), hwnd);
    EXPECT_EQ(FindWindowA(nullptr, "Seen"), hwnd);
    EXPECT_TRUE(IsWindow(hwnd));
    DWORD pid = 0;
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, &pid), PidOf(process)); // its main thread
    EXPECT_EQ(pid, PidOf(process));
    char buf[32];
    EXPECT_EQ(GetClassNameA(hwnd, buf, sizeof buf), 9);
    EXPECT_STREQ(buf, "CrossSeen");
    EXPECT_EQ(GetWindowTextA(hwnd, buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "Seen");
    Listing listing{hwnd};
    EXPECT_TRUE(EnumWindows(LookFor, reinterpret_cast<LPARAM>(&listing)));
    EXPECT_TRUE(listing.found);
}

TEST_F(CrossProcess, APostedMessageReachesTheChild)
{
    HANDLE process = nullptr;
    HWND hwnd = StartWindow("CrossPost", "t", &process);
    ASSERT_NE(hwnd, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(PostMessageA(hwnd, kChildQuitWith, 42, 0));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    EXPECT_EQ(ExitCodeOf(process), 42u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(IsWindow(hwnd)); // its entry went with the process
    EXPECT_FALSE(PostMessageA(hwnd, kChildQuitWith, 1, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(CrossProcess, SendMessageReturnsTheChildsResult)
{
    HWND hwnd = StartWindow("CrossSend");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(SendMessageA(hwnd, kChildDouble, 21, 0), 42);
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(hwnd, kChildDouble, 50, 0, SMTO_ABORTIFHUNG, 10000, &result));
    EXPECT_EQ(result, 100u);
}

TEST_F(CrossProcess, CopyDataArrivesIntactAndItsResultComesBack)
{
    HWND hwnd = StartWindow("CrossCopy");
    ASSERT_NE(hwnd, nullptr);
    std::vector<unsigned char> data(100000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
    COPYDATASTRUCT cds = {1, static_cast<DWORD>(data.size()), data.data()};
    EXPECT_EQ(
        static_cast<uint32_t>(SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds))),
        Fnv1a(data));
    COPYDATASTRUCT empty = {1, 0, nullptr};
    EXPECT_EQ(
        static_cast<uint32_t>(SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty))),
        2166136261u);
}

TEST_F(CrossProcess, CopyDataCannotBePosted)
{
    HWND hwnd = StartWindow("CrossNoPost");
    ASSERT_NE(hwnd, nullptr);
    COPYDATASTRUCT cds = {1, 0, nullptr};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MESSAGE_SYNC_ONLY);
}

TEST_F(CrossProcess, TitlesChangeAcrossProcesses)
{
    HWND hwnd = StartWindow("CrossTitle", "Before");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(SetWindowTextA(hwnd, "After"));
    char buf[16];
    EXPECT_EQ(GetWindowTextA(hwnd, buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "After");
    EXPECT_EQ(FindWindowA(nullptr, "after"), hwnd);
}

TEST_F(CrossProcess, BroadcastReachesEveryProcess)
{
    HANDLE p1 = nullptr, p2 = nullptr;
    HWND w1 = StartWindow("CrossB1", "t", &p1);
    HWND w2 = StartWindow("CrossB2", "t", &p2);
    ASSERT_NE(w1, nullptr);
    ASSERT_NE(w2, nullptr);
    EXPECT_TRUE(
        SendMessageTimeoutA(HWND_BROADCAST, kChildMark, 5, 0, SMTO_ABORTIFHUNG, 10000, nullptr));
    EXPECT_EQ(SendMessageA(w1, kChildAskMark, 0, 0), 5);
    EXPECT_EQ(SendMessageA(w2, kChildAskMark, 0, 0), 5);
    EXPECT_TRUE(PostMessageA(HWND_BROADCAST, kChildQuitWith, 7, 0));
    EXPECT_EQ(ExitCodeOf(p1), 7u);
    EXPECT_EQ(ExitCodeOf(p2), 7u);
}

TEST_F(CrossProcess, AnotherProcesssWindowCannotBeDestroyedOrTimedHere)
{
    HWND hwnd = StartWindow("CrossDeny");
    ASSERT_NE(hwnd, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetTimer(hwnd, 1, 100, nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(CrossProcess, WaitForInputIdleWaitsForTheMessageLoop)
{
    HANDLE process = Start("late CrossLate 1500");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForInputIdle(process, 100), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(WaitForInputIdle(process, INFINITE), 0u);
    EXPECT_NE(FindWindowA("CrossLate", nullptr), nullptr); // created before its loop
    EXPECT_EQ(WaitForInputIdle(process, 0), 0u);           // only the first wait waits
}

TEST_F(CrossProcess, WaitForInputIdleFailsForAnEndedProcessAndForOtherHandles)
{
    HANDLE process = Start("exit");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(ExitCodeOf(process), 3u);
    EXPECT_EQ(WaitForInputIdle(process, 1000), WAIT_FAILED);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForInputIdle(event, 1000), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

/* Sends raw bytes to the child's endpoint, as a confused or hostile local
 * program could. */
void SendRaw(DWORD pid, const std::string &root, const std::string &bytes)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    const std::string path = root + "/winport/endpoints/" + std::to_string(pid) + ".sock";
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), (ssize_t)bytes.size());
    shutdown(fd, SHUT_WR); // nothing more comes: a request cut short is seen at once
    char buf[64];
    while (recv(fd, buf, sizeof buf, 0) > 0) { // until the child hangs up
    }
    close(fd);
}

std::string Header(uint32_t magic, uint32_t kind, uint32_t length)
{
    std::string h(16, '\0');
    std::memcpy(&h[0], &magic, 4);
    std::memcpy(&h[4], &kind, 4);
    std::memcpy(&h[8], &length, 4);
    return h;
}

TEST_F(CrossProcess, MalformedEndpointRequestsAreDroppedAndLogged)
{
    HANDLE process = nullptr;
    HWND hwnd = StartWindow("CrossRobust", "t", &process);
    ASSERT_NE(hwnd, nullptr);
    const DWORD pid = PidOf(process);
    const uint32_t magic = 0x31455057;
    SendRaw(pid, root_.path(), "this is not a request at all");
    SendRaw(pid, root_.path(), Header(magic, 2, 0xFFFFFFFFu));                // oversized
    SendRaw(pid, root_.path(), Header(magic, 77, 0));                         // unknown kind
    SendRaw(pid, root_.path(), Header(magic, 2, 100) + std::string(10, 'x')); // cut short
    // A send whose lParam claims to be a string pointer without the string.
    std::string body;
    const uint64_t target = reinterpret_cast<uint64_t>(hwnd), lParam = 0x1000;
    const uint32_t message = WM_SETTEXT, flags = 0;
    body.append(reinterpret_cast<const char *>(&target), 8);
    body.append(reinterpret_cast<const char *>(&message), 4);
    body.append(8, '\0');
    body.append(reinterpret_cast<const char *>(&lParam), 8);
    body.append(reinterpret_cast<const char *>(&flags), 4);
    body.append(1, '\0'); // no payload
    body.append(8, '\0'); // data tag
    body.append(4, '\0'); // empty blob
    SendRaw(pid, root_.path(), Header(magic, 2, static_cast<uint32_t>(body.size())) + body);
    EXPECT_EQ(SendMessageA(hwnd, kChildDouble, 4, 0), 8); // still serving
    std::ifstream log(root_.path() + "/winport/log/winport_user_child.log");
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("dropped a request"), std::string::npos) << text.str();
}

} // namespace
