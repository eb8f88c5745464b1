/*
 * novarc-send: the server side of a print connection on a command line.
 * Connects to a workstation's print port, or starts a local Novarcprint and
 * hands it a loopback connection the way the print service does, sends the
 * requests of a job file (or the common job built from --printer and
 * --text or --wp-document), and prints every reply decoded, saving returned files.
 */
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <windows.h>

#include "handoff.h"
#include "image_job.h"
#include "job_file.h"

namespace {

constexpr int kOpenPrinter = 1;

struct Options {
    std::string host = "127.0.0.1";
    int port = 13001;
    std::string spawn; /* local Novarcprint to start and hand the socket to */
    std::string job;
    std::string printer;
    std::string text;
    std::string wpDocument;    /* a file holding a print-document payload */
    std::string prescription;  /* a payload file: one form request */
    std::string position;      /* "X,Y" in 1/600 inch, sent before the request */
    int formLength = 66;       /* lines per page of the common job */
    std::string clientVersion; /* "MAJOR[.MINOR]" for the version-info message */
    std::string saveDir = ".";
    bool inflateReturned = false; /* --save-returned: files saved as the client had them */
    int convertFlags = -1;        /* --convert-and-send FLAGS before the close */
    int waitMs = 2000;            /* how long to wait for replies after the last request */
    ImageJobOptions images;       /* --image, --letterhead, --signature, --annotation, ... */
    std::string error;            /* a bad option value */
};

void Usage()
{
    fprintf(stderr,
            "usage: novarc-send [--host H] [--port P] | [--spawn PATH-TO-Novarcprint]\n"
            "                   [--job FILE] [--printer NAME --text FILE | --wp-document FILE]\n"
            "                   [--printer NAME --prescription FILE [--position X,Y]]\n"
            "                   [--form-length N] [--client-version MAJOR[.MINOR]]\n"
            "                   [--save-dir DIR | --save-returned DIR] [--wait MS]\n"
            "                   [--convert-and-send FLAGS (1 page by page, 8 normalised)]\n"
            "                   [--image FILE]... [--annotation FILE]... [--letterhead FILE]...\n"
            "                   [--signature FILE [--signature-at X,Y,HEIGHT,FLAGS]]\n"
            "                   [--store FILE]... [--image-mode N] [--rotate CODE]\n"
            "                   [--heading TEXT] [--footing TEXT] [--piece-size N]\n"
            "       novarc-send --update-port ... (the update port; --update-port alone for its "
            "usage)\n"
            "Sends the requests of FILE (see docs/novarc-send.md) and prints the replies.\n");
}

bool ParseArgs(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (i + 1 >= argc)
            return false;
        std::string v = argv[++i];
        if (a == "--host")
            o->host = v;
        else if (a == "--port")
            o->port = atoi(v.c_str());
        else if (a == "--spawn")
            o->spawn = v;
        else if (a == "--job")
            o->job = v;
        else if (a == "--printer")
            o->printer = v;
        else if (a == "--text")
            o->text = v;
        else if (a == "--wp-document")
            o->wpDocument = v;
        else if (a == "--prescription")
            o->prescription = v;
        else if (a == "--position")
            o->position = v;
        else if (a == "--form-length")
            o->formLength = atoi(v.c_str());
        else if (a == "--client-version")
            o->clientVersion = v;
        else if (a == "--save-dir")
            o->saveDir = v;
        else if (a == "--save-returned") {
            o->saveDir = v;
            o->inflateReturned = true;
        } else if (a == "--convert-and-send")
            o->convertFlags = atoi(v.c_str());
        else if (a == "--wait")
            o->waitMs = atoi(v.c_str());
        else if (!ParseImageOption(a, v, &o->images, &o->error))
            return false;
    }
    return o->error.empty() && (!o->job.empty() || !o->printer.empty());
}

/* The first message on a print port connection: which client version the
 * service should start (type 30, sub-type 22, then the XML document).  The
 * service consumes the first message whatever it is, so it is always sent
 * there; empty version texts select the default client. */
JobStep VersionInfoStep(const std::string &version)
{
    std::string major = version, minor;
    const size_t dot = version.find('.');
    if (dot != std::string::npos) {
        major = version.substr(0, dot);
        minor = version.substr(dot + 1);
    }
    JobStep step;
    step.type = 30;
    step.payload = NovarcInt32(22) +
                   "<?xml version=\"1.0\"?><NovarcPrintOptions><NovarcPrintMajorVersion>" + major +
                   "</NovarcPrintMajorVersion><NovarcPrintMinorVersion>" + minor +
                   "</NovarcPrintMinorVersion></NovarcPrintOptions>";
    return step;
}

bool ReadFile(const std::string &path, std::string *out, std::string *error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    *out = all.str();
    return true;
}

/* SET_HORZ_POS and SET_VERT_POS from "X,Y" (1/600 inch). */
bool AddPosition(const std::string &position, std::vector<JobStep> *steps, std::string *error)
{
    int x = 0, y = 0;
    char end = 0;
    if (sscanf(position.c_str(), "%d,%d%c", &x, &y, &end) != 2) {
        *error = "bad --position (X,Y in 1/600 inch): " + position;
        return false;
    }
    JobStep horz, vert;
    horz.type = JobTypeFromName("SET_HORZ_POS");
    horz.payload = NovarcInt32(x);
    vert.type = JobTypeFromName("SET_VERT_POS");
    vert.payload = NovarcInt32(y);
    steps->push_back(horz);
    steps->push_back(vert);
    return true;
}

/* The common job: open the printer, send the images, print the
 * word-processor document, the request of a payload file at the given
 * position or the text in pieces, close. */
bool BuildTextJob(const Options &o, std::vector<JobStep> *steps, std::string *error)
{
    JobStep open;
    open.type = JobTypeFromName("OPEN_PRINTER");
    /* The open record: printer, driver (empty: the printer's own), form
     * length, raw-data flag, output name, and for images the imaging flag.
     * 66 lines is the report form the server uses for letter paper at 6
     * lines per inch. */
    open.payload = o.printer + '\0' + '\0' + NovarcInt32(o.formLength) + NovarcInt32(0) + '\0';
    if (o.images.Any())
        open.payload += NovarcInt32(1);
    steps->push_back(open);
    /* Images first, as the server sends them: a document or form after
     * them finds its letterheads and pending signatures there. */
    if (!AppendImageSteps(o.images, steps, error))
        return false;
    if (!o.wpDocument.empty()) {
        JobStep document;
        document.type = JobTypeFromName("PRINT_NOVARC_DOCUMENT");
        if (!ReadFile(o.wpDocument, &document.payload, error))
            return false;
        steps->push_back(document);
    }
    if (!o.prescription.empty()) {
        JobStep request;
        if (!ParsePayloadFile(o.prescription, &request, error))
            return false;
        if (!o.position.empty() && !AddPosition(o.position, steps, error))
            return false;
        steps->push_back(request);
    }
    if (!o.text.empty()) {
        std::string text;
        if (!ReadFile(o.text, &text, error))
            return false;
        for (size_t at = 0; at < text.size(); at += 2000) {
            JobStep piece;
            piece.type = JobTypeFromName("PRINT_STREAM");
            piece.payload = text.substr(at, 2000);
            steps->push_back(piece);
        }
    }
    if (o.convertFlags >= 0) {
        JobStep convert;
        convert.type = JobTypeFromName("PRINT_CONVERT_AND_SEND_FILES");
        convert.payload = NovarcInt32(0) + NovarcInt32(o.convertFlags);
        steps->push_back(convert);
    }
    JobStep close;
    close.type = JobTypeFromName("CLOSE_PRINTER");
    steps->push_back(close);
    return true;
}

SOCKET OpenConnection(const Options &o, long *pChild)
{
    if (o.spawn.empty())
        return NovarcConnect(o.host.c_str(), o.port);
    SOCKET server, client;
    if (!NovarcLoopbackPair(&server, &client))
        return INVALID_SOCKET;
    *pChild = NovarcSpawn(o.spawn.c_str());
    bool ok = *pChild > 0 && NovarcHandOffSocket(client, (DWORD)*pChild, 10000);
    closesocket(client);
    if (!ok) {
        /* A client left waiting for a handoff that never comes would live on
         * (and keep our output open for whoever reads it). */
        if (*pChild > 0)
            NovarcKillChild(*pChild);
        *pChild = -1;
        closesocket(server);
        return INVALID_SOCKET;
    }
    return server;
}

/* Requests the client answers at once (the cache questions, the
 * checksum): their answer is waited for a moment before the next request,
 * so it is printed beside its question.  After others the replies already
 * there are printed without waiting, so a file in thousands of pieces is
 * not slowed by a pause after each. */
int ReplyWaitAfter(int type)
{
    switch (type) {
    case 20:  /* IS_IMAGE_FILE_HERE */
    case 92:  /* QUERY_FILE_SIZE */
    case 93:  /* STORE_CACHE_FILE */
    case 113: /* SEND_NAMED_FILE_CHECKSUM */
        return 2000;
    default:
        return 0;
    }
}

void PrintReplies(SOCKET sock, ReplyDecoder *decoder, int waitMs)
{
    std::string reply;
    while (NovarcReceiveReply(sock, &reply, waitMs))
        printf("<- %s\n", decoder->Decode(reply).c_str());
}

} // namespace

/* update_main.cpp: novarc-send --update-port. */
int UpdatePortMain(int argc, char **argv);

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--update-port") == 0)
            return UpdatePortMain(argc, argv);
    Options o;
    if (!ParseArgs(argc, argv, &o)) {
        if (!o.error.empty())
            fprintf(stderr, "novarc-send: %s\n", o.error.c_str());
        Usage();
        return 2;
    }
    std::vector<JobStep> steps;
    std::string error;
    bool parsed =
        o.job.empty() ? BuildTextJob(o, &steps, &error) : ParseJobFile(o.job, &steps, &error);
    if (!parsed) {
        fprintf(stderr, "novarc-send: %s\n", error.c_str());
        return 2;
    }
    if (!NovarcStartWinsock()) {
        fprintf(stderr, "novarc-send: Winsock did not start\n");
        return 1;
    }
    long child = -1;
    SOCKET sock = OpenConnection(o, &child);
    if (sock == INVALID_SOCKET) {
        fprintf(stderr, "novarc-send: no connection\n");
        return 1;
    }
    ReplyDecoder decoder(o.saveDir);
    decoder.InflateReturned(o.inflateReturned);
    if (o.spawn.empty())
        steps.insert(steps.begin(), VersionInfoStep(o.clientVersion));
    for (const JobStep &step : steps) {
        if (step.type < 0) {
            Sleep(step.sleepMs);
            continue;
        }
        printf("-> type %d, %zu payload bytes\n", step.type, step.payload.size());
        decoder.Expect(step.type);
        NovarcSendRequest(sock, step.type, step.payload);
        /* As the server does: nothing more goes out until the printer-open
         * reply says whether there is a printer to print on. */
        std::string reply;
        if (step.type == kOpenPrinter && NovarcReceiveReply(sock, &reply, 30000))
            printf("<- %s\n", decoder.Decode(reply).c_str());
        if (ReplyWaitAfter(step.type) &&
            NovarcReceiveReply(sock, &reply, ReplyWaitAfter(step.type)))
            printf("<- %s\n", decoder.Decode(reply).c_str());
        PrintReplies(sock, &decoder, 0);
    }
    PrintReplies(sock, &decoder, o.waitMs);
    closesocket(sock);
    if (child > 0 && NovarcWaitChild(child, o.waitMs) < 0)
        printf("novarc-send: the client is still running (pid %ld)\n", child);
    return 0;
}
