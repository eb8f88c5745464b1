/*
 * Sample PDFs (see pdf_samples.h).
 */
#include "pdf_samples.h"

#include <cairo-pdf.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace samples {
namespace {

cairo_status_t Append(void *closure, const unsigned char *data, unsigned int length)
{
    static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

/* A PDF from numbered object bodies, with a correct cross-reference table. */
std::string Assemble(const std::vector<std::string> &objects)
{
    std::string pdf = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); i++) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::string Stream(const std::string &dict, const std::string &data)
{
    return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream";
}

std::string Ref(int n)
{
    return std::to_string(n) + " 0 R";
}

} // namespace

std::string TextPdf(const std::vector<Page> &pages)
{
    std::string pdf;
    cairo_surface_t *surface = cairo_pdf_surface_create_for_stream(
        Append, &pdf, pages.empty() ? 612 : pages[0].width, pages.empty() ? 792 : pages[0].height);
    cairo_t *cr = cairo_create(surface);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    for (const Page &page : pages) {
        cairo_pdf_surface_set_size(surface, page.width, page.height);
        for (const Word &word : page.words) {
            cairo_move_to(cr, word.x, word.y);
            cairo_show_text(cr, word.text.c_str());
        }
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return pdf;
}

std::string NumberedPdf(int pages, const std::string &base)
{
    std::string pdf;
    cairo_surface_t *surface = cairo_pdf_surface_create_for_stream(Append, &pdf, 612, 792);
    cairo_t *cr = cairo_create(surface);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    for (int n = 1; n <= pages; n++) {
        cairo_set_source_rgb(cr, 0.85, 0.9, 1.0); /* a shaded title box */
        cairo_rectangle(cr, 60, 50, 492, 32);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_font_size(cr, 16);
        cairo_move_to(cr, 72, 72);
        cairo_show_text(cr, ("Page " + std::to_string(n) + " of " + base).c_str());
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, 60, 92);
        cairo_line_to(cr, 552, 92);
        cairo_stroke(cr);
        cairo_set_font_size(cr, 11);
        for (int line = 0; line < 30; line++) {
            cairo_move_to(cr, 72, 120.0 + line * 16);
            cairo_show_text(cr, ("Line " + std::to_string(line + 1) +
                                 " of a visit note with ordinary clinical text in it.")
                                    .c_str());
        }
        cairo_set_line_width(cr, 0.5); /* a table: 4 columns, 6 rows */
        for (int row = 0; row <= 6; row++) {
            cairo_move_to(cr, 72, 620 + row * 18);
            cairo_line_to(cr, 540, 620 + row * 18);
        }
        for (int col = 0; col <= 4; col++) {
            cairo_move_to(cr, 72 + col * 117, 620);
            cairo_line_to(cr, 72 + col * 117, 728);
        }
        cairo_stroke(cr);
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return pdf;
}

std::string FormPdf()
{
    std::vector<std::string> o(16);
    const std::string font = Ref(4);
    o[0] = "<< /Type /Catalog /Pages 2 0 R /AcroForm 5 0 R >>";
    o[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    o[5] = Stream("", "BT /Helv 12 Tf 72 740 Td (Patient form) Tj ET");
    o[6] = Stream("/Type /XObject /Subtype /Form /BBox [0 0 14 14]", "0 0 1 rg 2 2 10 10 re f");
    o[7] = Stream("/Type /XObject /Subtype /Form /BBox [0 0 14 14]", "0 G 0.5 0.5 13 13 re s");
    const std::string states = " /AP << /N << /%s 7 0 R /Off 8 0 R >> >> ";
    auto onOff = [&](const char *on) {
        char buf[80];
        std::snprintf(buf, sizeof buf, states.c_str(), on);
        return std::string(buf);
    };
    const std::string widget = "/Type /Annot /Subtype /Widget /F 4 /P 3 0 R ";
    o[8] = "<< /FT /Tx /T (PatientName) " + widget +
           "/Rect [72 700 372 720] /DA (/Helv 12 Tf 0 g) /V () >>";
    o[9] = "<< /FT /Btn /T (Consent) " + widget + "/Rect [72 660 86 674] /V /Off /AS /Off" +
           onOff("Yes") + ">>";
    o[10] = "<< /FT /Btn /Ff 49152 /T (Sex) /V /Off /Kids [12 0 R 13 0 R] >>";
    o[11] = "<< /Parent 11 0 R " + widget + "/Rect [72 620 86 634] /AS /Off" + onOff("M") + ">>";
    o[12] = "<< /Parent 11 0 R " + widget + "/Rect [112 620 126 634] /AS /Off" + onOff("F") + ">>";
    o[13] = "<< /FT /Ch /Ff 131072 /T (Clinic) " + widget +
            "/Rect [72 580 272 600] /DA (/Helv 12 Tf 0 g) /Opt [(North) (South) (East)] "
            "/V (North) >>";
    o[14] = "<< /FT /Tx /T (Hidden) " + widget +
            "/Rect [72 540 372 560] /DA (/Helv 12 Tf 0 g) /V (Secret) >>";
    o[15] = Stream("/Type /XObject /Subtype /Form /BBox [0 0 300 20] /Resources << /Font << "
                   "/Helv 4 0 R >> >>",
                   "/Tx BMC BT /Helv 12 Tf 2 5 Td (Secret) Tj ET EMC");
    o[14].insert(o[14].size() - 2, " /AP << /N 16 0 R >>");
    o[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R /Resources << "
           "/Font << /Helv " +
           font + " >> >> /Annots [9 0 R 10 0 R 12 0 R 13 0 R 14 0 R 15 0 R] >>";
    o[4] = "<< /Fields [9 0 R 10 0 R 11 0 R 14 0 R 15 0 R] /DR << /Font << /Helv " + font +
           " >> >> /DA (/Helv 0 Tf 0 g) >>";
    return Assemble(o);
}

std::string Type3Pdf()
{
    std::vector<std::string> o(7);
    o[0] = "<< /Type /Catalog /Pages 2 0 R >>";
    o[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
           "/Resources << /Font << /T3 5 0 R >> >> >>";
    o[3] = Stream("", "BT /T3 24 Tf 72 700 Td (aaa) Tj ET");
    o[4] = "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] "
           "/FontMatrix [0.001 0 0 0.001 0 0] /CharProcs << /square 6 0 R >> "
           "/Encoding << /Type /Encoding /Differences [97 /square] >> /FirstChar 97 "
           "/LastChar 97 /Widths [1000] /Resources << >> >>";
    o[5] = Stream("", "1000 0 0 0 800 800 d1 0 0 800 800 re f");
    o[6] = "<< >>";
    return Assemble(o);
}

bool WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace samples
