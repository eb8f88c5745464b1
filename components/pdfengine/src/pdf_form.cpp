/*
 * The form object (see pdf_form.h).
 */
#include "pdf_form.h"

#include "pdf_draw.h"
#include "pdf_files.h"
#include "pdf_text.h"

#include <poppler.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <glib/gstdio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <strings.h>

namespace pdfengine {
namespace {

constexpr int kFieldReadOnly = 1;        /* field flag Ff bit 1 */
constexpr int kChoiceEditable = 1 << 18; /* Ff bit 19: a combo box that takes any text */
constexpr long long kAnnotHidden = 2;    /* annotation flag F bit 2 */
constexpr long long kAnnotPrint = 4;     /* annotation flag F bit 3 */

/* Check-box values that mean "checked". */
bool MeansChecked(const std::string &value)
{
    for (const char *yes : {"Yes", "On", "1", "True", "X", "Checked"})
        if (strcasecmp(value.c_str(), yes) == 0)
            return true;
    return false;
}

std::string WriteQpdf(QPDF &pdf, bool linearize = false)
{
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setLinearization(linearize);
    writer.write();
    std::unique_ptr<Buffer> buffer(writer.getBuffer());
    return std::string(reinterpret_cast<const char *>(buffer->getBuffer()), buffer->getSize());
}

std::unique_ptr<QPDF> ReadQpdf(const std::string &bytes)
{
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->processMemoryFile("form", bytes.data(), bytes.size());
    return pdf;
}

/* The widgets' on-state names of a button field (the keys of their normal
 * appearances other than /Off), over every terminal field of that name: a
 * radio button's kids are fields of their own to qpdf. */
std::set<std::string> OnStates(const std::string &name, QPDFAcroFormDocumentHelper &form)
{
    std::set<std::string> states;
    for (QPDFFormFieldObjectHelper &field : form.getFormFields()) {
        if (field.getFullyQualifiedName() != name)
            continue;
        for (QPDFAnnotationObjectHelper &widget : form.getAnnotationsForField(field)) {
            QPDFObjectHandle normal = widget.getObjectHandle().getKey("/AP").getKey("/N");
            if (normal.isDictionary())
                for (const std::string &key : normal.getKeys())
                    if (key != "/Off")
                        states.insert(key);
        }
    }
    return states;
}

/* Saves a poppler document and reads it back (poppler saves to files). */
bool SavePoppler(PopplerDocument *doc, std::string *bytes, std::string *error)
{
    gchar *path = nullptr;
    GError *gerror = nullptr;
    int fd = g_file_open_tmp("kelpdf-XXXXXX.pdf", &path, &gerror);
    if (fd < 0) {
        *error = gerror ? gerror->message : "no temporary file";
        g_clear_error(&gerror);
        return false;
    }
    close(fd);
    gchar *uri = g_filename_to_uri(path, nullptr, nullptr);
    bool ok = uri && poppler_document_save(doc, uri, &gerror);
    gchar *contents = nullptr;
    gsize length = 0;
    ok = ok && g_file_get_contents(path, &contents, &length, &gerror);
    if (ok)
        bytes->assign(contents, length);
    else
        *error = gerror ? gerror->message : "the filled form could not be saved";
    g_clear_error(&gerror);
    g_free(contents);
    g_free(uri);
    g_unlink(path);
    g_free(path);
    return ok;
}

} // namespace

PdfForm::PdfForm() = default;
PdfForm::~PdfForm() = default;

int WINAPI PdfForm::OpenForm(LPCSTR path)
{
    error_.clear();
    pending_.clear();
    filledValid_ = preparedValid_ = false;
    qpdf_.reset();
    if (!path) {
        error_ = "no form path";
        return 0;
    }
    if (!pdfshared::ReadWholeFile(path, &original_, &error_))
        return 0;
    try {
        qpdf_ = ReadQpdf(original_);
        return 1;
    } catch (std::exception &e) {
        error_ = std::string("not a PDF form: ") + e.what();
        qpdf_.reset();
        return 0;
    }
}

bool PdfForm::SetButton(QPDFFormFieldObjectHelper &field, const std::string &value)
{
    QPDFAcroFormDocumentHelper form(*qpdf_);
    std::set<std::string> states = OnStates(field.getFullyQualifiedName(), form);
    if (field.isCheckbox()) {
        bool checked = MeansChecked(value) || states.count("/" + value);
        field.setV(QPDFObjectHandle::newName(checked ? "/Yes" : "/Off"));
        return true;
    }
    if (value.empty() || strcasecmp(value.c_str(), "Off") == 0) {
        field.setV(QPDFObjectHandle::newName("/Off"));
        return true;
    }
    if (!states.count("/" + value)) {
        error_ = "no button " + value + " in " + field.getFullyQualifiedName();
        return false;
    }
    field.setV(QPDFObjectHandle::newName("/" + value));
    return true;
}

bool PdfForm::SetChoice(QPDFFormFieldObjectHelper &field, const std::string &name,
                        const std::string &value)
{
    QPDFObjectHandle options = field.getInheritableFieldValue("/Opt");
    int count = options.isArray() ? options.getArrayNItems() : 0;
    for (int i = 0; i < count; i++) {
        QPDFObjectHandle option = options.getArrayItem(i);
        /* An option is its text, or an [export value, text] pair. */
        for (int part = 0; part < (option.isArray() ? 2 : 1); part++) {
            QPDFObjectHandle text = option.isArray() ? option.getArrayItem(part) : option;
            if (text.isString() && text.getUTF8Value() == value) {
                pending_.push_back({name, value, i});
                return true;
            }
        }
    }
    if (field.getFlags() & kChoiceEditable) {
        pending_.push_back({name, value, -1});
        return true;
    }
    error_ = "no option " + value + " in " + name;
    return false;
}

int WINAPI PdfForm::SetField(LPCSTR nameText, LPCSTR valueText, int flags)
{
    error_.clear();
    if (!qpdf_ || !nameText) {
        error_ = qpdf_ ? "no field name" : "no form open";
        return 0;
    }
    const std::string name = pdfshared::ToUtf8(nameText);
    const std::string value = pdfshared::ToUtf8(valueText);
    try {
        QPDFAcroFormDocumentHelper form(*qpdf_);
        std::vector<QPDFFormFieldObjectHelper> fields = form.getFormFields();
        auto it = std::find_if(fields.begin(), fields.end(), [&](QPDFFormFieldObjectHelper &f) {
            return f.getFullyQualifiedName() == name;
        });
        if (it == fields.end()) {
            error_ = "no field " + name;
            return 0;
        }
        QPDFFormFieldObjectHelper &field = *it;
        bool ok = true;
        if (flags & KELPDF_FIELD_SET_VALUE) {
            if (field.isCheckbox() || field.isRadioButton())
                ok = SetButton(field, value);
            else if (field.isText())
                pending_.push_back({name, value, -1});
            else if (field.isChoice())
                ok = SetChoice(field, name, value);
            else {
                error_ = name + " takes no value";
                ok = false;
            }
        }
        if (ok && (flags & KELPDF_FIELD_READ_ONLY)) {
            QPDFObjectHandle dict = field.getObjectHandle();
            dict.replaceKey("/Ff", QPDFObjectHandle::newInteger(field.getFlags() | kFieldReadOnly));
        }
        if (ok && (flags & KELPDF_FIELD_HIDDEN))
            for (QPDFAnnotationObjectHelper &widget : form.getAnnotationsForField(field)) {
                QPDFObjectHandle dict = widget.getObjectHandle();
                long long f = dict.getKey("/F").isInteger() ? dict.getKey("/F").getIntValue() : 0;
                dict.replaceKey("/F",
                                QPDFObjectHandle::newInteger((f | kAnnotHidden) & ~kAnnotPrint));
            }
        filledValid_ = preparedValid_ = false;
        return ok ? 1 : 0;
    } catch (std::exception &e) {
        error_ = e.what();
        return 0;
    }
}

bool PdfForm::Fill()
{
    if (filledValid_)
        return true;
    std::string buttons;
    try {
        buttons = WriteQpdf(*qpdf_);
    } catch (std::exception &e) {
        error_ = e.what();
        return false;
    }
    GBytes *data = g_bytes_new(buttons.data(), buttons.size());
    GError *gerror = nullptr;
    PopplerDocument *doc = poppler_document_new_from_bytes(data, nullptr, &gerror);
    g_bytes_unref(data);
    if (!doc) {
        error_ = gerror ? gerror->message : "poppler cannot read the form";
        g_clear_error(&gerror);
        return false;
    }
    /* Every text and choice field is given its value again, the new ones
     * and the old, so poppler writes all their appearances: a form that
     * leaves appearances to the viewer (NeedAppearances) would otherwise
     * lose its unchanged values when flattened. */
    std::set<int> done;
    for (int i = 0; i < poppler_document_get_n_pages(doc); i++) {
        PopplerPage *page = poppler_document_get_page(doc, i);
        GList *mapping = poppler_page_get_form_field_mapping(page);
        for (GList *l = mapping; l; l = l->next) {
            PopplerFormField *field = static_cast<PopplerFormFieldMapping *>(l->data)->field;
            if (!done.insert(poppler_form_field_get_id(field)).second)
                continue;
            gchar *nameText = poppler_form_field_get_name(field);
            std::string name = nameText ? nameText : "";
            g_free(nameText);
            const PendingValue *value = nullptr;
            for (const PendingValue &p : pending_) /* the last setting wins */
                if (p.name == name)
                    value = &p;
            PopplerFormFieldType type = poppler_form_field_get_field_type(field);
            if (type == POPPLER_FORM_FIELD_TEXT) {
                gchar *old = poppler_form_field_text_get_text(field);
                poppler_form_field_text_set_text(field, value ? value->text.c_str()
                                                        : old ? old
                                                              : "");
                g_free(old);
            } else if (type == POPPLER_FORM_FIELD_CHOICE && value) {
                if (value->choice >= 0) {
                    poppler_form_field_choice_unselect_all(field);
                    poppler_form_field_choice_select_item(field, value->choice);
                } else {
                    poppler_form_field_choice_set_text(field, value->text.c_str());
                }
            }
        }
        poppler_page_free_form_field_mapping(mapping);
        g_object_unref(page);
    }
    bool ok = SavePoppler(doc, &filled_, &error_);
    g_object_unref(doc);
    filledValid_ = ok;
    return ok;
}

bool PdfForm::Flatten()
{
    if (preparedValid_)
        return true;
    if (!Fill())
        return false;
    try {
        auto pdf = ReadQpdf(filled_);
        /* poppler leaves an /AS on the text and choice widgets it fills; a
         * widget whose normal appearance is one stream has no states, and
         * with an /AS qpdf looks for that state and flattens nothing. */
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(*pdf).getAllPages())
            for (QPDFAnnotationObjectHelper &annot : page.getAnnotations("/Widget")) {
                QPDFObjectHandle dict = annot.getObjectHandle();
                if (dict.getKey("/AP").getKey("/N").isStream())
                    dict.removeKey("/AS");
            }
        /* The appearances are written; qpdf must not write them again (its
         * generator turns every non-ASCII character into '?'). */
        QPDFObjectHandle acroForm = pdf->getRoot().getKey("/AcroForm");
        if (acroForm.isDictionary())
            acroForm.removeKey("/NeedAppearances");
        QPDFPageDocumentHelper(*pdf).flattenAnnotations(an_print, an_invisible | an_hidden);
        prepared_ = WriteQpdf(*pdf);
        preparedValid_ = true;
        return true;
    } catch (std::exception &e) {
        error_ = std::string("cannot flatten the form: ") + e.what();
        return false;
    }
}

int WINAPI PdfForm::PrepareForm(void)
{
    error_.clear();
    if (!qpdf_) {
        error_ = "no form open";
        return 0;
    }
    return Flatten() ? 1 : 0;
}

int WINAPI PdfForm::PrintForm(HDC hdc, int page, LPSTR errorText)
{
    error_.clear();
    int printed = 0;
    if (!qpdf_)
        error_ = "no form open";
    else if (Flatten()) {
        pdfshared::PrintRequest request;
        request.hdc = hdc;
        if (page >= 1)
            request.firstPage = request.lastPage = page;
        printed = pdfshared::PrintPdf(prepared_, request, &error_);
    }
    pdfshared::CopyText(errorText, KELPDFTRON_ERROR_TEXT_SIZE, printed ? "" : error_);
    return printed > 0 ? 1 : 0;
}

int WINAPI PdfForm::SaveForm(LPCSTR path, int flags, LPSTR errorText)
{
    error_.clear();
    bool ok = false;
    if (!qpdf_ || !path)
        error_ = qpdf_ ? "no path" : "no form open";
    else if (preparedValid_ || Fill()) {
        try {
            std::string bytes = preparedValid_ ? prepared_ : filled_;
            if (flags & KELPDF_SAVE_LINEARIZED) {
                auto pdf = ReadQpdf(bytes);
                bytes = WriteQpdf(*pdf, true);
            }
            ok = pdfshared::ReplaceFile(path, bytes, &error_);
        } catch (std::exception &e) {
            error_ = e.what();
        }
    }
    pdfshared::CopyText(errorText, KELPDFTRON_ERROR_TEXT_SIZE, ok ? "" : error_);
    return ok ? 1 : 0;
}

} // namespace pdfengine
