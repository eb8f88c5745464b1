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
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client_run.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s NOVARCPRINT TEXT_FILE [FORM_LENGTH] [PRINTER] [PIECE_BYTES]\n",
                argv[0]);
        return 2;
    }
    const char *client = argv[1];
    std::string text;
    if (!bench::ReadWholeFile(argv[2], &text))
        return 2;
    const int formLength = argc > 3 ? atoi(argv[3]) : 66;
    const std::string printer = argc > 4 ? argv[4] : "Workstation PDF";
    /* The server's piece size; another size shows what each piece costs. */
    const size_t piece = argc > 5 && atoi(argv[5]) > 0 ? (size_t)atoi(argv[5]) : 2000;

    return bench::RunClient(client, printer, formLength, [&](SOCKET server) {
        for (size_t at = 0; at < text.size(); at += piece)
            NovarcSendRequest(server, 5, text.substr(at, piece));
    });
}
