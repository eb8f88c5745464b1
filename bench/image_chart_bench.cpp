/*
 * A scanned chart through a running print client, timed as the server
 * sees it: the client is started and handed a loopback connection, the
 * printer is opened with the imaging flag, each page goes out as the
 * server sends a scan (PRINT_IMAGE pieces of 2000 bytes of the file's zlib
 * stream, then PRINT_END_IMAGE, which prints it as a page), then
 * CLOSE_PRINTER; the run ends when the client has written the document and
 * exited.  The streams are made before the clock starts.
 *
 *   image_chart_bench NOVARCPRINT PAGE_FILE... [--printer NAME]
 *
 * The client runs on the root WINPORT_ROOT names.  Prints the line
 * bench::RunClient describes (client_run.h), then the pages' file bytes.
 */
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client_run.h"
#include "image_job.h"

namespace {

std::string Deflate(const std::string &data)
{
    uLongf size = compressBound((uLong)data.size());
    std::string out(size, '\0');
    compress2((Bytef *)out.data(), &size, (const Bytef *)data.data(), (uLong)data.size(),
              Z_DEFAULT_COMPRESSION);
    out.resize(size);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s NOVARCPRINT PAGE_FILE... [--printer NAME]\n", argv[0]);
        return 2;
    }
    std::string printer = "Workstation PDF";
    std::vector<JobStep> steps;
    long long llFileBytes = 0;
    int iPage = 0;
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--printer") == 0 && i + 1 < argc) {
            printer = argv[++i];
            continue;
        }
        std::string data;
        if (!bench::ReadWholeFile(argv[i], &data))
            return 2;
        llFileBytes += (long long)data.size();
        const char *szBase = strrchr(argv[i], '/');
        const std::string name = szBase ? szBase + 1 : argv[i];
        /* PRINT_IMAGE (11) and PRINT_END_IMAGE (12), mode 0: compressed. */
        AppendTransfer(11, 12, 0, name + '\0' + NovarcInt32(++iPage), Deflate(data), 2000, &steps);
    }
    const int iResult = bench::RunClient(
        argv[1], printer, 66,
        [&](SOCKET server) {
            for (const JobStep &step : steps)
                NovarcSendRequest(server, step.type, step.payload);
        },
        NovarcInt32(1));
    printf("pages=%d file_bytes=%lld\n", iPage, llFileBytes);
    return iResult;
}
