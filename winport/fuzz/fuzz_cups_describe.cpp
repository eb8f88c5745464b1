/*
 * Fuzz target for a CUPS queue as a printer: the bytes are a
 * Get-Printer-Attributes answer as IPP carries it, which for a driverless
 * queue repeats what the printer on the network says of itself.  Whatever
 * libcups parses must become a usable printer: bounded lists of papers and
 * bins with distinct positive numbers, a default paper it has, resolutions
 * a DC can use, and a device whose margins fit inside its sheet.
 */
#include "spool/spool_cups.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

struct Input {
    const uint8_t *data;
    size_t size;
    size_t at;
};

ssize_t readInput(void *context, ipp_uchar_t *buffer, size_t bytes)
{
    auto *in = static_cast<Input *>(context);
    size_t n = std::min(bytes, in->size - in->at);
    std::memcpy(buffer, in->data + in->at, n);
    in->at += n;
    return ssize_t(n);
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void checkPrinter(const winport::spool::Printer &p)
{
    check(!p.papers.empty() && p.papers.size() <= 200 && p.bins.size() <= 64);
    std::set<int> numbers;
    for (const auto &paper : p.papers)
        check(paper.number > 0 && numbers.insert(paper.number).second && paper.width > 0 &&
              paper.height > 0 && paper.name.size() < winport::spool::kPaperNameLen);
    check(p.paper(p.defaultPaper) != nullptr);
    numbers.clear();
    for (const auto &bin : p.bins)
        check(bin.number > 0 && numbers.insert(bin.number).second &&
              bin.name.size() < winport::spool::kBinNameLen);
    check(!p.resolutions.empty());
    for (int dpi : p.resolutions)
        check(dpi >= 72 && dpi <= 2400);
    auto desc = winport::spool::DescribeDevice(p, winport::spool::DefaultDevMode(p));
    check(desc.paperWidth > 0 && desc.paperHeight > 0);
    check(desc.marginLeft >= 0 && desc.marginTop >= 0 && desc.marginRight >= 0 &&
          desc.marginBottom >= 0);
    check(desc.marginLeft + desc.marginRight < desc.paperWidth &&
          desc.marginTop + desc.marginBottom < desc.paperHeight);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in{data, size, 0};
    ipp_t *answer = ippNew();
    /* cupsDoRequest hands over only an answer read to its end. */
    if (ippReadIO(&in, readInput, 1, nullptr, answer) == IPP_STATE_DATA)
        checkPrinter(winport::spool::DescribeQueue("fuzz", answer));
    ippDelete(answer);
    return 0;
}
