/*
 * A word-processor document through a running print client, timed as the
 * server sees it: the client is started and handed a loopback connection,
 * the printer is opened, the document goes out as one PRINT_NOVARC_DOCUMENT
 * (3) request, then CLOSE_PRINTER; the run ends when the client has written
 * the document and exited.
 *
 *   wp_document_bench NOVARCPRINT DOCUMENT_FILE [PRINTER]
 *
 * DOCUMENT_FILE holds a print-document payload (wp-sample letter writes
 * one).  The client runs on the root WINPORT_ROOT names.  Prints the line
 * bench::RunClient describes (client_run.h).
 */
#include <cstdio>
#include <string>

#include "client_run.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s NOVARCPRINT DOCUMENT_FILE [PRINTER]\n", argv[0]);
        return 2;
    }
    std::string document;
    if (!bench::ReadWholeFile(argv[2], &document))
        return 2;
    const std::string printer = argc > 3 ? argv[3] : "Workstation PDF";
    return bench::RunClient(argv[1], printer, 66,
                            [&](SOCKET server) { NovarcSendRequest(server, 3, document); });
}
