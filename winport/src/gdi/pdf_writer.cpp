/*
 * The PDF writer thread (see pdf_writer.h).
 */
#include "pdf_writer.h"

#include <cairo-pdf.h>

namespace winport::gdi {

PdfWriter::PdfWriter(cairo_surface_t *pdf) : pdf_(pdf), thread_([this] { Run(); }) {}

PdfWriter::~PdfWriter()
{
    Abandon();
}

void PdfWriter::Submit(cairo_surface_t *page, double widthPt, double heightPt)
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return waiting_.size() < kMaxWaiting; });
    waiting_.push_back(Page{page, widthPt, heightPt});
    changed_.notify_all();
}

void PdfWriter::Finish()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
}

void PdfWriter::Abandon()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const Page &p : waiting_)
            cairo_surface_destroy(p.surface);
        waiting_.clear();
    }
    Finish();
}

void PdfWriter::Run()
{
    for (;;) {
        Page page;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [this] { return stopping_ || !waiting_.empty(); });
            if (waiting_.empty())
                return; /* stopping, and everything written */
            page = waiting_.front();
            waiting_.pop_front();
            changed_.notify_all();
        }
        cairo_pdf_surface_set_size(pdf_, page.width, page.height);
        cairo_t *cr = cairo_create(pdf_);
        cairo_set_source_surface(cr, page.surface, 0, 0);
        cairo_paint(cr);
        cairo_show_page(cr);
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
            failed_ = true;
        cairo_destroy(cr);
        cairo_surface_destroy(page.surface);
    }
}

} // namespace winport::gdi
