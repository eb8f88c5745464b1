/*
 * The spooler's private model: a printer as read from the registry (or a
 * CUPS queue), its device mode, the description GDI draws with, the jobs
 * in flight and the open printer handles.  Private to libwinport.
 *
 * Locking: one spooler lock guards the job table and the handle table.
 * GDI calls sinks with its own lock held and sinks take the spooler lock, so
 * the spooler never calls into GDI while it holds its lock.
 */
#ifndef WINPORT_SPOOL_PRIVATE_H
#define WINPORT_SPOOL_PRIVATE_H

#include <windows.h>

#include "gdi/gdi_device.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace winport::spool {

constexpr const char *kPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr const char *kPrintKey = "SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr std::size_t kPaperNameLen = 64; /* DC_PAPERNAMES entry width */
constexpr std::size_t kBinNameLen = 24;   /* DC_BINNAMES entry width */
constexpr WORD kDriverExtra = 8;          /* our private DEVMODE bytes */

struct Paper {
    Paper() = default;
    Paper(short n, std::string nm, int w, int h)
        : number(n), name(std::move(nm)), width(w), height(h)
    {}
    short number = 0; /* DMPAPER_* */
    std::string name;
    int width = 0; /* tenths of a millimetre, portrait */
    int height = 0;
    std::string pwg;  /* a CUPS queue's media name ("na_letter_8.5x11in") */
    int pwgWidth = 0; /* its exact size in hundredths of a millimetre */
    int pwgHeight = 0;
    bool ownMargins = false;       /* margins below, not the printer's */
    int margins[4] = {0, 0, 0, 0}; /* left, top, right, bottom; hundredths of a mm */
};

struct Bin {
    Bin() = default;
    Bin(short n, std::string nm, std::string src = {})
        : number(n), name(std::move(nm)), source(std::move(src))
    {}
    short number = 0; /* DMBIN_* or a driver number from DMBIN_USER */
    std::string name;
    std::string source; /* a CUPS queue's media-source keyword ("tray-2") */
};

struct Printer {
    std::string name;
    std::string driver;
    std::string port; /* "FOLDER:c:\x", "FILE:c:\x.pdf", "RAW:c:\x.prn", "CUPS:queue" */
    std::string comment;
    std::string location;
    std::vector<int> resolutions; /* dots per inch, the first is the default */
    std::vector<Paper> papers;
    std::vector<Bin> bins;
    bool color = true;
    bool imagePrinter = false;     /* a FILE port gets TIFF pages, not PDF */
    int margins[4] = {0, 0, 0, 0}; /* left, top, right, bottom; hundredths of a mm */
    bool duplex = false;           /* can print on both sides */
    std::vector<gdi::DeviceFont> deviceFonts;
    short defaultPaper = DMPAPER_LETTER;
    short defaultSource = 0;
    short defaultOrientation = DMORIENT_PORTRAIT;
    short defaultDuplex = 1; /* DMDUP_SIMPLEX */
    bool defaultMonochrome = false;
    DWORD attributes = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_QUEUED;
    DWORD status = 0;
    std::vector<BYTE> storedDevMode; /* SetPrinterA's device mode, when set */
    bool cups = false;               /* a queue of the CUPS server, not in the registry */
    DWORD cupsJobs = 0;              /* queued-job-count the server reported */

    const Paper *paper(short number) const;
    const Bin *bin(short number) const;
    /* The queue of a "CUPS:<queue>" port, else empty. */
    std::string cupsQueue() const;
};

/* A DEVMODEA followed by our private bytes. */
using DevMode = std::vector<BYTE>;

/* ---- printers (printer_store.cpp, embedded.cpp, cups_queues.cpp) ---- */

/* Creates the embedded default printer on a fresh root, once. */
void EnsureSpooler();
/* A printer by name (case-insensitive), registry first, then CUPS. */
std::optional<Printer> LoadPrinter(const std::string &name);
/* Every printer, registry ones first, in the registry's order. */
std::vector<Printer> ListPrinters();
/* Writes level-2 changes back to the registry key (not for CUPS queues). */
DWORD SavePrinter(const Printer &printer);

/* ---- device modes (devmode.cpp) ---- */

DevMode DefaultDevMode(const Printer &printer);
/* Copies the fields named in `in`'s dmFields onto `out`, keeping only values
 * the printer can honour; private bytes are taken when `in` carries ours. */
void MergeDevMode(const Printer &printer, DevMode &out, const DEVMODEA &in);
/* A usable copy of a caller's DEVMODEA (NULL, too small: nullopt). */
std::optional<DevMode> CopyDevMode(const DEVMODEA *dm);
const DEVMODEA &AsDevMode(const DevMode &dm);
/* Whether a device mode's public and private parts lie within size bytes
 * (for device modes read from the registry or a global block). */
bool FitsIn(const BYTE *data, std::size_t size);
gdi::DeviceDescription DescribeDevice(const Printer &printer, const DevMode &dm);

/* ---- the default printer (default_printer.cpp) ---- */

std::string DefaultPrinterName(); /* empty when none (or it no longer exists) */
void StoreDefaultPrinter(const std::string &name, const std::string &port);

/* ---- jobs (jobs.cpp) ---- */

std::recursive_mutex &SpoolLock();

struct Job {
    int id = 0;
    std::string printer;
    std::string document;
    std::string user;
    std::string output; /* a file the caller named (lpszOutput, pOutputFile) */
    bool cancelled = false;
    int pages = 0;
};

/* A new job counted against the printer until FinishJob; ids are unique
 * across the processes of a root. */
int BeginJob(const std::string &printer, const std::string &document, const std::string &output);
/* Ends the job in this process.  A job handed to CUPS (MarkJobSent) stays
 * counted, in every process, until CUPS has finished with it. */
void FinishJob(int id);
std::optional<Job> FindJob(int id);
bool UpdateJob(int id, const Job &job);
/* cJobs: the printer's documents not yet printed, counted once each, and
 * other clients' unfinished jobs on its CUPS queue. */
DWORD ActiveJobs(const Printer &printer);
/* The spool folder under the root, created on demand. */
std::string SpoolFolder();

/* A document handed to a CUPS queue as one or more consecutive jobs, kept
 * as a marker file under the spool folder until CUPS has finished them. */
struct SentJob {
    std::string marker; /* the marker file */
    std::string printer, queue, document, user;
    std::vector<int> ids;    /* CUPS job ids, in printing order */
    std::vector<int> warned; /* ids whose stop was already logged */
};
void MarkJobSent(const Job &job, const std::string &queue, const std::vector<int> &ids);
std::vector<SentJob> SentJobs();
/* Rewrites a marker's warned ids. */
void UpdateSentJob(const SentJob &sent);
/* Removes the marker; true for the one caller that removed it. */
bool ForgetSentJob(const SentJob &sent);

/* ---- delivery (ports.cpp, spool_sink.cpp, cups_submit.cpp) ---- */

/* Delivers a finished spool file (PDF or raw bytes) to the printer's port or
 * the job's output file.  Returns 0 or an error code. */
enum class DocKind { Pdf, Raw, Tiff };
DWORD DeliverDocument(const Printer &printer, const Job &job, const std::string &spoolFile,
                      DocKind kind, const std::vector<gdi::PageInfo> &pages, int copies);
std::shared_ptr<gdi::DocumentSink> MakeSink(const Printer &printer, int copies);
/* Maps a Windows path under the root; empty with the error set when invalid. */
std::string PosixPath(const std::string &windowsPath, DWORD *error);

/* ---- CUPS (bins.cpp, cups_*.cpp) ---- */

/* Bins for a queue's media-source keywords, in their order: the number and
 * name a Windows driver gives such a tray, driver numbers from DMBIN_USER
 * on for the rest; each keeps its keyword. */
std::vector<Bin> BinsForSources(const std::vector<std::string> &sources);

std::vector<Printer> CupsQueues();
/* One queue by name (case-insensitive); a queue the last listing lacks is
 * asked for, so one added a moment ago is found. */
std::optional<Printer> CupsQueue(const std::string &name);
/* The CUPS default destination, empty when there is none or no server. */
std::string CupsDefaultQueue();
/* Sends a finished document to the printer's queue; pages with other
 * media go as consecutive jobs, recorded with MarkJobSent. */
DWORD CupsSubmit(const Printer &printer, const Job &job, const std::string &file, DocKind kind,
                 const std::vector<gdi::PageInfo> &pages, int copies);
/* Settles the documents sent to the printer's queue (logging those CUPS
 * aborted, cancelled or stopped) and counts the unfinished ones, each
 * document once, plus other clients' jobs on the queue. */
DWORD CupsUnfinishedJobs(const Printer &printer);

/* Blanks the /Group entries of a PDF's page dictionaries in place (same
 * length, so the cross-reference table stays valid); returns how many. */
int StripPageGroups(std::string &pdf);

/* ---- utilities ---- */

bool SameName(const std::string &a, const std::string &b);
/* Packs level structures at the front of a caller's buffer and their strings
 * and device modes at the back, as the Windows spooler does. */
class Packer {
public:
    Packer(BYTE *buf, DWORD size) : buf_(buf), size_(size), tail_(size) {}
    /* Reserves the fixed structure; null when measuring or out of room. */
    void *fixed(DWORD bytes);
    LPSTR str(const std::string &s);
    LPDEVMODEA devmode(const DevMode &dm);
    DWORD needed() const { return head_ + (size_ - tail_) + extra_; }
    bool fits() const { return !overflow_; }

private:
    BYTE *place(DWORD bytes, DWORD align);
    BYTE *buf_;
    DWORD size_;
    DWORD head_ = 0;
    DWORD tail_;
    DWORD extra_ = 0;
    bool overflow_ = false;
};

} // namespace winport::spool

#endif /* WINPORT_SPOOL_PRIVATE_H */
