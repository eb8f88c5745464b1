/*
 * Socket start-up and shutdown wrappers, the error box, the Winsock error
 * texts and the diagnostic log "kellib.log".
 *
 * Everything goes through the binders, so it all degrades to "nothing
 * happens" when no Winsock module could be loaded.
 *
 * The error texts are the ones support staff know from years of logs and
 * boxes, spelling slips included, so they are kept exactly.  The log is
 * written only while the marker file exists, so a workstation can be put
 * into diagnosis by creating one file and taken out by deleting it.  Its
 * line ends are CR LF, every one of them (the date line, the window class
 * line and any line break inside a text): the log is read with Windows tools
 * at the practice, and a text-mode write on Windows produces exactly that.
 */
#include "kellib/sock.h"

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

/* Message boxes cut their text here. */
constexpr size_t kBoxTextLimit = 200;

int RegisterEvents(HWND window, SOCKET socket, UINT message, LONG mask)
{
    int rc = KelWs_WSAAsyncSelect(socket, window, message, mask);
    if (rc == SOCKET_ERROR) {
        KELErrorBox("KELWSAAsyncSelect()", rc, 0);
        KELCloseSocket(socket);
        return 0;
    }
    return 1;
}

struct ErrorText {
    int code;
    const char *text;
};

constexpr ErrorText kErrorTexts[] = {
    {WSABASEERR, "WSABASEERR: No Error"},
    {WSAEINTR, "WSAEINTR: Interrupted system call"},
    {WSAEBADF, "WSAEBADF: Bad file number"},
    {WSAEACCES, "WSAEACCES: Permission denied"},
    {WSAEFAULT, "WSAEFAULT: Bad address"},
    {WSAEINVAL, "WSAEINVAL: Invalid argument"},
    {WSAEMFILE, "WSAEMFILE: Too many open files"},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK: Operation would block"},
    {WSAEINPROGRESS, "WSAEINPROGRESS: Operation now in progress"},
    {WSAEALREADY, "WSAEALREADY: Operation already in progress"},
    {WSAENOTSOCK, "WSAENOTSOCK: Socket operation on nonsocket"},
    {WSAEDESTADDRREQ, "WSAEDESTADDRREQ: Destination address required"},
    {WSAEMSGSIZE, "WSAEMSGSIZE: Message too long"},
    {WSAEPROTOTYPE, "WSAEPROTOTYPE: Protocol wrong type for socket"},
    {WSAENOPROTOOPT, "WSAENOPROTOOPT: Bad protocol option"},
    {WSAEPROTONOSUPPORT, "WSAEPROTONOSUPPORT: Protocol not supported"},
    {WSAESOCKTNOSUPPORT, "WSAESOCKTNOSUPPORT: Socket type not supported"},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUP: Operation not supported on socket"},
    {WSAEPFNOSUPPORT, "WSAEPFNOSUPPORT: Protocol family not supported"},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT: Address family not supported"},
    {WSAEADDRINUSE, "WSAEADDRINUSE: Address already in use"},
    {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL: Cannot assign requested address"},
    {WSAENETDOWN, "WSAENETDOWN: Network is down"},
    {WSAENETUNREACH, "WSAENEWUNREACH: Network is unreachable"},
    {WSAENETRESET, "WSAENETRESET: Net dropped connection or reset"},
    {WSAECONNABORTED, "WSAECONNABORTED: Software caused connection abort"},
    {WSAECONNRESET, "WSAECONNRESET: connection reset by peer"},
    {WSAENOBUFS, "WSAENOBUFS: No buffer space available"},
    {WSAEISCONN, "WSAEISCONN: Socket is already connected"},
    {WSAENOTCONN, "WSAENOTCONN: Socket is not connected"},
    {WSAESHUTDOWN, "WSAESHUTDOWN: Cannot send after socket shutdown"},
    {WSAETOOMANYREFS, "WSAETOOMANYREFS: Too many references, connot splice"},
    {WSAETIMEDOUT, "WSAETIMEDOUT: Connection timed out"},
    {WSAECONNREFUSED, "WSAECONNREFUSED: Connection refused\n          novsrvr may not be running"},
    {WSAELOOP, "WSAELOOP: Too many levels of symbolic links"},
    {WSAENAMETOOLONG, "WSAENAMETOOLONG: File name too long"},
    {WSAEHOSTDOWN, "WSAEHOSTDOWN: Host is down"},
    {WSAEHOSTUNREACH, "WSAEHOSTUNREACH: No route to host"},
    {WSAENOTEMPTY, "WSAENOTEMPTY: Directory not empty"},
    {WSAEPROCLIM, "WSAEPROCLIM: Too manu processes"},
    {WSAEUSERS, "WSAEUSERS: Too many users"},
    {WSAEDQUOT, "WSAEDQUOT: Disk quota exceeded"},
    {WSAESTALE, "WSAESTALE: Stale NFS file handle"},
    {WSASYSNOTREADY, "WSASYSNOTREADY: Network subsystem is unavailable"},
    {WSAVERNOTSUPPORTED, "WSAVERNOTSUPPORTED: WINDOCK DLL version out of range"},
    {WSANOTINITIALISED, "WSANOTINITIALISED: WSASTARTUP not yet performed"},
    {WSAEREMOTE, "WSAEREMOTE: Too many levels of remote in path"},
    {WSAHOST_NOT_FOUND, "WSAHOST_NOT_FOUND: Host not found"},
    {WSATRY_AGAIN, "WSATRY_AGAIN: Nonauthoritative host not found"},
    {WSANO_RECOVERY, "WSANO_RECOVERY: Nonrecoverable error"},
    {WSANO_DATA, "WSANODATA: no data record of requested type"},
};

constexpr const char *kMarkerPath = "c:\\novarc\\bin\\KELLIB_DEBUGGING_ON.txt";
constexpr const char *kLogPath = "c:\\novarc\\bin\\kellib.log";

/* The local time as the C library's asctime writes it, without its "\n". */
std::string AscTime()
{
    static const char *const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char text[64];
    snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[t.wDayOfWeek % 7],
             kMonths[(t.wMonth + 11) % 12], t.wDay, t.wHour, t.wMinute, t.wSecond, t.wYear);
    return text;
}

std::string ActiveWindowClass()
{
    char name[256] = "";
    HWND window = GetActiveWindow();
    if (window != nullptr && GetClassNameA(window, name, sizeof name) <= 0)
        name[0] = '\0';
    return name;
}

std::string WithCrLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

int KELWSAStartup(void)
{
    WSADATA data{};
    int rc = KelWs_WSAStartup(2, &data);
    if (rc != 0) {
        KELErrorBox("KELWSAStartup()", rc, 0);
        return 0;
    }
    return 1;
}

int KELWSAAsyncSelect(HWND window, SOCKET socket, UINT message)
{
    return RegisterEvents(window, socket, message, KEL_ASYNC_EVENTS);
}

int KELWSAAsyncSelectOff(HWND window, SOCKET socket, UINT message)
{
    return RegisterEvents(window, socket, message, 0);
}

int KELCloseSocket(SOCKET socket)
{
    KelWs_shutdown(socket, SD_BOTH);
    KelWs_closesocket(socket);
    return 1;
}

int KELReleaseSocketLibrary(void)
{
    /* Every WSAStartup of the process needs its WSACleanup; stop once the
     * library says it is no longer started. */
    for (int i = 0; i < 11; ++i) {
        if (KelWs_WSACleanup() != SOCKET_ERROR)
            break;
        int error = KelWs_WSAGetLastError();
        if (error == WSANOTINITIALISED || error == ERROR_ALREADY_EXISTS)
            break;
    }
    return 1;
}

void KELErrorBox(const char *tag, int code, int flags)
{
    /* Read first: anything called below may overwrite it. */
    DWORD lastError = GetLastError();
    if (tag == nullptr)
        tag = "";
    /* A lost connection is the normal end of a job, not something to show. */
    if (strstr(tag, "Connection lost") != nullptr)
        return;
    char text[kBoxTextLimit];
    if (flags & KELERR_SHOW_ERRNO)
        snprintf(text, sizeof text, "ERROR!\n\nError %d in %s\n>> %s <<",
                 static_cast<int>(lastError), tag, strerror(static_cast<int>(lastError)));
    else if (code > 0)
        snprintf(text, sizeof text, "ERROR!\n\nError %d in %s", code, tag);
    else
        snprintf(text, sizeof text, "ERROR!\n\n%s", tag);
    if (strstr(text, "Connection lost") != nullptr)
        return;
    MessageBoxA(GetActiveWindow(), text, "Error", MB_ICONWARNING);
}

void KELWSAErrorText(int code, char *out, int outSize)
{
    if (out == nullptr || outSize <= 0)
        return;
    for (const ErrorText &entry : kErrorTexts) {
        if (entry.code == code) {
            snprintf(out, static_cast<size_t>(outSize), "%s", entry.text);
            return;
        }
    }
    snprintf(out, static_cast<size_t>(outSize), "Error # %d", code);
}

void KELDiagLog(int code, const char *tag)
{
    if (GetFileAttributesA(kMarkerPath) == INVALID_FILE_ATTRIBUTES)
        return;
    /* Ordinary ends of a connection; logging them would drown the rest. */
    if (code == WSAENOTSOCK || code == WSAECONNABORTED)
        return;
    char errorText[128];
    KELWSAErrorText(code, errorText, sizeof errorText);
    std::string record = AscTime() + "\n" + ActiveWindowClass() + "\n" +
                         (tag != nullptr ? tag : "") + " failed " + errorText + "\n\n";
    record = WithCrLf(record);

    /* Append-only, so the print client and the service can both log without
     * one overwriting the other's records. */
    HANDLE file = CreateFileA(kLogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
}
