/*
 * One whole run of a print client as the server sees it, shared by the
 * whole-process benchmarks: the client is started and handed a loopback
 * connection as the print service does, the printer is opened, the caller
 * sends its requests, CLOSE_PRINTER follows, and the run ends when the
 * client has written the document and exited.  CPU times and the peak
 * resident set are the child's, read after it is reaped.
 */
#ifndef NOVARC_BENCH_CLIENT_RUN_H
#define NOVARC_BENCH_CLIENT_RUN_H

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "handoff.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

inline bool ReadWholeFile(const char *path, std::string *out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", path);
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    *out = all.str();
    return true;
}

/* Runs the client, opens `printer` at `formLength` (the open record's
 * optional tail, such as the imaging flag, in `openTail`), calls `send`
 * with the server's end, closes the printer and waits for the client's
 * exit.  Prints
 *   client total_s=... print_s=... startup_s=... user_s=... sys_s=...
 *          max_rss_kib=... exit=...
 * (print_s from the printer-open reply to the client's exit) and returns
 * 0 when the client ended well. */
inline int RunClient(const char *client, const std::string &printer, int formLength,
                     const std::function<void(SOCKET)> &send, const std::string &openTail = "")
{
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
    NovarcSendRequest(server, 1,
                      printer + '\0' + '\0' + NovarcInt32(formLength) + NovarcInt32(0) + '\0' +
                          openTail);
    std::string reply;
    if (!NovarcReceiveReply(server, &reply, 30000) || reply.size() < 5 || reply[0] != 27 ||
        reply[1] != 1) {
        fprintf(stderr, "the printer did not open\n");
        NovarcKillChild(pid);
        return 1;
    }
    const Clock::time_point opened = Clock::now();
    send(server);
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

} // namespace bench

#endif /* NOVARC_BENCH_CLIENT_RUN_H */
