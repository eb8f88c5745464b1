/*
 * The document sink behind a printer DC: it makes a job at StartDocA,
 * spools the PDF (or, for an image printer on a FILE port, TIFF pages) to a
 * file under <root>/winport/spool, and at EndDoc hands the file to the
 * printer's port.  AbortDoc, or a job cancelled with SetJobA, throws the
 * file away.  The job counts in cJobs until then.
 */
#include "spool/spool_tiff.h"

#include <cstdio>
#include <strings.h>

namespace winport::spool {

namespace {

class SpoolSink : public gdi::DocumentSink {
public:
    SpoolSink(Printer printer, int copies) : printer_(std::move(printer)), copies_(copies) {}
    ~SpoolSink() override { discard(); }

    gdi::PageFormat format() const override
    {
        return raster() ? gdi::PageFormat::Raster : gdi::PageFormat::Pdf;
    }

    int beginDocument(const gdi::DocumentInfo &doc) override
    {
        if (jobId_) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        int id = BeginJob(printer_.name, doc.docName, doc.output);
        path_ = SpoolFolder() + "/job" + std::to_string(id) + (raster() ? ".tif" : ".pdf");
        bool opened = raster() ? (tiff_ = std::make_unique<TiffWriter>())->open(path_)
                               : (file_ = std::fopen(path_.c_str(), "wb")) != nullptr;
        if (!opened) {
            tiff_.reset();
            std::remove(path_.c_str());
            FinishJob(id);
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
        jobId_ = id;
        failed_ = false;
        pages_.clear();
        return id;
    }

    bool writePdf(const unsigned char *data, std::size_t size) override
    {
        if (!file_ || failed_ || std::fwrite(data, 1, size, file_) != size)
            failed_ = true;
        return !failed_;
    }

    bool endPage(const gdi::PageInfo &page, const gdi::RasterPage *raster) override
    {
        pages_.push_back(page);
        if (!raster)
            return true;
        if (!tiff_ || !tiff_->addPage(*raster, page.dpiX, page.dpiY))
            failed_ = true;
        return !failed_;
    }

    bool endDocument(const gdi::DocumentInfo &doc, int pages, bool completed) override
    {
        (void)doc;
        (void)pages;
        bool closed = file_ ? std::fclose(file_) == 0 : tiff_ && tiff_->finish();
        file_ = nullptr;
        tiff_.reset();
        auto job = FindJob(jobId_);
        if (!completed || !job || job->cancelled) {
            discard();
            return true;
        }
        DWORD err = failed_ || !closed ? ERROR_WRITE_FAULT : 0;
        if (!err)
            err = DeliverDocument(printer_, *job, path_, raster() ? DocKind::Tiff : DocKind::Pdf,
                                  pages_, copies_);
        discard();
        if (err)
            SetLastError(err);
        return err == 0;
    }

private:
    bool raster() const
    {
        return printer_.imagePrinter && !strncasecmp(printer_.port.c_str(), "FILE:", 5);
    }

    /* Removes what is left of the spool file and ends the job. */
    void discard()
    {
        if (file_)
            std::fclose(file_);
        file_ = nullptr;
        tiff_.reset();
        if (!path_.empty())
            std::remove(path_.c_str());
        if (jobId_)
            FinishJob(jobId_);
        path_.clear();
        jobId_ = 0;
    }

    Printer printer_;
    int copies_;
    int jobId_ = 0;
    std::string path_;
    std::FILE *file_ = nullptr;
    std::unique_ptr<TiffWriter> tiff_;
    bool failed_ = false;
    std::vector<gdi::PageInfo> pages_;
};

} // namespace

std::shared_ptr<gdi::DocumentSink> MakeSink(const Printer &printer, int copies)
{
    return std::make_shared<SpoolSink>(printer, copies);
}

} // namespace winport::spool
