/*
 * Paper sources of a CUPS queue as a Windows driver presents its bins: the
 * IPP media-source keywords become the names and DMBIN numbers such a
 * driver shows ("Tray 1", "Manual Feed", "Envelope Feed", "Auto Select"),
 * so that callers looking for a tray by its name, or by a standard number,
 * find it; sources Windows has no number for get driver numbers from
 * DMBIN_USER on.  Each bin keeps its keyword, which is what a job sends, so
 * DC_BINS, DC_BINNAMES and the tray a page asks for always agree.
 *
 * Pure: no CUPS here, so the table is tested without a server.
 */
#include "spool/spool_private.h"

#include <cctype>
#include <cstring>

namespace winport::spool {

namespace {

struct SourceBin {
    const char *keyword;
    short number; /* 0: a driver number */
    const char *name;
};

/* The trays are numbered as the server numbers them: its tray 2 is
 * DMBIN_MIDDLE and its tray 3 DMBIN_LOWER, so a number that reaches us
 * without a name still picks the tray the server meant. */
constexpr SourceBin kSources[] = {
    {"auto", DMBIN_AUTO, "Auto Select"},
    {"tray-1", DMBIN_UPPER, "Tray 1"},
    {"tray-2", DMBIN_MIDDLE, "Tray 2"},
    {"tray-3", DMBIN_LOWER, "Tray 3"},
    {"main", DMBIN_UPPER, "Main Tray"},
    {"top", DMBIN_UPPER, "Upper Tray"},
    {"middle", DMBIN_MIDDLE, "Middle Tray"},
    {"bottom", DMBIN_LOWER, "Lower Tray"},
    {"alternate", DMBIN_LOWER, "Alternate Tray"},
    {"manual", DMBIN_MANUAL, "Manual Feed"},
    {"by-pass-tray", DMBIN_MANUAL, "Bypass Tray"},
    {"envelope", DMBIN_ENVELOPE, "Envelope Feed"},
    {"envelope-manual", DMBIN_ENVMANUAL, "Envelope Manual Feed"},
    {"manual-envelope", DMBIN_ENVMANUAL, "Envelope Manual Feed"},
    {"large-capacity", DMBIN_LARGECAPACITY, "Large Capacity"},
    {"cassette", DMBIN_CASSETTE, "Cassette"},
    {"photo", 0, "Photo Tray"},
    {"disc", 0, "Disc Tray"},
    {"side", 0, "Side Tray"},
    {"rear", 0, "Rear Tray"},
    {"main-roll", 0, "Main Roll"},
    {"alternate-roll", 0, "Alternate Roll"},
};

/* "tray-12" → "Tray 12", "roll-2" → "Roll 2", anything else its words
 * capitalised ("left" → "Left", "my-paper-drawer" → "My Paper Drawer"). */
std::string nameFor(const std::string &keyword)
{
    std::string name;
    bool start = true;
    for (char c : keyword) {
        if (c == '-' || c == '_' || c == ' ') {
            name += ' ';
            start = true;
            continue;
        }
        name += start ? char(std::toupper(static_cast<unsigned char>(c))) : c;
        start = false;
    }
    return name.substr(0, kBinNameLen - 1);
}

} // namespace

std::vector<Bin> BinsForSources(const std::vector<std::string> &sources)
{
    std::vector<Bin> bins;
    auto taken = [&](short number) {
        for (const Bin &b : bins)
            if (b.number == number)
                return true;
        return false;
    };
    auto known = [&](const std::string &keyword) {
        for (const Bin &b : bins)
            if (b.source == keyword)
                return true;
        return false;
    };
    /* The sources come from the printer: a few dozen at most are bins. */
    constexpr std::size_t kMaxBins = 64;
    short next = DMBIN_USER;
    for (const std::string &keyword : sources) {
        if (bins.size() >= kMaxBins)
            break;
        if (keyword.empty() || known(keyword))
            continue;
        Bin bin;
        bin.source = keyword;
        bin.name = nameFor(keyword);
        for (const SourceBin &s : kSources)
            if (keyword == s.keyword) {
                bin.number = s.number;
                bin.name = s.name;
            }
        if (!bin.number || taken(bin.number)) {
            while (taken(next))
                next++;
            bin.number = next++;
        }
        bins.push_back(bin);
    }
    return bins;
}

} // namespace winport::spool
