/*
 * A long text report through a running print client, timed as the server
 * sees it: the client is started and handed a loopback connection as the
 * print service does, the printer is opened, the report goes out as
 * PRINT_STREAM pieces of 2000 bytes back to back (the client's dispatcher
 * reads the next one once the last one's worker has started, so the socket
 * paces the sender), then CLOSE_PRINTER; the run ends when the client has
 * written the document and exited.  Its peak resident set is the child's
 * maximum RSS after it is reaped.
 *
 *   text_report_bench NOVARCPRINT TEXT_FILE [FORM_LENGTH] [PRINTER] [PIECE_BYTES]
 *
 * The client runs on the root WINPORT_ROOT names.  Prints one line:
 *   client total_s=... print_s=... startup_s=... user_s=... sys_s=...
 *          max_rss_kib=... exit=...
 * (print_s from the printer-open reply to the client's exit; CPU times and
 * the peak resident set are the client's.)
 */
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "handoff.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Int32(int v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++)
        s[i] = (char)((unsigned)v >> (8 * i));
    return s;
}

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s NOVARCPRINT TEXT_FILE [FORM_LENGTH] [PRINTER] [PIECE_BYTES]\n",
                argv[0]);
        return 2;
    }
    const char *client = argv[1];
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    std::ostringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    const int formLength = argc > 3 ? atoi(argv[3]) : 66;
    const std::string printer = argc > 4 ? argv[4] : "Workstation PDF";
    /* The server's piece size; another size shows what each piece costs. */
    const size_t piece = argc > 5 && atoi(argv[5]) > 0 ? (size_t)atoi(argv[5]) : 2000;

    SOCKET server, handed;
    if (!NovarcStartWinsock() || !NovarcLoopbackPair(&server, &handed)) {
        fprintf(stderr, "no loopback connection\n");
        return 1;
    }
    const Clock::time_point start = Clock::now();
    const long pid = NovarcSpawn(client);
    const bool ok = pid > 0 && NovarcHandOffSocket(handed, (DWORD)pid, 20000);
    closesocket(handed);
    if (!ok) {
        fprintf(stderr, "the client did not take the connection\n");
        NovarcKillChild(pid);
        return 1;
    }
    /* The open record: printer, driver (the printer's own), form length,
     * raw-data flag, output name. */
    NovarcSendRequest(server, 1, printer + '\0' + '\0' + Int32(formLength) + Int32(0) + '\0');
    std::string reply;
    if (!NovarcReceiveReply(server, &reply, 30000) || reply.size() < 5 || reply[0] != 27 ||
        reply[1] != 1) {
        fprintf(stderr, "the printer did not open\n");
        NovarcKillChild(pid);
        return 1;
    }
    const Clock::time_point opened = Clock::now();
    for (size_t at = 0; at < text.size(); at += piece)
        NovarcSendRequest(server, 5, text.substr(at, piece));
    NovarcSendRequest(server, 2, std::string());
    const int status = NovarcWaitChild(pid, 600000);
    const Clock::time_point end = Clock::now();
    closesocket(server);
    if (status < 0) {
        fprintf(stderr, "the client did not end\n");
        NovarcKillChild(pid);
        return 1;
    }
    struct rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const double user = (double)usage.ru_utime.tv_sec + (double)usage.ru_utime.tv_usec / 1e6;
    const double sys = (double)usage.ru_stime.tv_sec + (double)usage.ru_stime.tv_usec / 1e6;
    printf("client total_s=%.3f print_s=%.3f startup_s=%.3f user_s=%.3f sys_s=%.3f "
           "max_rss_kib=%ld exit=%d\n",
           Seconds(start, end), Seconds(opened, end), Seconds(start, opened), user, sys,
           usage.ru_maxrss, status);
    return status == 0 ? 0 : 1;
}
