/*
 * qpdf in memory (see pdf_qpdf.h).
 *
 * qpdf reports trouble by throwing; each entry point catches everything
 * and turns it into an error text, since exceptions never cross the
 * components' C interfaces.  Warnings (a repaired cross-reference table,
 * say) are kept quiet: a document qpdf could repair is a good document.
 */
#include "pdf_qpdf.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_DCT.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>

namespace pdfshared {
namespace {

std::unique_ptr<QPDF> Open(const std::string &bytes, const char *name)
{
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->processMemoryFile(name, bytes.data(), bytes.size());
    return pdf;
}

std::string Write(QPDF &pdf, bool objectStreams = true)
{
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setObjectStreamMode(objectStreams ? qpdf_o_preserve : qpdf_o_disable);
    writer.write();
    std::unique_ptr<Buffer> buffer(writer.getBuffer());
    return std::string(reinterpret_cast<const char *>(buffer->getBuffer()), buffer->getSize());
}

std::unique_ptr<QPDF> Empty()
{
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->emptyPDF();
    return pdf;
}

/* Copies every page of `from` to the end of `to`, with the form fields
 * their widgets belong to. */
void AppendPages(QPDF &to, QPDF &from)
{
    QPDFPageDocumentHelper toPages(to);
    QPDFAcroFormDocumentHelper toForm(to);
    QPDFAcroFormDocumentHelper fromForm(from);
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(from).getAllPages()) {
        QPDFObjectHandle copy = to.copyForeignObject(page.getObjectHandle());
        toPages.addPage(QPDFPageObjectHelper(copy), false);
        if (fromForm.hasAcroForm())
            toForm.fixCopiedAnnotations(copy, page.getObjectHandle(), fromForm);
    }
}

template <class Fn> bool Guard(std::string *error, Fn fn)
{
    try {
        fn();
        return true;
    } catch (std::exception &e) {
        *error = e.what();
    } catch (...) {
        *error = "unknown error";
    }
    return false;
}

/* Passes the quality to libjpeg when qpdf compresses an image. */
class JpegQuality : public Pl_DCT::CompressConfig {
public:
    explicit JpegQuality(int quality) : quality_(quality) {}
    void apply(jpeg_compress_struct *cinfo) override { jpeg_set_quality(cinfo, quality_, TRUE); }

private:
    int quality_;
};

/* The image's components when it may become JPEG: 8-bit, device RGB or
 * grey, stored losslessly, not a mask; 0 otherwise. */
int JpegComponents(QPDFObjectHandle dict, bool color, bool grey)
{
    if (!dict.getKey("/Subtype").isNameAndEquals("/Image") ||
        !dict.getKey("/BitsPerComponent").isInteger() ||
        dict.getKey("/BitsPerComponent").getIntValue() != 8 || dict.getKey("/ImageMask").isBool() ||
        dict.hasKey("/Decode"))
        return 0;
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (!filter.isNull() && !filter.isNameAndEquals("/FlateDecode"))
        return 0;
    QPDFObjectHandle space = dict.getKey("/ColorSpace");
    if (color && space.isNameAndEquals("/DeviceRGB"))
        return 3;
    if (grey && space.isNameAndEquals("/DeviceGray"))
        return 1;
    return 0;
}

} // namespace

bool NormalizePdf(const std::string &in, std::string *out, std::string *error)
{
    return Guard(error, [&] {
        auto pdf = Open(in, "document");
        *out = Write(*pdf, false);
    });
}

bool JoinPdfs(const std::vector<const std::string *> &parts, std::string *out, std::string *error)
{
    return Guard(error, [&] {
        auto joined = Empty();
        /* qpdf reads copied streams from their documents when writing, so
         * every part stays open until then. */
        std::vector<std::unique_ptr<QPDF>> open;
        for (std::size_t i = 0; i < parts.size(); i++) {
            open.push_back(Open(*parts[i], ("part " + std::to_string(i + 1)).c_str()));
            AppendPages(*joined, *open.back());
        }
        *out = Write(*joined);
    });
}

bool SplitPdf(const std::string &in, std::vector<std::string> *pages, std::string *error)
{
    return Guard(error, [&] {
        auto pdf = Open(in, "document");
        std::vector<std::string> result;
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(*pdf).getAllPages()) {
            auto single = Empty();
            QPDFPageDocumentHelper(*single).addPage(
                QPDFPageObjectHelper(single->copyForeignObject(page.getObjectHandle())), false);
            result.push_back(Write(*single));
        }
        *pages = std::move(result);
    });
}

int PdfPageCount(const std::string &in)
{
    int count = -1;
    std::string ignored;
    Guard(&ignored, [&] {
        auto pdf = Open(in, "document");
        count = static_cast<int>(QPDFPageDocumentHelper(*pdf).getAllPages().size());
    });
    return count;
}

bool ScalePdfPages(const std::string &in, double widthPt, double heightPt, std::string *out,
                   std::string *error)
{
    return Guard(error, [&] {
        auto pdf = Open(in, "document");
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(*pdf).getAllPages()) {
            /* The page becomes a form XObject placed on the new paper, which
             * keeps any unbalanced graphics state of its content inside. */
            QPDFObjectHandle form = page.getFormXObjectForPage();
            /* qpdf reads the form's content from the page's when writing;
             * take it now, before the page gets its new content. */
            form.replaceStreamData(form.getStreamData(qpdf_dl_generalized),
                                   QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
            QPDFObjectHandle::Rectangle paper(0, 0, widthPt, heightPt);
            std::string placement = page.placeFormXObject(form, "/Fx1", paper, true, true, true);
            QPDFObjectHandle dict = page.getObjectHandle();
            dict.replaceKey("/Contents", QPDFObjectHandle::newStream(pdf.get(), placement));
            dict.replaceKey("/Resources", QPDFObjectHandle::parse("<< /XObject << >> >>"));
            dict.getKey("/Resources").getKey("/XObject").replaceKey("/Fx1", form);
            dict.replaceKey("/MediaBox", QPDFObjectHandle::newFromRectangle(paper));
            for (const char *box : {"/CropBox", "/TrimBox", "/BleedBox", "/ArtBox", "/Rotate"})
                dict.removeKey(box);
        }
        *out = Write(*pdf);
    });
}

bool JpegCompressImages(const std::string &in, int quality, bool color, bool grey, std::string *out,
                        int *changed, std::string *error)
{
    *changed = 0;
    return Guard(error, [&] {
        auto pdf = Open(in, "document");
        JpegQuality config(quality);
        for (QPDFObjectHandle object : pdf->getAllObjects()) {
            if (!object.isStream())
                continue;
            QPDFObjectHandle dict = object.getDict();
            int components = JpegComponents(dict, color, grey);
            if (!components || !dict.getKey("/Width").isInteger() ||
                !dict.getKey("/Height").isInteger())
                continue;
            long long width = dict.getKey("/Width").getIntValue();
            long long height = dict.getKey("/Height").getIntValue();
            if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
                continue;
            std::shared_ptr<Buffer> raw = object.getStreamData(qpdf_dl_generalized);
            if (raw->getSize() != std::size_t(width * height * components))
                continue; /* not what the dictionary says: leave it alone */
            Pl_Buffer jpeg("jpeg");
            Pl_DCT dct("dct", &jpeg, JDIMENSION(width), JDIMENSION(height), components,
                       components == 3 ? JCS_RGB : JCS_GRAYSCALE, &config);
            dct.write(raw->getBuffer(), raw->getSize());
            dct.finish();
            std::shared_ptr<Buffer> compressed = jpeg.getBufferSharedPointer();
            if (compressed->getSize() >= object.getRawStreamData()->getSize())
                continue;
            object.replaceStreamData(compressed, QPDFObjectHandle::newName("/DCTDecode"),
                                     QPDFObjectHandle::newNull());
            ++*changed;
        }
        *out = Write(*pdf);
    });
}

} // namespace pdfshared
