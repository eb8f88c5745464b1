/*
 * The form object of the PDF engine: a fillable PDF form opened, filled
 * field by field, made part of its pages and printed or saved.
 *
 * Who does what: qpdf parses the form and sets check boxes, radio buttons
 * and field flags (their appearances exist in the file, qpdf only picks the
 * state); poppler fills text and choice fields, because it writes their new
 * appearances with any character the field's font has, where qpdf's
 * generator knows ASCII only; qpdf then flattens the widgets into the page
 * content ("prepare"), so every printer and viewer shows the values.
 */
#ifndef PDFENGINE_PDF_FORM_H
#define PDFENGINE_PDF_FORM_H

#include <kelpdftron.h>

#include <memory>
#include <string>
#include <vector>

class QPDF;
class QPDFFormFieldObjectHelper;

namespace pdfengine {

class PdfForm : public KelPdfCompFormObject {
public:
    PdfForm();
    ~PdfForm() override;

    int WINAPI OpenForm(LPCSTR path) override;
    int WINAPI SetField(LPCSTR name, LPCSTR value, int flags) override;
    int WINAPI PrintForm(HDC hdc, int page, LPSTR errorText) override;
    int WINAPI SaveForm(LPCSTR path, int flags, LPSTR errorText) override;
    int WINAPI PrepareForm(void) override;

    /* Why the last slot failed (for the slots without a text buffer). */
    const std::string &LastError() const { return error_; }

private:
    /* A value poppler is to give a text or choice field. */
    struct PendingValue {
        std::string name; /* fully qualified, UTF-8 */
        std::string text; /* UTF-8 */
        int choice = -1;  /* option index for choice fields, else -1 */
    };

    bool Fill();    /* qpdf's changes, then poppler's: filled_ */
    bool Flatten(); /* filled_ with the widgets made page content: prepared_ */
    bool SetButton(QPDFFormFieldObjectHelper &field, const std::string &value);
    bool SetChoice(QPDFFormFieldObjectHelper &field, const std::string &name,
                   const std::string &value);

    std::string original_; /* the form's bytes; qpdf reads from them */
    std::unique_ptr<QPDF> qpdf_;
    std::vector<PendingValue> pending_;
    std::string filled_;
    std::string prepared_;
    bool filledValid_ = false;
    bool preparedValid_ = false;
    std::string error_;
};

} // namespace pdfengine

#endif
