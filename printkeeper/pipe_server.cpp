/*
 * The service's end of the tray companion's pipe: one thread creates
 * instances and waits for clients; each client gets a thread of its own
 * that reads its commands until it goes.
 *
 * Bounded: a message is at most UI_PIPE_BUFFER_SIZE bytes (a longer one is
 * read to its end and dropped), at most UI_PIPE_MAX_CONNECTIONS clients are
 * served at once (the rest wait in the pipe's queue), and running out of
 * instances makes the loop wait, never end: a local user holding many
 * connections must not take the pipe away for good.
 */
#include <atomic>

#include "printkeeper.h"

#include <namedpipeapi.h> /* after windows.h, which printkeeper.h brings */

namespace {

std::atomic<int> g_connections{0};

/* Reads the rest of a message too long to be a command. */
void DropRestOfMessage(HANDLE hPipe, char *pBuffer)
{
    DWORD dwRead = 0;
    while (!ReadFile(hPipe, pBuffer, UI_PIPE_BUFFER_SIZE, &dwRead, NULL) &&
           GetLastError() == ERROR_MORE_DATA) {
    }
}

DWORD WINAPI NamedPipeServerConnectionThread(LPVOID lpParam)
{
    HANDLE hPipe = (HANDLE)lpParam;
    static thread_local char buffer[UI_PIPE_BUFFER_SIZE];
    for (;;) {
        DWORD dwRead = 0;
        if (!ReadFile(hPipe, buffer, sizeof(buffer), &dwRead, NULL)) {
            if (GetLastError() == ERROR_MORE_DATA) {
                LogLine("NamedPipeServerConnectionThread() message over %d bytes dropped",
                        UI_PIPE_BUFFER_SIZE);
                DropRestOfMessage(hPipe, buffer);
                continue;
            }
            LogLine("NamedPipeServerConnectionThread() ReadFile() FAILED ERROR:%d",
                    (int)GetLastError());
            break;
        }
        if (dwRead == 0)
            break;
        ExecutePipeCommand(hPipe, ParsePipeCommand(buffer, (int)dwRead));
    }
    FlushFileBuffers(hPipe);
    DisconnectNamedPipe(hPipe);
    CloseHandle(hPipe);
    g_connections--;
    return 0;
}

HANDLE CreateInstance(SECURITY_ATTRIBUTES *pSa)
{
    return CreateNamedPipeA(
        UI_PIPE_NAME, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
        PIPE_UNLIMITED_INSTANCES, UI_PIPE_BUFFER_SIZE, UI_PIPE_BUFFER_SIZE, 0, pSa);
}

DWORD WINAPI NamedPipeServerMainThread(LPVOID)
{
    /* Every local user may connect (the commands check who may do what). */
    static SECURITY_DESCRIPTOR sd;
    if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) {
        LogLine("NamedPipeServerMainThread() InitializeSecurityDescriptor() FAILED ERROR:%d",
                (int)GetLastError());
        return 0;
    }
    if (!SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE)) {
        LogLine("NamedPipeServerMainThread() SetSecurityDescriptorDacl() FAILED ERROR:%d",
                (int)GetLastError());
        return 0;
    }
    SECURITY_ATTRIBUTES sa = {sizeof(sa), &sd, FALSE};
    bool bBusyLogged = false;
    for (;;) {
        if (g_connections.load() >= UI_PIPE_MAX_CONNECTIONS) {
            Sleep(100);
            continue;
        }
        HANDLE hPipe = CreateInstance(&sa);
        if (hPipe == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_PIPE_BUSY) {
                if (!bBusyLogged)
                    LogLine("NamedPipeServerMainThread() every pipe instance is in use");
                bBusyLogged = true;
                Sleep(1000);
                continue;
            }
            LogLine("NamedPipeServerMainThread() CreateNamedPipe() FAILED Error:%d",
                    (int)GetLastError());
            return 0;
        }
        bBusyLogged = false;
        if (!ConnectNamedPipe(hPipe, NULL) && GetLastError() != ERROR_PIPE_CONNECTED) {
            CloseHandle(hPipe);
            continue;
        }
        g_connections++;
        HANDLE hThread = CreateThread(NULL, 0, NamedPipeServerConnectionThread, hPipe, 0, NULL);
        if (!hThread) {
            LogLine("NamedPipeServerMainThread() CreateThread() FAILED ERROR:%d",
                    (int)GetLastError());
            g_connections--;
            CloseHandle(hPipe);
            return 0;
        }
        CloseHandle(hThread);
    }
}

} // namespace

bool StartPipeServer()
{
    HANDLE hThread = CreateThread(NULL, 0, NamedPipeServerMainThread, NULL, 0, NULL);
    if (!hThread)
        return false;
    CloseHandle(hThread);
    return true;
}

int PipeConnectionCount()
{
    return g_connections.load();
}
