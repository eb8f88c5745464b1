/*
 * Removing page transparency groups from a cairo PDF before it goes to a
 * CUPS queue: a page dictionary with /Group makes the queue's filters
 * rasterise the whole page, losing the vector text.  The entry is blanked
 * with spaces rather than cut out, so every byte offset (and so the
 * cross-reference table) stays as it was.  Groups of form XObjects (the
 * blends GDI's SRCAND needs) are left alone.
 */
#include "spool/spool_private.h"

#include <cctype>

namespace winport::spool {

namespace {

/* The end of the dictionary that opens at `open` ("<<"), past its ">>";
 * npos when it does not close. */
std::size_t dictEnd(const std::string &pdf, std::size_t open, std::size_t limit)
{
    int depth = 0;
    for (std::size_t i = open; i + 1 < limit; i++) {
        if (pdf[i] == '<' && pdf[i + 1] == '<') {
            depth++;
            i++;
        } else if (pdf[i] == '>' && pdf[i + 1] == '>') {
            if (--depth == 0)
                return i + 2;
            i++;
        }
    }
    return std::string::npos;
}

/* "/Type /Page" and not "/Type /Pages". */
bool isPageType(const std::string &pdf, std::size_t at)
{
    std::size_t next = at + 11;
    return next >= pdf.size() || !std::isalpha(static_cast<unsigned char>(pdf[next]));
}

} // namespace

int StripPageGroups(std::string &pdf)
{
    int stripped = 0;
    for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos;
         at = pdf.find("/Type /Page", at + 1)) {
        if (!isPageType(pdf, at))
            continue; /* /Pages */
        std::size_t start = pdf.rfind(" obj", at);
        std::size_t end = pdf.find("endobj", at);
        if (start == std::string::npos || end == std::string::npos)
            continue;
        std::size_t group = pdf.find("/Group", start);
        if (group == std::string::npos || group > end)
            continue;
        std::size_t open = pdf.find("<<", group);
        std::size_t close = open == std::string::npos ? open : dictEnd(pdf, open, end);
        if (close == std::string::npos || pdf.find_first_not_of(" \r\n\t", group + 6) != open)
            continue;
        for (std::size_t i = group; i < close; i++)
            if (pdf[i] != '\n' && pdf[i] != '\r')
                pdf[i] = ' ';
        stripped++;
    }
    return stripped;
}

} // namespace winport::spool
