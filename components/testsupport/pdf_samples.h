/*
 * Sample PDFs for the component tests, made by outside code: cairo writes
 * the text documents, and the forms and the Type 3 font document are
 * written object by object as the PDF reference describes them.
 */
#ifndef COMPONENTS_TESTSUPPORT_PDF_SAMPLES_H
#define COMPONENTS_TESTSUPPORT_PDF_SAMPLES_H

#include <string>
#include <vector>

namespace samples {

/* A word drawn at (x, y), the baseline's left end, in points from the
 * page's top-left corner, in Liberation Sans 12. */
struct Word {
    double x;
    double y;
    std::string text;
};

struct Page {
    double width = 612; /* points; US Letter */
    double height = 792;
    std::vector<Word> words;
};

/* A vector PDF (cairo) with the pages given. */
std::string TextPdf(const std::vector<Page> &pages);

/* A PDF of `pages` pages, each with "Page <n> of <base>", thirty lines of
 * text, a rule, a shaded box and a table grid: vector content of the kind
 * the client prints, for joins, benchmarks and the gallery. */
std::string NumberedPdf(int pages, const std::string &base);

/* A one-page AcroForm form: text field "PatientName" (72,700)-(372,720),
 * check box "Consent", radio group "Sex" with buttons "M" and "F", combo
 * box "Clinic" with the options North, South and East (value North), and
 * a text field "Hidden" (72,540)-(372,560) holding "Secret". */
std::string FormPdf();

/* A one-page PDF whose only text is in a Type 3 font. */
std::string Type3Pdf();

/* Writes bytes to a file (POSIX path); false on failure. */
bool WriteFile(const std::string &path, const std::string &bytes);
std::string ReadFile(const std::string &path);

} // namespace samples

#endif
