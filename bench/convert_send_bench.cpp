/*
 * Convert and send through a running print client, timed as the server
 * sees it: a text report of PAGES pages is printed on the "NovarcPDF"
 * converter printer, then PRINT_CONVERT_AND_SEND_FILES asks for it back;
 * the time runs from that request (which closes the printer) to the last
 * byte of the return: the whole file's last block, or, page by page, the
 * lone end marker.  The same report is printed again for the page-by-page
 * run.  The returned PDF is written inflated for the qpdf baseline, and
 * the wire time of the same bytes in the same 1000-byte blocks over the
 * same loopback is measured beside it.
 *
 *   convert_send_bench NOVARCPRINT CDINSTALL TEXT_FILE OUT_PDF [FORM_LENGTH]
 *
 * The client runs on the root WINPORT_ROOT names; the converter, the PDF
 * engine and the converter's installer are installed into it first.
 * Prints one line:
 *   convert whole_s=... whole_bytes=... pages_s=... pages=... pages_bytes=...
 *           wire_whole_s=... wire_pages_s=...
 */
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <winport_test.h>

#include "client_run.h"

namespace {

struct Return {
    int files = 0;
    size_t bytes = 0;
    std::string first; /* the first file's bytes, as sent */
};

/* Replies until `files` files are complete (a short block or "DONE" ends
 * one) and, page by page, the lone end marker has come. */
bool ReceiveReturn(SOCKET server, bool pageByPage, Return *pOut)
{
    const std::string done("DONE\0", 5);
    bool inFile = false;
    std::string reply, data;
    while (NovarcReceiveReply(server, &reply, 120000)) {
        if (reply.empty() || reply[0] != 39)
            continue;
        const std::string body = reply.substr(1);
        pOut->bytes += body.size();
        if (!inFile) {
            if (body == done) { /* the lone end marker's name, then its end */
                NovarcReceiveReply(server, &reply, 120000);
                return pageByPage;
            }
            inFile = true;
            continue;
        }
        if (body != done)
            data += body;
        if (body == done || body.size() < 1000) {
            if (pOut->files++ == 0)
                pOut->first = data;
            data.clear();
            inFile = false;
            if (!pageByPage)
                return true;
        }
    }
    return false;
}

std::string Inflate(const std::string &packed)
{
    std::string out;
    z_stream z = z_stream();
    inflateInit(&z);
    z.next_in = (Bytef *)packed.data();
    z.avail_in = (uInt)packed.size();
    char chunk[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = (Bytef *)chunk;
        z.avail_out = sizeof(chunk);
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof(chunk) - z.avail_out);
    }
    inflateEnd(&z);
    return out;
}

/* The same number of bytes in 1000-byte replies over a fresh loopback pair. */
double WireSeconds(size_t bytes)
{
    SOCKET a, b;
    if (!NovarcLoopbackPair(&a, &b))
        return -1;
    const std::string block(1000, 'x');
    const bench::Clock::time_point start = bench::Clock::now();
    std::thread sender([&] {
        for (size_t sent = 0; sent < bytes; sent += block.size())
            NovarcSendRequest(b, 39, block);
    });
    std::string reply;
    for (size_t got = 0; got < bytes && NovarcReceiveReply(a, &reply, 30000);)
        got += block.size();
    const double s = bench::Seconds(start, bench::Clock::now());
    sender.join();
    closesocket(a);
    closesocket(b);
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: %s NOVARCPRINT CDINSTALL TEXT_FILE OUT_PDF [FORM_LENGTH]\n",
                argv[0]);
        return 2;
    }
    std::string text;
    if (!bench::ReadWholeFile(argv[3], &text))
        return 2;
    const int formLength = argc > 5 ? atoi(argv[5]) : 62;
    const char *root = getenv("WINPORT_ROOT");
    if (!root || !winport_test_set_root(root) ||
        !winport_test_install_module("cdintf550.dll", "C:\\Windows\\system32") ||
        !winport_test_install_module("kelpdftron.dll", "C:\\novarc\\bin\\PdfTron")) {
        fprintf(stderr, "the components could not be installed in WINPORT_ROOT\n");
        return 2;
    }
    std::filesystem::copy_file(argv[2],
                               std::string(root) + "/drive_c/Windows/system32/cdinstall.exe",
                               std::filesystem::copy_options::overwrite_existing);

    double whole = 0, pages = 0;
    Return wholeReturn, pageReturn;
    const int status = bench::RunClient(argv[1], "NovarcPDF", formLength, [&](SOCKET server) {
        for (int flags : {0, 1}) {
            for (size_t at = 0; at < text.size(); at += 2000)
                NovarcSendRequest(server, 5, text.substr(at, 2000));
            const bench::Clock::time_point start = bench::Clock::now();
            NovarcSendRequest(server, 101, NovarcInt32(0) + NovarcInt32(flags));
            Return &r = flags ? pageReturn : wholeReturn;
            if (!ReceiveReturn(server, flags != 0, &r))
                fprintf(stderr, "the return did not complete (flags %d)\n", flags);
            (flags ? pages : whole) = bench::Seconds(start, bench::Clock::now());
        }
    });
    const std::string pdf = Inflate(wholeReturn.first);
    FILE *out = fopen(argv[4], "wb");
    if (out) {
        fwrite(pdf.data(), 1, pdf.size(), out);
        fclose(out);
    }
    printf("convert whole_s=%.3f whole_bytes=%zu pages_s=%.3f pages=%d pages_bytes=%zu "
           "wire_whole_s=%.3f wire_pages_s=%.3f\n",
           whole, wholeReturn.bytes, pages, pageReturn.files, pageReturn.bytes,
           WireSeconds(wholeReturn.bytes), WireSeconds(pageReturn.bytes));
    return status;
}
