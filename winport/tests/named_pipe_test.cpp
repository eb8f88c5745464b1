/*
 * Conformance: named pipes.  A server instance takes one client at a time;
 * message-mode reads keep message boundaries and hand a message too large
 * for the buffer out in parts with ERROR_MORE_DATA; a closed end shows as
 * ERROR_BROKEN_PIPE or ERROR_NO_DATA; the server can tell who its client is.
 */
#include <gtest/gtest.h>

#include "scratch_root.h"

#include <windows.h>

#include <namedpipeapi.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kPipe[] = "\\\\.\\pipe\\ConformancePipe";

HANDLE MakeServer(const char *name = kPipe, DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                  DWORD instances = PIPE_UNLIMITED_INSTANCES, LPSECURITY_ATTRIBUTES sa = nullptr)
{
    return CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, mode | PIPE_WAIT, instances, 4096, 4096, 0,
                            sa);
}

HANDLE OpenClient(const char *name = kPipe, bool messageRead = true)
{
    HANDLE h =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE && messageRead) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        EXPECT_TRUE(SetNamedPipeHandleState(h, &mode, nullptr, nullptr));
    }
    return h;
}

bool WriteText(HANDLE h, const char *text)
{
    DWORD written = 0;
    return WriteFile(h, text, (DWORD)strlen(text) + 1, &written, nullptr) &&
           written == strlen(text) + 1;
}

/* A connected server instance and client. */
struct Pair {
    HANDLE server = MakeServer();
    HANDLE client = INVALID_HANDLE_VALUE;
    Pair()
    {
        client = OpenClient();
        EXPECT_TRUE(ConnectNamedPipe(server, nullptr));
    }
    ~Pair()
    {
        CloseHandle(client);
        CloseHandle(server);
    }
};

TEST(NamedPipe, MissingPipeIsNotFoundForOpenAndWait)
{
    ScratchRoot root;
    EXPECT_EQ(OpenClient(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(WaitNamedPipeA(kPipe, 100));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    HANDLE server = MakeServer();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WaitNamedPipeA("\\\\.\\PIPE\\conformancepipe", NMPWAIT_USE_DEFAULT_WAIT));
    CloseHandle(server);
    EXPECT_FALSE(WaitNamedPipeA(kPipe, 100)) << "the last instance takes the pipe away";
}

TEST(NamedPipe, BadNamesAndParametersAreRefused)
{
    ScratchRoot root;
    EXPECT_EQ(MakeServer("\\\\.\\pipe\\"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
    EXPECT_EQ(MakeServer("\\\\.\\pipe\\a/../b"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
    EXPECT_EQ(MakeServer(kPipe, PIPE_TYPE_BYTE | PIPE_READMODE_MESSAGE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MakeServer(kPipe, PIPE_TYPE_MESSAGE, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST(NamedPipe, MessagesKeepTheirBoundariesBothWays)
{
    ScratchRoot root;
    Pair p;
    ASSERT_TRUE(WriteText(p.client, "HEY"));
    ASSERT_TRUE(WriteText(p.client, "SHUTDOWN"));
    char buf[64];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(p.server, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 4u);
    EXPECT_STREQ(buf, "HEY");
    ASSERT_TRUE(ReadFile(p.server, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 9u);
    EXPECT_STREQ(buf, "SHUTDOWN");
    ASSERT_TRUE(WriteText(p.server, "answer"));
    ASSERT_TRUE(ReadFile(p.client, buf, sizeof buf, &got, nullptr));
    EXPECT_STREQ(buf, "answer");
}

TEST(NamedPipe, LongMessageComesInPartsWithMoreData)
{
    ScratchRoot root;
    Pair p;
    ASSERT_TRUE(WriteText(p.client, "0123456789"));
    ASSERT_TRUE(WriteText(p.client, "next"));
    char buf[16] = {};
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(p.server, buf, 4, &got, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_FALSE(ReadFile(p.server, buf, 4, &got, nullptr));
    EXPECT_EQ(std::string(buf, 4), "4567");
    ASSERT_TRUE(ReadFile(p.server, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 3u) << "the message's end, never the next message";
    EXPECT_STREQ(buf, "89");
    ASSERT_TRUE(ReadFile(p.server, buf, sizeof buf, &got, nullptr));
    EXPECT_STREQ(buf, "next");
}

TEST(NamedPipe, ByteReadModeReturnsPartsWithoutError)
{
    ScratchRoot root;
    HANDLE server = MakeServer(kPipe, PIPE_TYPE_MESSAGE | PIPE_READMODE_BYTE);
    HANDLE client = OpenClient(kPipe, false);
    ASSERT_TRUE(ConnectNamedPipe(server, nullptr));
    ASSERT_TRUE(WriteText(client, "abcdef"));
    char buf[8] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(server, buf, 3, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "abc");
    EXPECT_TRUE(ReadFile(server, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), std::string("def\0", 4));
    CloseHandle(client);
    CloseHandle(server);
}

TEST(NamedPipe, TransactNeedsMessageReadMode)
{
    ScratchRoot root;
    HANDLE server = MakeServer();
    HANDLE client = OpenClient(kPipe, false);
    ASSERT_TRUE(ConnectNamedPipe(server, nullptr));
    char out[16];
    DWORD got = 0;
    char question[] = "version?";
    EXPECT_FALSE(
        TransactNamedPipe(client, question, sizeof question, out, sizeof out, &got, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_PIPE);
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
    std::thread answer([&] {
        char in[16];
        DWORD n = 0;
        if (ReadFile(server, in, sizeof in, &n, nullptr))
            WriteText(server, "237.859");
    });
    EXPECT_TRUE(
        TransactNamedPipe(client, question, sizeof question, out, sizeof out, &got, nullptr));
    answer.join();
    EXPECT_STREQ(out, "237.859");
    CloseHandle(client);
    CloseHandle(server);
}

TEST(NamedPipe, ReadModeMessageOnlyOnMessagePipes)
{
    ScratchRoot root;
    HANDLE server = MakeServer(kPipe, PIPE_TYPE_BYTE);
    HANDLE client = OpenClient(kPipe, false);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    DWORD mode = PIPE_READMODE_MESSAGE;
    EXPECT_FALSE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    DWORD count = 1;
    mode = PIPE_READMODE_BYTE;
    EXPECT_FALSE(SetNamedPipeHandleState(client, &mode, &count, nullptr));
    EXPECT_FALSE(SetNamedPipeHandleState(nullptr, &mode, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(client);
    CloseHandle(server);
}

TEST(NamedPipe, ClosedEndsFailReadsAndWrites)
{
    ScratchRoot root;
    Pair p;
    CloseHandle(p.client);
    p.client = INVALID_HANDLE_VALUE;
    char buf[8];
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(p.server, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BROKEN_PIPE);
    EXPECT_FALSE(WriteText(p.server, "x"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_DATA);

    // The instance serves the next client once disconnected.
    ASSERT_TRUE(DisconnectNamedPipe(p.server));
    EXPECT_FALSE(ReadFile(p.server, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_LISTENING);
    p.client = OpenClient();
    ASSERT_TRUE(ConnectNamedPipe(p.server, nullptr));
    EXPECT_FALSE(ConnectNamedPipe(p.server, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_CONNECTED);
    ASSERT_TRUE(DisconnectNamedPipe(p.server));
    EXPECT_FALSE(WriteText(p.client, "HEY")) << "a keep-alive notices the server left";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_DATA);
    EXPECT_TRUE(FlushFileBuffers(p.client) || GetLastError() == ERROR_NO_DATA);
}

TEST(NamedPipe, InstancesServeClientsAtOnceUpToTheirLimit)
{
    ScratchRoot root;
    HANDLE a = MakeServer(kPipe, PIPE_TYPE_MESSAGE, 2);
    HANDLE b = MakeServer(kPipe, PIPE_TYPE_MESSAGE, 2);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(MakeServer(kPipe, PIPE_TYPE_MESSAGE, 2), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_BUSY);
    EXPECT_EQ(MakeServer(kPipe, PIPE_TYPE_BYTE, 3), INVALID_HANDLE_VALUE) << "another type";
    HANDLE c1 = OpenClient();
    HANDLE c2 = OpenClient(); // queued before any instance listens
    ASSERT_TRUE(ConnectNamedPipe(a, nullptr));
    ASSERT_TRUE(ConnectNamedPipe(b, nullptr));
    ASSERT_TRUE(WriteText(c2, "two"));
    ASSERT_TRUE(WriteText(c1, "one"));
    char buf[8];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(a, buf, sizeof buf, &got, nullptr));
    EXPECT_STREQ(buf, "one");
    ASSERT_TRUE(ReadFile(b, buf, sizeof buf, &got, nullptr));
    EXPECT_STREQ(buf, "two");
    for (HANDLE h : {c1, c2, a, b})
        CloseHandle(h);
}

TEST(NamedPipe, ServerReplacesASocketLeftByADeadServer)
{
    ScratchRoot root;
    HANDLE first = MakeServer();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    const std::string sock = root.path() + "/winport/pipes/conformancepipe";
    // A server that died leaves its socket behind; link it back in place.
    ASSERT_EQ(link(sock.c_str(), (sock + ".kept").c_str()), 0);
    CloseHandle(first);
    ASSERT_EQ(rename((sock + ".kept").c_str(), sock.c_str()), 0);
    HANDLE second = MakeServer();
    ASSERT_NE(second, INVALID_HANDLE_VALUE) << GetLastError();
    HANDLE client = OpenClient();
    EXPECT_TRUE(ConnectNamedPipe(second, nullptr));
    CloseHandle(client);
    CloseHandle(second);
}

TEST(NamedPipe, NullDaclLetsEveryUserConnect)
{
    ScratchRoot root;
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
    HANDLE open = MakeServer("\\\\.\\pipe\\open", PIPE_TYPE_MESSAGE, 1, &sa);
    HANDLE closed = MakeServer("\\\\.\\pipe\\closed", PIPE_TYPE_MESSAGE, 1, nullptr);
    struct stat st;
    ASSERT_EQ(stat((root.path() + "/winport/pipes/open").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    ASSERT_EQ(stat((root.path() + "/winport/pipes/closed").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    CloseHandle(open);
    CloseHandle(closed);
}

PSID AdminsSid()
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                             0, 0, 0, &sid);
    return sid;
}

/* Whether the client now connected to `server` counts as an administrator. */
BOOL ClientIsAdmin(HANDLE server)
{
    PSID admins = AdminsSid();
    BOOL member = 2;
    EXPECT_TRUE(ImpersonateNamedPipeClient(server));
    EXPECT_TRUE(CheckTokenMembership(nullptr, admins, &member));
    EXPECT_TRUE(RevertToSelf());
    FreeSid(admins);
    return member;
}

TEST(NamedPipeIdentity, TheServersOwnUserMayAdminister)
{
    ScratchRoot root;
    Pair p;
    EXPECT_TRUE(ClientIsAdmin(p.server));
    ULONG pid = 0;
    EXPECT_TRUE(GetNamedPipeClientProcessId(p.server, &pid));
    EXPECT_EQ(pid, GetCurrentProcessId());
    BOOL member = FALSE;
    PSID admins = AdminsSid();
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    EXPECT_TRUE(CheckTokenMembership(nullptr, everyone, &member));
    EXPECT_TRUE(member);
    HANDLE unconnected = MakeServer();
    EXPECT_FALSE(ImpersonateNamedPipeClient(unconnected));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANNOT_IMPERSONATE);
    EXPECT_FALSE(GetNamedPipeClientProcessId(unconnected, &pid));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_NOT_CONNECTED);
    EXPECT_FALSE(CheckTokenMembership(nullptr, admins, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    CloseHandle(unconnected);
    FreeSid(admins);
    FreeSid(everyone);
}

TEST(NamedPipeIdentity, AnotherUserIsRefusedAdministration)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    ScratchRoot root;
    chmod(root.path().c_str(), 0755);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
    HANDLE server = MakeServer(kPipe, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, &sa);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    chmod((root.path() + "/winport").c_str(), 0755);
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        HANDLE h = OpenClient(kPipe, false);
        _exit(h != INVALID_HANDLE_VALUE && WriteText(h, "SHUTDOWN") ? 0 : 1);
    }
    ASSERT_TRUE(ConnectNamedPipe(server, nullptr));
    EXPECT_FALSE(ClientIsAdmin(server));
    ULONG pid = 0;
    EXPECT_TRUE(GetNamedPipeClientProcessId(server, &pid));
    EXPECT_EQ(pid, (ULONG)child);
    char buf[16];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(server, buf, sizeof buf, &got, nullptr));
    EXPECT_STREQ(buf, "SHUTDOWN");
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    CloseHandle(server);
}

} // namespace
