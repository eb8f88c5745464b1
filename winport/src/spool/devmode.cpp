/*
 * Device modes: a printer's default DEVMODEA, merging a caller's fields into
 * it the way a driver does (only the fields named in dmFields, only values
 * the printer can honour), and the device description GDI draws with.
 *
 * Every DEVMODEA we hand out carries kDriverExtra private bytes after the
 * public part, tagged so that a device mode of ours is recognised when it
 * comes back and its private bytes are kept.
 */
#include "spool/spool_private.h"

#include <cmath>
#include <cstring>

namespace winport::spool {

namespace {

constexpr BYTE kPrivateTag[4] = {'W', 'P', 'D', 'M'};

constexpr DWORD kMergedFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH |
                                DM_SCALE | DM_COPIES | DM_DEFAULTSOURCE | DM_PRINTQUALITY |
                                DM_COLOR | DM_DUPLEX | DM_YRESOLUTION | DM_COLLATE | DM_MEDIATYPE;

DEVMODEA &asMutable(DevMode &dm)
{
    return *reinterpret_cast<DEVMODEA *>(dm.data());
}

/* Tenths of a millimetre to device units, rounded. */
int dots(int tenthsMm, int dpi)
{
    return int(std::lround(tenthsMm * double(dpi) / 254.0));
}

/* Hundredths of a millimetre (margins, PWG sizes) to device units. */
int fineDots(int hundredthsMm, int dpi)
{
    return int(std::lround(hundredthsMm * double(dpi) / 2540.0));
}

bool hasResolution(const Printer &p, int dpi)
{
    for (int r : p.resolutions)
        if (r == dpi)
            return true;
    return false;
}

bool hasBin(const Printer &p, int number)
{
    for (const Bin &b : p.bins)
        if (b.number == number)
            return true;
    return number == DMBIN_AUTO; /* "pick one" is always understood */
}

/* Custom sizes are honoured within what a sheet can be: 1 cm to 1.2 m. */
bool plausibleLength(short tenthsMm)
{
    return tenthsMm >= 100 && tenthsMm <= 12000;
}

} // namespace

const DEVMODEA &AsDevMode(const DevMode &dm)
{
    return *reinterpret_cast<const DEVMODEA *>(dm.data());
}

DevMode DefaultDevMode(const Printer &p)
{
    DevMode dm(sizeof(DEVMODEA) + kDriverExtra, 0);
    DEVMODEA &d = asMutable(dm);
    std::strncpy(reinterpret_cast<char *>(d.dmDeviceName), p.name.c_str(), CCHDEVICENAME - 1);
    d.dmSpecVersion = DM_SPECVERSION;
    d.dmDriverVersion = 0x0100;
    d.dmSize = sizeof(DEVMODEA);
    d.dmDriverExtra = kDriverExtra;
    d.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_SCALE | DM_COPIES | DM_PRINTQUALITY | DM_COLOR |
                 DM_YRESOLUTION | DM_COLLATE | DM_FORMNAME | DM_MEDIATYPE;
    if (p.duplex)
        d.dmFields |= DM_DUPLEX;
    d.dmOrientation = p.defaultOrientation;
    d.dmPaperSize = p.defaultPaper;
    d.dmScale = 100;
    d.dmCopies = 1;
    if (!p.bins.empty()) {
        d.dmFields |= DM_DEFAULTSOURCE;
        d.dmDefaultSource = p.defaultSource;
    }
    d.dmPrintQuality = short(p.resolutions.front());
    d.dmYResolution = short(p.resolutions.front());
    d.dmColor = p.color && !p.defaultMonochrome ? DMCOLOR_COLOR : DMCOLOR_MONOCHROME;
    d.dmDuplex = p.duplex ? p.defaultDuplex : short(DMDUP_SIMPLEX);
    d.dmCollate = DMCOLLATE_TRUE;
    d.dmMediaType = DMMEDIA_STANDARD;
    if (const Paper *paper = p.paper(p.defaultPaper))
        std::strncpy(reinterpret_cast<char *>(d.dmFormName), paper->name.c_str(), CCHFORMNAME - 1);
    std::memcpy(dm.data() + sizeof(DEVMODEA), kPrivateTag, sizeof kPrivateTag);

    /* SetPrinterA's device mode, when one was stored, is the new default. */
    if (FitsIn(p.storedDevMode.data(), p.storedDevMode.size()))
        if (auto stored = CopyDevMode(reinterpret_cast<const DEVMODEA *>(p.storedDevMode.data())))
            MergeDevMode(p, dm, AsDevMode(*stored));
    return dm;
}

bool FitsIn(const BYTE *data, std::size_t size)
{
    if (!data || size < offsetof(DEVMODEA, dmFields) + sizeof(DWORD))
        return false;
    const auto *dm = reinterpret_cast<const DEVMODEA *>(data);
    return std::size_t(dm->dmSize) + dm->dmDriverExtra <= size;
}

std::optional<DevMode> CopyDevMode(const DEVMODEA *in)
{
    /* Older callers pass shorter public parts; anything that reaches past
     * dmFields is enough to read the fields it names. */
    constexpr WORD kMinSize = offsetof(DEVMODEA, dmFields) + sizeof(DWORD);
    if (!in || in->dmSize < kMinSize || in->dmSize > sizeof(DEVMODEA) + 0x1000)
        return std::nullopt;
    DevMode dm(sizeof(DEVMODEA) + in->dmDriverExtra, 0);
    std::memcpy(dm.data(), in, std::min<std::size_t>(in->dmSize, sizeof(DEVMODEA)));
    if (in->dmDriverExtra)
        std::memcpy(dm.data() + sizeof(DEVMODEA), reinterpret_cast<const BYTE *>(in) + in->dmSize,
                    in->dmDriverExtra);
    DEVMODEA &d = asMutable(dm);
    if (in->dmSize < sizeof(DEVMODEA)) /* fields the caller's layout lacks are not named */
        d.dmFields &= in->dmSize > offsetof(DEVMODEA, dmMediaType) ? ~0u : ~DWORD(DM_MEDIATYPE);
    d.dmSize = sizeof(DEVMODEA);
    return dm;
}

void MergeDevMode(const Printer &p, DevMode &out, const DEVMODEA &in)
{
    DEVMODEA &d = asMutable(out);
    const DWORD f = in.dmFields & kMergedFields;
    if ((f & DM_ORIENTATION) &&
        (in.dmOrientation == DMORIENT_PORTRAIT || in.dmOrientation == DMORIENT_LANDSCAPE))
        d.dmOrientation = in.dmOrientation;
    bool custom = (f & DM_PAPERLENGTH) && (f & DM_PAPERWIDTH) &&
                  plausibleLength(in.dmPaperLength) && plausibleLength(in.dmPaperWidth);
    if ((f & DM_PAPERSIZE) && (p.paper(in.dmPaperSize) || custom)) {
        d.dmPaperSize = in.dmPaperSize;
        d.dmFields &= ~DWORD(DM_PAPERLENGTH | DM_PAPERWIDTH);
        const Paper *paper = p.paper(in.dmPaperSize);
        std::memset(d.dmFormName, 0, CCHFORMNAME);
        if (paper)
            std::strncpy(reinterpret_cast<char *>(d.dmFormName), paper->name.c_str(),
                         CCHFORMNAME - 1);
    }
    if (custom) { /* length and width override the paper's size */
        d.dmPaperLength = in.dmPaperLength;
        d.dmPaperWidth = in.dmPaperWidth;
        d.dmFields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    }
    if ((f & DM_SCALE) && in.dmScale >= 1 && in.dmScale <= 1000)
        d.dmScale = in.dmScale;
    if ((f & DM_COPIES) && in.dmCopies >= 1 && in.dmCopies <= 999)
        d.dmCopies = in.dmCopies;
    if ((f & DM_DEFAULTSOURCE) && hasBin(p, in.dmDefaultSource)) {
        d.dmDefaultSource = in.dmDefaultSource;
        d.dmFields |= DM_DEFAULTSOURCE;
    }
    if ((f & DM_PRINTQUALITY) &&
        (hasResolution(p, in.dmPrintQuality) ||
         (in.dmPrintQuality >= DMRES_HIGH && in.dmPrintQuality <= DMRES_DRAFT)))
        d.dmPrintQuality = in.dmPrintQuality > 0 ? in.dmPrintQuality : short(p.resolutions[0]);
    if ((f & DM_YRESOLUTION) && hasResolution(p, in.dmYResolution))
        d.dmYResolution = in.dmYResolution;
    if ((f & DM_COLOR) && (in.dmColor == DMCOLOR_MONOCHROME || in.dmColor == DMCOLOR_COLOR))
        d.dmColor = p.color ? in.dmColor : short(DMCOLOR_MONOCHROME);
    /* Both sides only where there is a duplexer, as a driver keeps it. */
    if ((f & DM_DUPLEX) &&
        (in.dmDuplex == DMDUP_SIMPLEX ||
         (p.duplex && (in.dmDuplex == DMDUP_VERTICAL || in.dmDuplex == DMDUP_HORIZONTAL)))) {
        d.dmDuplex = in.dmDuplex;
        d.dmFields |= DM_DUPLEX;
    }
    if ((f & DM_COLLATE) && (in.dmCollate == DMCOLLATE_FALSE || in.dmCollate == DMCOLLATE_TRUE))
        d.dmCollate = in.dmCollate;
    if ((f & DM_MEDIATYPE) && in.dmMediaType >= 1)
        d.dmMediaType = in.dmMediaType;
    /* Our private bytes come back only from a device mode we made. */
    const BYTE *extra = reinterpret_cast<const BYTE *>(&in) + sizeof(DEVMODEA);
    if (in.dmDriverExtra == kDriverExtra && in.dmSize == sizeof(DEVMODEA) &&
        std::memcmp(extra, kPrivateTag, sizeof kPrivateTag) == 0)
        std::memcpy(out.data() + sizeof(DEVMODEA), extra, kDriverExtra);
}

gdi::DeviceDescription DescribeDevice(const Printer &p, const DevMode &dm)
{
    const DEVMODEA &d = AsDevMode(dm);
    gdi::DeviceDescription desc;
    desc.deviceName = p.name;
    desc.dpiX = d.dmPrintQuality > 0 ? d.dmPrintQuality : p.resolutions[0];
    desc.dpiY = d.dmYResolution > 0 ? d.dmYResolution : desc.dpiX;
    const Paper *paper = p.paper(d.dmPaperSize);
    if (!paper)
        paper = p.paper(p.defaultPaper);
    int w = paper ? paper->width : 2159, h = paper ? paper->height : 2794;
    if ((d.dmFields & DM_PAPERLENGTH) && (d.dmFields & DM_PAPERWIDTH) && d.dmPaperWidth > 0 &&
        d.dmPaperLength > 0) {
        w = d.dmPaperWidth;
        h = d.dmPaperLength;
    }
    desc.paperWidth = dots(w, desc.dpiX);
    desc.paperHeight = dots(h, desc.dpiY);
    /* A paper the queue gives margins for uses them, when it is the paper
     * drawn on and not a custom size. */
    bool queuePaper = paper && paper->number == d.dmPaperSize &&
                      !((d.dmFields & DM_PAPERLENGTH) && (d.dmFields & DM_PAPERWIDTH));
    const int *margins = queuePaper && paper->ownMargins ? paper->margins : p.margins;
    if (queuePaper && paper->pwgWidth > 0) { /* the queue's exact size, not its tenths */
        desc.paperWidth = fineDots(paper->pwgWidth, desc.dpiX);
        desc.paperHeight = fineDots(paper->pwgHeight, desc.dpiY);
    }
    desc.marginLeft = fineDots(margins[0], desc.dpiX);
    desc.marginTop = fineDots(margins[1], desc.dpiY);
    desc.marginRight = fineDots(margins[2], desc.dpiX);
    desc.marginBottom = fineDots(margins[3], desc.dpiY);
    if (desc.marginLeft + desc.marginRight >= desc.paperWidth ||
        desc.marginTop + desc.marginBottom >= desc.paperHeight)
        desc.marginLeft = desc.marginTop = desc.marginRight = desc.marginBottom = 0;
    desc.orientation = d.dmOrientation == DMORIENT_LANDSCAPE ? gdi::Orientation::Landscape
                                                             : gdi::Orientation::Portrait;
    desc.color = p.color && d.dmColor != DMCOLOR_MONOCHROME;
    desc.deviceFonts = p.deviceFonts;
    desc.paperSize = d.dmPaperSize;
    desc.defaultSource = (d.dmFields & DM_DEFAULTSOURCE) ? d.dmDefaultSource : 0;
    desc.mediaType = int(d.dmMediaType);
    desc.paperName = paper && paper->number == d.dmPaperSize ? paper->name : std::string();
    desc.duplex = (d.dmFields & DM_DUPLEX) ? d.dmDuplex : 0;
    desc.copies = d.dmCopies > 0 ? d.dmCopies : 1;
    desc.collate = d.dmCollate == DMCOLLATE_TRUE;
    return desc;
}

} // namespace winport::spool
