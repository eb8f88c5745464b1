/*
 * Text reports end to end: novarc-send plays the server and sends a report
 * as PRINT_STREAM pieces of 2000 bytes to a real Novarcprint, which prints
 * it on the embedded "Workstation PDF" printer of a scratch root; the PDF is
 * read back with poppler's pdfinfo, pdftotext and pdftoppm.
 */
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>

#include "send_for_pdf.h"

namespace {

/* Prints text as the common job: open (form length 66), the text in pieces
 * of 2000 bytes, close. */
std::string PrintReport(const ScratchRoot &root, const std::string &text)
{
    const std::string file = root.path() + "/report.txt";
    WriteText(file, text);
    return SendForPdf(root, "--printer 'Workstation PDF' --text " + ShellQuoted(file));
}

std::string PrintJob(const ScratchRoot &root, const std::string &job)
{
    const std::string file = root.path() + "/job.txt";
    WriteText(file, job);
    return SendForPdf(root, "--job " + ShellQuoted(file));
}

/* The first page in grey, 300 dots per inch, as rows of bytes (0 black). */
std::vector<std::string> PageImage(const std::string &pdf, const std::string &dir)
{
    int status = 0;
    RunCommand("pdftoppm -r 300 -gray -f 1 -l 1 -singlefile " + ShellQuoted(pdf) + " " +
                   ShellQuoted(dir + "/page"),
               &status);
    const std::string pgm = ReadText(dir + "/page.pgm");
    int width = 0, height = 0, max = 0, used = 0;
    if (sscanf(pgm.c_str(), "P5 %d %d %d%n", &width, &height, &max, &used) != 3 || width <= 0 ||
        height <= 0 || pgm.size() < (size_t)used + 1 + (size_t)width * height)
        return {};
    std::vector<std::string> rows;
    for (int y = 0; y < height; y++)
        rows.push_back(pgm.substr(used + 1 + (size_t)y * width, width));
    return rows;
}

int PdfPages(const std::string &pdf)
{
    int status = 0;
    const std::string info = RunCommand("pdfinfo " + ShellQuoted(pdf), &status);
    const size_t at = info.find("\nPages:");
    return status == 0 && at != std::string::npos ? atoi(info.c_str() + at + 7) : -1;
}

/* pdftotext -layout rebuilds the page on its own character grid from the
 * glyph positions, so the number of blanks between two columns comes back
 * approximate.  What the print must keep is the words, their order within
 * each line, the lines (blank ones included) and the pages; so a line is
 * compared with every run of blanks made one space and the blanks at both
 * ends dropped. */
std::string Normalised(const std::string &line)
{
    std::string out;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

using Pages = std::vector<std::vector<std::string>>;

/* Drops the blank lines a page ends with: the text layout cannot tell them
 * from the empty rest of the page. */
void TrimPage(std::vector<std::string> *page)
{
    while (!page->empty() && page->back().empty())
        page->pop_back();
}

/* The report's lines (CR LF line ends), normalised, cut into pages of
 * linesPerPage. */
Pages ExpectedPages(const std::string &text, size_t linesPerPage)
{
    Pages pages;
    size_t from = 0;
    for (size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
        if (pages.empty() || pages.back().size() == linesPerPage)
            pages.emplace_back();
        pages.back().push_back(Normalised(text.substr(from, end - from)));
    }
    for (auto &page : pages)
        TrimPage(&page);
    return pages;
}

/* The PDF's text, page by page (pdftotext ends every page with a form feed). */
Pages PdfText(const std::string &pdf)
{
    int status = 0;
    const std::string text = RunCommand("pdftotext -layout " + ShellQuoted(pdf) + " -", &status);
    EXPECT_EQ(status, 0);
    Pages pages;
    size_t from = 0;
    for (size_t ff; (ff = text.find('\f', from)) != std::string::npos; from = ff + 1) {
        pages.emplace_back();
        const std::string page = text.substr(from, ff - from);
        size_t at = 0;
        for (size_t nl; (nl = page.find('\n', at)) != std::string::npos; at = nl + 1)
            pages.back().push_back(Normalised(page.substr(at, nl - at)));
        if (at < page.size())
            pages.back().push_back(Normalised(page.substr(at)));
        TrimPage(&pages.back());
    }
    return pages;
}

void ExpectSamePages(const Pages &got, const Pages &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t p = 0; p < want.size(); p++) {
        EXPECT_EQ(got[p].size(), want[p].size()) << "page " << p + 1;
        for (size_t i = 0; i < std::min(got[p].size(), want[p].size()); i++)
            EXPECT_EQ(got[p][i], want[p][i]) << "page " << p + 1 << " line " << i + 1;
    }
}

std::string Line(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char *format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return std::string(buffer) + "\r\n";
}

/* An appointment summary as the server formats it: a heading, column
 * titles, numbered rows in fixed columns, a blank line after every 20 rows;
 * 150 lines in all, at most 78 characters (the letter page holds 81). */
std::string AppointmentReport()
{
    const char *const names[] = {"HALVORSEN, INGRID", "OKAFOR, CHIDI", "MARTINEZ, ANA LUISA",
                                 "NGUYEN, THANH", "O'BRIEN-WALSH, MAIREAD"};
    const char *const visits[] = {"Follow-up", "New patient", "Immunisation", "Review"};
    std::string text = Line("RIVERSIDE MEDICAL GROUP%55s", "APPOINTMENT SUMMARY") +
                       Line("Printed 09/12/2026 08:15   Location: Main Clinic   Provider: All") +
                       Line("%s", "") +
                       Line("%5s %-24s %-10s %-5s %-9s %-12s %7s", "No.", "Patient", "Born", "Time",
                            "Provider", "Visit", "Fee") +
                       Line("%s", std::string(78, '-').c_str());
    int lines = 5;
    for (int row = 1; lines < 150; row++) {
        text += Line("%5d %-24s %04d-%02d-%02d %02d:%02d %-9s %-12s %7.2f", row, names[row % 5],
                     1930 + row % 80, row % 12 + 1, row % 28 + 1, 8 + row % 9, row * 5 % 60,
                     row % 2 ? "Dr Lee" : "Dr Amara", visits[row % 4], 45 + row * 0.25);
        if (++lines < 150 && row % 20 == 0) {
            text += Line("%s", "");
            lines++;
        }
    }
    return text;
}

TEST(TextReport, ThreePagesComeBackLineForLine)
{
    const std::string report = AppointmentReport();
    /* The pieces cut lines in the middle of their text, and no page starts
     * with a blank line (pdftotext could not show it). */
    ASSERT_NE(report[1999], '\n');
    ASSERT_NE(report[2000], '\r');
    const Pages want = ExpectedPages(report, 64);
    ASSERT_EQ(want.size(), 3u);
    for (const auto &page : want)
        ASSERT_FALSE(page.front().empty());

    ScratchRoot root;
    const std::string pdf = PrintReport(root, report);
    ASSERT_FALSE(pdf.empty());
    /* Form length 66: 64 lines a page, so 64 + 64 + 22. */
    EXPECT_EQ(PdfPages(pdf), 3);
    ExpectSamePages(PdfText(pdf), want);
}

TEST(TextReport, ReportThatFitsOnOnePageIsPrinted)
{
    /* No page is ever ended by a break or a form feed: the close alone has
     * to finish the document. */
    std::string report = AppointmentReport();
    report.resize(report.find("\r\n", 2400) + 2);
    const Pages want = ExpectedPages(report, 64);
    ASSERT_EQ(want.size(), 1u);

    ScratchRoot root;
    const std::string pdf = PrintReport(root, report);
    ASSERT_FALSE(pdf.empty());
    EXPECT_EQ(PdfPages(pdf), 1);
    ExpectSamePages(PdfText(pdf), want);
}

TEST(TextReport, LineEndCutBetweenTwoPiecesIsStillOneLineEnd)
{
    /* 48-character lines take 50 bytes with their CR LF; making line 40 one
     * character longer puts a CR at the end of the first piece and its LF at
     * the start of the second, and line 80's the same way across the second
     * and third. */
    std::string report;
    for (int i = 1; i <= 130; i++)
        report += Line("Line %03d %s%s", i, std::string(39, 'x').c_str(), i == 40 ? "y" : "");
    ASSERT_EQ(report.substr(1999, 2), "\r\n");
    ASSERT_EQ(report.substr(3999, 2), "\r\n");

    ScratchRoot root;
    const std::string pdf = PrintReport(root, report);
    ASSERT_FALSE(pdf.empty());
    /* No blank line where a piece ended: the third page starts with line 129. */
    EXPECT_EQ(PdfPages(pdf), 3);
    ExpectSamePages(PdfText(pdf), ExpectedPages(report, 64));
}

TEST(TextReport, TextReachingPastThePrintableAreaIsCutAtItsEdge)
{
    /* The first baseline sits 0.6 of the character height below the top of
     * the printable area, so an accented capital reaches above it; a line
     * moved a half inch left of the area starts outside it.  Nothing may be
     * inked outside the area (the embedded printer's margins are 42/600
     * inch, 49 dots at 300 dpi, on every side). */
    ScratchRoot root;
    const std::string pdf = PrintJob(root, "OPEN_PRINTER \"s:Workstation PDF\" s: i:66 i:0 s:\n"
                                           "PRINT_STREAM \"r:\\xc3\\xc3\\xc3\\xc3 ABC\\r\\n\"\n"
                                           "SET_HORZ_POS i:-300\n"
                                           "PRINT_STREAM \"r:WWWWWWWWWWWW\\r\\n\"\n"
                                           "CLOSE_PRINTER\n");
    ASSERT_FALSE(pdf.empty());
    const std::vector<std::string> rows = PageImage(pdf, root.path());
    ASSERT_GT(rows.size(), 400u);
    const int margin = 49;
    auto inked = [&](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += (unsigned char)rows[y][x] < 128;
        return n;
    };
    EXPECT_EQ(inked(0, 0, (int)rows[0].size(), margin), 0) << "above the area";
    EXPECT_EQ(inked(0, 0, margin, (int)rows.size()), 0) << "left of the area";
    /* Both lines did print inside it. */
    EXPECT_GT(inked(margin + 1, margin + 1, 400, 100), 0);
    EXPECT_GT(inked(margin + 1, 100, 300, 200), 0);
}

} // namespace
