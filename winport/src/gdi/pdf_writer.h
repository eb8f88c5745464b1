/*
 * The writer of a printer document's PDF.  Pages are drawn into a cairo
 * recording surface on the drawing thread; the writer replays each one
 * into the PDF surface, which turns it into PDF operators and compresses
 * it, on a thread of its own while the next page is drawn.  The PDF
 * surface is the writer's from Start to Finish.
 */
#ifndef WINPORT_GDI_PDF_WRITER_H
#define WINPORT_GDI_PDF_WRITER_H

#include <cairo.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace winport::gdi {

class PdfWriter {
public:
    explicit PdfWriter(cairo_surface_t *pdf);
    ~PdfWriter();
    PdfWriter(const PdfWriter &) = delete;
    PdfWriter &operator=(const PdfWriter &) = delete;

    /* Takes the finished page (its reference) to be written at the given
     * size in points; waits while too many pages are waiting already. */
    void Submit(cairo_surface_t *page, double widthPt, double heightPt);
    /* Waits until every submitted page is written and stops the thread;
     * the PDF surface is then the caller's again. */
    void Finish();
    /* Drops the pages not written yet, then Finish. */
    void Abandon();
    /* Whether cairo reported an error on a page so far. */
    bool Failed() const { return failed_.load(); }

private:
    struct Page {
        cairo_surface_t *surface;
        double width;
        double height;
    };
    void Run();

    static constexpr std::size_t kMaxWaiting = 8; /* bounds the memory of a fast drawer */
    cairo_surface_t *pdf_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Page> waiting_; /* guarded by lock_ */
    bool stopping_ = false;    /* guarded by lock_ */
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

} // namespace winport::gdi

#endif /* WINPORT_GDI_PDF_WRITER_H */
