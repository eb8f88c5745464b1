/*
 * Word-processor documents end to end: novarc-send plays the server and
 * sends a document written by the tests' writer of the format to a real
 * Novarcprint, which prints it on the embedded "Workstation PDF" printer of
 * a scratch root; pdftotext -layout gives the text back, which must come in
 * the document's order with its tab columns aligned.
 */
#include <cstdio>
#include <filesystem>

#include "send_for_pdf.h"
#include "wp_document.h"
#include "wp_writer.h"

namespace {

using namespace wptest;

/* The PDF's text, page by page, line by line. */
std::vector<std::vector<std::string>> PdfLines(const std::string &pdf)
{
    int status = 0;
    const std::string text = RunCommand("pdftotext -layout " + ShellQuoted(pdf) + " -", &status);
    EXPECT_EQ(status, 0);
    std::vector<std::vector<std::string>> pages(1);
    std::string line;
    for (char c : text) {
        if (c == '\f') {
            pages.emplace_back();
        } else if (c == '\n') {
            if (line.find_first_not_of(' ') != std::string::npos)
                pages.back().push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (pages.back().empty())
        pages.pop_back();
    return pages;
}

/* Where each of the words starts on the line, or -1. */
std::vector<int> Columns(const std::string &line, const std::vector<std::string> &words)
{
    std::vector<int> at;
    size_t from = 0;
    for (const std::string &w : words) {
        const size_t p = line.find(w, from);
        at.push_back(p == std::string::npos ? -1 : (int)p);
        from = p == std::string::npos ? from : p + w.size();
    }
    return at;
}

TEST(WpDocument, PrintedTextComesBackInOrderWithItsTabColumns)
{
    ScratchRoot root;
    Header h;
    h.baseFont = 6;
    h.baseSize = 11;
    Cells c;
    c.Font(6, 14).Attr(BOLD).Text("Referral letter").Attr(BOLD, 0).Font(6, 11).Cell(HRT).Cell(HRT);
    c.Text("Dear Dr Patel, please see Ann Lee about her blood pressure.").Cell(HRT).Cell(HRT);
    const char *const rows[][3] = {{"Medication", "Dose", "When"},
                                   {"Lisinopril", "10 mg", "morning"},
                                   {"Amlodipine", "5 mg", "evening"}};
    for (const auto &row : rows)
        c.Text(row[0])
            .Attr(WP_TAB_FROM_MARGIN, 180, 0)
            .Text(row[1])
            .Attr(WP_TAB_FROM_MARGIN, 324, 0)
            .Text(row[2])
            .Cell(HRT);
    c.Cell(HRT).Text("Plain").Cell(TAB).Text("tab").Cell(TAB).Text("stops").Cell(FFEED);
    c.Text("Second page").Cell(HRT);
    const std::string file = root.path() + "/letter.wpd";
    WriteText(file, Payload(h, c));

    const std::string pdf =
        SendForPdf(root, "--printer 'Workstation PDF' --wp-document " + ShellQuoted(file));
    ASSERT_FALSE(pdf.empty());
    const auto pages = PdfLines(pdf);
    ASSERT_EQ(pages.size(), 2u);
    const auto &p1 = pages[0];
    ASSERT_EQ(p1.size(), 6u);
    EXPECT_NE(p1[0].find("Referral letter"), std::string::npos);
    EXPECT_NE(p1[1].find("Dear Dr Patel, please see Ann Lee about her blood pressure."),
              std::string::npos);
    std::vector<std::vector<int>> columns;
    for (int i = 0; i < 3; i++) {
        columns.push_back(Columns(p1[2 + i], {rows[i][0], rows[i][1], rows[i][2]}));
        for (int at : columns.back())
            EXPECT_GE(at, 0) << p1[2 + i];
    }
    /* The tab positions put each column at one x: one character column. */
    for (int col = 0; col < 3; col++) {
        EXPECT_EQ(columns[1][col], columns[0][col]) << p1[2] << "\n" << p1[3];
        EXPECT_EQ(columns[2][col], columns[0][col]) << p1[2] << "\n" << p1[4];
    }
    EXPECT_NE(p1[5].find("Plain"), std::string::npos);
    const auto stops = Columns(p1[5], {"Plain", "tab", "stops"});
    EXPECT_GT(stops[1], stops[0] + 5);
    EXPECT_GT(stops[2], stops[1] + 3);
    ASSERT_EQ(pages[1].size(), 1u);
    EXPECT_NE(pages[1][0].find("Second page"), std::string::npos);
}

TEST(WpDocument, HeadingVariantAndDataFieldsThroughAJobFile)
{
    ScratchRoot root;
    Header h;
    Cells c;
    c.Record(WP_DATA_CHECK_BOX, 1, 0, 0, I32(7)).Text(" Smoker").Cell(HRT);
    for (int i = 1; i <= 70; i++)
        c.Text("Line " + std::to_string(i)).Cell(HRT);
    WriteText(root.path() + "/note.wpd",
              HeadingPayload(h, c, 1, 2, "Visit note Ann Lee", "Confidential", 0x400000));
    WriteText(root.path() + "/fields.bin", I32(0) + I32(3) + I32(7) + wptest::Str("smoker") +
                                               I32(6) + I32(1) + wptest::Str("Y"));
    WriteText(root.path() + "/job.txt", "OPEN_PRINTER \"s:Workstation PDF\" s: i:66 i:0 s:\n"
                                        "PRINT_DATA_FIELD_INFO @:" +
                                            root.path() +
                                            "/fields.bin\n"
                                            "PRINT_NOVARC_DOCUMENT_HEADING @:" +
                                            root.path() +
                                            "/note.wpd\n"
                                            "CLOSE_PRINTER\n");
    const std::string pdf = SendForPdf(root, "--job " + ShellQuoted(root.path() + "/job.txt"));
    ASSERT_FALSE(pdf.empty());
    const auto pages = PdfLines(pdf);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NE(pages[0].front().find("Visit note Ann Lee"), std::string::npos);
    EXPECT_NE(pages[0].front().find("Page #1"), std::string::npos);
    EXPECT_NE(pages[0].back().find("Confidential"), std::string::npos);
    EXPECT_NE(pages[0].back().find("Page #1"), std::string::npos);
    EXPECT_NE(pages[1].front().find("Page #2"), std::string::npos);
    EXPECT_NE(pages[1].back().find("Confidential"), std::string::npos);
    EXPECT_NE(pages[1].back().find("Page #2"), std::string::npos);
    /* The lines between run in order across the break. */
    int last = 0;
    for (const auto &page : pages)
        for (const std::string &line : page) {
            int n = 0;
            if (sscanf(line.c_str(), " Line %d", &n) == 1) {
                EXPECT_EQ(n, last + 1) << line;
                last = n;
            }
        }
    EXPECT_EQ(last, 70);
}

} // namespace
