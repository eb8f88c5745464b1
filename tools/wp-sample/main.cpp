/*
 * wp-sample: writes word-processor document payloads as the server's editor
 * would send them, for the gallery, the benchmark and operators testing a
 * workstation with novarc-send --wp-document.  It uses the tests' writer of
 * the format, so what it writes is what the tests check.
 *
 *   wp-sample letter PAGES OUT.wpd [OUT.txt]   a letter-style document of
 *       PAGES pages (mixed fonts, tabs, a check box and a signature per
 *       page), and the same text as plain paragraphs
 *   wp-sample gallery DIR                      one document per feature (and
 *       letter-images.wpd, a letter with a letterhead and a photograph)
 */
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "wp_document.h"
#include "wp_writer.h"

using namespace wptest;

namespace {

bool Save(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    return (bool)out;
}

const char *const kSentences[] = {
    "The patient was seen today for follow-up of hypertension and reports no chest pain.",
    "Blood pressure is better controlled since the dose was adjusted at the last visit.",
    "She walks thirty minutes most days and has reduced salt in her diet as advised.",
    "No dizziness, no swelling of the ankles, and no shortness of breath on exertion.",
    "Laboratory results from last week show normal kidney function and potassium.",
    "We discussed the plan and she agrees to continue the current medication.",
    "Please contact the office if symptoms return or if home readings stay above target.",
};

/* Words of the body joined into lines the editor would break with soft
 * returns: about 80 characters of 11 point Times on a 6.5 inch line. */
void Paragraph(Cells *c, std::string *text, int iFirst, int iCount)
{
    std::string words;
    for (int i = 0; i < iCount; i++) {
        if (!words.empty())
            words += ' ';
        words += kSentences[(iFirst + i) % 7];
    }
    *text += words + "\n\n";
    size_t at = 0;
    while (at < words.size()) {
        size_t end = at + 80;
        if (end >= words.size()) {
            c->Text(words.substr(at)).Cell(HRT);
            break;
        }
        end = words.rfind(' ', end);
        c->Text(words.substr(at, end - at + 1)).Cell(WP_SRT);
        at = end + 1;
    }
    c->Cell(HRT);
}

std::string SignatureKeys(int iPage)
{
    return Keys()
        .Int(1, 1207)
        .Int(2, 2460311 + iPage)
        .Int(3, 545)
        .Text(4, "Dr Ann Lee, MD")
        .Int(5, 1)
        .Int(6, 5)
        .End();
}

void LetterPage(Cells *c, std::string *text, int iPage)
{
    c->Font(4, 16).Attr(BOLD).Text("Riverside Family Practice").Attr(BOLD, 0).Font(4, 11).Cell(HRT);
    c->Text("12 Mill Road, Springfield").Cell(HRT).Cell(HRT);
    *text += "Riverside Family Practice\n12 Mill Road, Springfield\n\n";
    c->Text("Dear Dr Patel,").Cell(HRT).Cell(HRT);
    *text += "Dear Dr Patel,\n\n";
    for (int p = 0; p < 3; p++)
        Paragraph(c, text, iPage + p * 2, 4);
    c->Font(3, 10).Attr(UND).Text("Medication").Attr(UND, 0);
    c->Attr(WP_TAB_FROM_MARGIN, 180, 0).Attr(UND).Text("Dose").Attr(UND, 0);
    c->Attr(WP_TAB_FROM_MARGIN, 288, 0).Attr(UND).Text("When").Attr(UND, 0).Cell(HRT);
    const char *const kRows[][3] = {{"Lisinopril", "10 mg", "morning"},
                                    {"Amlodipine", "5 mg", "evening"},
                                    {"Atorvastatin", "20 mg", "night"}};
    *text += "Medication\tDose\tWhen\n";
    for (const auto &row : kRows) {
        c->Text(row[0]).Cell(TAB).Cell(TAB).Text(row[1]).Cell(TAB).Cell(TAB).Text(row[2]);
        c->Cell(HRT);
        *text += std::string(row[0]) + "\t" + row[1] + "\t" + row[2] + "\n";
    }
    c->Font(4, 11).Cell(HRT).Record(WP_CHECK_BOX, 1).Text(" Copy sent to the patient").Cell(HRT);
    *text += "[x] Copy sent to the patient\n";
    c->Cell(HRT).Text("Yours sincerely,").Cell(HRT);
    c->Record(SP_SIGNATURE_CODE, 0, 0, 0x16, SignatureKeys(iPage)).Cell(HRT);
    *text += "\nYours sincerely,\nElectronically signed by Dr Ann Lee, MD\n";
}

int Letter(int iPages, const std::string &out, const std::string &textOut)
{
    Header h;
    h.baseFont = 4;
    h.baseSize = 11;
    h.top = h.firstTop = 75;
    h.bottom = h.firstBottom = 75;
    Cells c;
    std::string text;
    for (int p = 1; p <= iPages; p++) {
        LetterPage(&c, &text, p);
        if (p < iPages) {
            c.Cell(FFEED);
            text += "\f";
        }
    }
    if (!Save(out, Payload(h, c)) || (!textOut.empty() && !Save(textOut, text)))
        return 1;
    return 0;
}

/* Gallery documents, one per feature. */
Cells FontsPage()
{
    Cells c;
    const char *const kNames[] = {
        "",      "Courier 10",      "Courier 12", "Helvetica", "Times New Roman",
        "Arial", "Times New Roman", "Courier"};
    for (int f = 1; f <= 7; f++)
        c.Font(f, 12)
            .Text(std::string("Font ") + char('0' + f) + ": " + kNames[f] + " 12 pt")
            .Cell(HRT);
    c.Font(5, 12).Cell(HRT);
    for (int size : {8, 10, 14, 18, 24})
        c.Font(6, size).Text(std::to_string(size) + " point Times ").Cell(HRT);
    c.Font(5, 12)
        .Cell(HRT)
        .Attr(BOLD)
        .Text("Bold ")
        .Attr(BOLD, 0)
        .Attr(ITALICS)
        .Text("italic ")
        .Attr(ITALICS, 0)
        .Attr(UND)
        .Text("underlined")
        .Attr(UND, 0)
        .Text(" and ")
        .Record(WP_FONT_COLOR, 0xC0, 0, 0)
        .Text("red ")
        .Record(WP_FONT_COLOR, 0, 0x60, 0xC0)
        .Text("blue")
        .Record(WP_FONT_COLOR, 0, 0, 0)
        .Cell(HRT);
    c.Text("E = mc")
        .Attr(WP_SUPERSCRIPT)
        .Text("2")
        .Attr(WP_SUPERSCRIPT, 0)
        .Text(", H")
        .Attr(WP_SUBSCRIPT)
        .Text("2")
        .Attr(WP_SUBSCRIPT, 0)
        .Text("O, 37")
        .Attr(WP_SYMBOL, 5)
        .Text("C, ")
        .Attr(WP_SYMBOL, 4)
        .Text(" 2024, ")
        .Attr(WP_SYMBOL, 7)
        .Text("12, ")
        .Attr(WP_SYMBOL, 6)
        .Text(" item")
        .Cell(HRT);
    return c;
}

Cells TabsPage()
{
    Cells c;
    c.Attr(WP_CENTER)
        .Font(5, 14)
        .Attr(BOLD)
        .Text("Centred title")
        .Attr(BOLD, 0)
        .Font(5, 12)
        .Cell(HRT)
        .Cell(HRT);
    c.Text("Half-inch tabs:")
        .Cell(TAB)
        .Text("one")
        .Cell(TAB)
        .Text("two")
        .Cell(TAB)
        .Text("three")
        .Cell(HRT);
    c.Text("Tab positions:")
        .Attr(WP_TAB_POSITION, 216, 0)
        .Text("at 3 in")
        .Attr(WP_TAB_POSITION, 360, 0)
        .Text("at 5 in")
        .Cell(HRT);
    c.Text("From the margin:")
        .Attr(WP_TAB_FROM_MARGIN, 144, 0)
        .Text("+2 in")
        .Attr(WP_TAB_FROM_MARGIN, 288, 0)
        .Text("+4 in")
        .Cell(HRT);
    c.Record(WP_INDENT, 100).Text("Indented one inch").Cell(HRT);
    c.Record(WP_LABEL, 0, 0, 0, Str("Name")).Text("Ann Lee").Cell(HRT);
    c.Record(WP_LABEL, 0, 0, 0, Str("Date of birth")).Text("02/03/1961").Cell(HRT);
    return c;
}

Cells JustifyPage()
{
    Cells c;
    std::string ignored;
    c.Attr(BOLD).Text("Justified (soft returns):").Attr(BOLD, 0).Cell(HRT);
    Paragraph(&c, &ignored, 0, 5);
    return c;
}

Cells BoxesPage()
{
    Cells c;
    c.Record(WP_CHECK_BOX, 0).Text(" Empty box").Cell(HRT);
    c.Record(WP_CHECK_BOX, 1).Text(" Checked box").Cell(HRT);
    c.Record(WP_DATA_CHECK_BOX, 1, 0, 0, I32(7)).Text(" Smoker (data field 7)").Cell(HRT);
    c.Record(WP_DATA_CHECK_BOX, 1, 0, 0, I32(8))
        .Text(" Diabetic (data field 8)")
        .Cell(HRT)
        .Cell(HRT);
    for (int i = 0; i < 40; i++)
        c.Cell(WP_RULE_CHAR);
    c.Cell(HRT)
        .Attr(WP_HIGHLIGHT)
        .Text("Yellow highlight")
        .Attr(WP_HIGHLIGHT, 0)
        .Text(" and ")
        .Attr(WP_HIGHLIGHT2)
        .Text("second highlight")
        .Attr(WP_HIGHLIGHT2, 0)
        .Cell(HRT);
    return c;
}

Cells SignaturePage()
{
    Cells c;
    c.Text("Signed with date and time:").Cell(HRT).Cell(HRT);
    c.Record(SP_SIGNATURE_CODE, 0, 0, 0x16, SignatureKeys(1)).Cell(HRT).Cell(HRT);
    c.Text("Signed by an agent, date only:").Cell(HRT).Cell(HRT);
    c.Record(SP_SIGNATURE_CODE, 1, 0, 0x32, SignatureKeys(2)).Cell(HRT);
    return c;
}

int Gallery(const std::string &dir)
{
    Header h;
    h.baseFont = 5;
    h.baseSize = 12;
    struct {
        const char *name;
        Cells cells;
    } docs[] = {{"fonts", FontsPage()},
                {"tabs", TabsPage()},
                {"justify", JustifyPage()},
                {"boxes", BoxesPage()},
                {"signature", SignaturePage()}};
    for (auto &d : docs) {
        Header dh = h;
        dh.justify = 1;
        if (!Save(dir + "/" + d.name + ".wpd", Payload(dh, d.cells)))
            return 1;
    }
    /* Headings: two pages with heading, footing and page numbers. */
    Cells pages;
    std::string ignored;
    for (int i = 0; i < 9; i++)
        Paragraph(&pages, &ignored, i, 5);
    if (!Save(dir + "/heading.wpd", HeadingPayload(h, pages, 1, 2, "Visit note - Ann Lee",
                                                   "Confidential", WP_FLAG_FIRST_PAGE_HEADING)) ||
        !Save(dir + "/structured.wpd",
              HeadingPayload(h, Cells().Text("A structured heading spreads its items.").Cell(HRT),
                             1, 0,
                             R"({"structured heading": ["Ann Lee", "DOB 02/03/1961", "MRN 4471"]})",
                             "", WP_FLAG_FIRST_PAGE_HEADING)))
        return 1;
    /* A letter on the practice's letterhead (its band is 1.5 inches deep
     * on letter paper) with a photograph in it; the images gallery sends
     * the letterhead and "photo.jpg" before it. */
    Header lh = h;
    lh.top = lh.firstTop = 175;
    Cells letter;
    letter.Text("Dear Dr Lee,").Cell(HRT).Cell(HRT);
    Paragraph(&letter, &ignored, 1, 3);
    letter.Cell(HRT)
        .Record(IMAGE, 0, 0, 0, Keys().Int(2, 300).Int(3, 225).Text(7, "photo.jpg").Int(9, 0).End())
        .Text("The wound on 12 September, healing well.")
        .Cell(HRT);
    if (!Save(dir + "/letter-images.wpd", Payload(lh, letter, WP_FLAG_LETTERHEAD)))
        return 1;
    /* The data fields the boxes page refers to. */
    const std::string fields = I32(0) + I32(3) + I32(7) + Str("smoker") + I32(6) + I32(1) +
                               Str("Y") + I32(3) + I32(8) + Str("diabetic") + I32(6) + I32(0) +
                               Str("N");
    return Save(dir + "/boxes.fields", fields) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "letter" && argc >= 4)
        return Letter(atoi(argv[2]), argv[3], argc > 4 ? argv[4] : "");
    if (mode == "gallery" && argc == 3)
        return Gallery(argv[2]);
    fprintf(stderr, "usage: wp-sample letter PAGES OUT.wpd [OUT.txt] | wp-sample gallery DIR\n");
    return 2;
}
