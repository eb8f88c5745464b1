/*
 * Printers as registry keys: HKLM\SYSTEM\CurrentControlSet\Control\Print\
 * Printers\<name>, one value per property.  Lists are plain strings so that
 * an operator can write them in a .reg file by hand:
 *
 *   "Papers"   = "1:2159x2794:Letter;9:2100x2970:A4"   number:WxH (0.1 mm):name
 *   "Bins"     = "1:Tray 1;4:Manual Feed"              number:name
 *   "Margins"  = "42,42,42,42"                         left,top,right,bottom (0.1 mm)
 *   "DeviceFonts" = "Utility 10cpi:Courier New:10:12"  face:drawn with:cpi:points
 *
 * Reading is forgiving: an entry that does not parse is skipped, so one bad
 * paper does not take the printer with it.  The README has the full layout.
 */
#include "spool/spool_private.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace winport::spool {

namespace {

/* An open registry key, closed at scope end. */
struct Key {
    HKEY h = nullptr;
    ~Key()
    {
        if (h)
            RegCloseKey(h);
    }
};

std::string readString(HKEY key, const char *name, const std::string &fallback = {})
{
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
        return fallback;
    std::string s(size + 1, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(s.data()), &size) !=
        ERROR_SUCCESS)
        return fallback;
    s.resize(size);
    if (type == REG_MULTI_SZ) /* one entry per string: join them as a list */
        std::replace(s.begin(), s.end(), '\0', ';');
    while (!s.empty() && (s.back() == '\0' || s.back() == ';'))
        s.pop_back();
    return s;
}

DWORD readDword(HKEY key, const char *name, DWORD fallback)
{
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return fallback;
    return value;
}

std::vector<BYTE> readBinary(HKEY key, const char *name)
{
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return {};
    std::vector<BYTE> data(size);
    if (RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return data;
}

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t end = s.find(sep, start);
        if (end == std::string::npos)
            end = s.size();
        parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool toInt(const std::string &s, long lo, long hi, long &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

std::vector<Paper> parsePapers(const std::string &text)
{
    std::vector<Paper> papers;
    for (const std::string &entry : split(text, ';')) {
        auto c1 = entry.find(':');
        auto c2 = c1 == std::string::npos ? c1 : entry.find(':', c1 + 1);
        if (c2 == std::string::npos)
            continue;
        std::string size = entry.substr(c1 + 1, c2 - c1 - 1);
        auto x = size.find('x');
        long number, w, h;
        if (x == std::string::npos || !toInt(entry.substr(0, c1), 1, 32767, number) ||
            !toInt(size.substr(0, x), 1, 100000, w) || !toInt(size.substr(x + 1), 1, 100000, h))
            continue;
        std::string name = entry.substr(c2 + 1).substr(0, kPaperNameLen - 1);
        papers.push_back(Paper{static_cast<short>(number), name, int(w), int(h)});
    }
    return papers;
}

std::vector<Bin> parseBins(const std::string &text)
{
    std::vector<Bin> bins;
    for (const std::string &entry : split(text, ';')) {
        auto colon = entry.find(':');
        long number;
        if (colon == std::string::npos || !toInt(entry.substr(0, colon), 1, 32767, number))
            continue;
        bins.push_back(Bin{static_cast<short>(number), entry.substr(colon + 1, kBinNameLen - 1)});
    }
    return bins;
}

std::vector<gdi::DeviceFont> parseFonts(const std::string &text)
{
    std::vector<gdi::DeviceFont> fonts;
    for (const std::string &entry : split(text, ';')) {
        auto f = split(entry, ':');
        if (f.size() < 2 || f[0].empty() || f[0].size() >= LF_FACESIZE)
            continue;
        gdi::DeviceFont font;
        font.faceName = f[0];
        font.drawWith = f[1].empty() ? font.drawWith : f[1];
        long cpi = 0, points = 12;
        if (f.size() > 2 && toInt(f[2], 0, 100, cpi))
            font.charsPerInch = double(cpi);
        if (f.size() > 3 && toInt(f[3], 1, 200, points))
            font.pointSize = int(points);
        if (font.charsPerInch <= 0)
            font.pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        fonts.push_back(font);
    }
    return fonts;
}

/* Tenths of a millimetre as written, hundredths as kept. */
bool parseMargins(const std::string &text, int margins[4])
{
    auto parts = split(text, ',');
    long v[4];
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 4; i++)
        if (!toInt(parts[i], 0, 10000, v[i]))
            return false;
    for (int i = 0; i < 4; i++)
        margins[i] = int(v[i]) * 10;
    return true;
}

/* A printer key whose port is a CUPS queue takes what it does not say
 * itself (papers, bins, margins, resolutions, duplex) from the queue, so
 * an operator can rename a queue or give it another driver name and keep
 * its trays. */
void fillFromQueue(Printer &p, bool papers, bool bins, bool margins, bool resolutions)
{
    std::string queue = p.cupsQueue();
    if (queue.empty())
        return;
    if (auto found = CupsQueue(queue)) {
        const Printer &q = *found;
        if (papers) {
            p.papers = q.papers;
            p.defaultPaper = q.defaultPaper;
        }
        if (bins) {
            p.bins = q.bins;
            p.defaultSource = q.defaultSource;
        }
        if (margins)
            std::copy(q.margins, q.margins + 4, p.margins);
        if (resolutions)
            p.resolutions = q.resolutions;
        p.duplex = p.duplex || q.duplex;
        p.cupsJobs = q.cupsJobs;
    }
}

Printer readPrinter(HKEY key, const std::string &name)
{
    Printer p;
    p.name = name;
    p.driver = readString(key, "Printer Driver", "winport PDF");
    p.port = readString(key, "Port");
    p.comment = readString(key, "Description");
    p.location = readString(key, "Location");
    DWORD dpi = readDword(key, "Resolution", 0);
    p.resolutions.push_back(dpi >= 72 && dpi <= 2400 ? int(dpi) : 600);
    for (const std::string &r : split(readString(key, "Resolutions"), ',')) {
        long v;
        if (toInt(r, 72, 2400, v) &&
            std::find(p.resolutions.begin(), p.resolutions.end(), int(v)) == p.resolutions.end())
            p.resolutions.push_back(int(v));
    }
    p.papers = parsePapers(readString(key, "Papers"));
    p.bins = parseBins(readString(key, "Bins"));
    p.color = readDword(key, "Color", 1) != 0;
    p.duplex = readDword(key, "Duplex", 0) != 0;
    p.imagePrinter = readDword(key, "ImagePrinter", 0) != 0;
    bool margins = parseMargins(readString(key, "Margins"), p.margins);
    fillFromQueue(p, p.papers.empty(), p.bins.empty(), !margins, dpi == 0);
    if (p.papers.empty())
        p.papers.push_back(Paper{DMPAPER_LETTER, "Letter", 2159, 2794});
    p.deviceFonts = parseFonts(readString(key, "DeviceFonts"));
    short paper = p.paper(p.defaultPaper) ? p.defaultPaper : p.papers.front().number;
    p.defaultPaper = short(readDword(key, "DefaultPaper", DWORD(paper)));
    if (!p.paper(p.defaultPaper))
        p.defaultPaper = p.papers.front().number;
    short source = p.bin(p.defaultSource) ? p.defaultSource : p.bins.empty() ? 0 : p.bins[0].number;
    p.defaultSource = short(readDword(key, "DefaultSource", DWORD(source)));
    DWORD orient = readDword(key, "Orientation", DMORIENT_PORTRAIT);
    p.defaultOrientation = orient == DMORIENT_LANDSCAPE ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    p.attributes = readDword(key, "Attributes", p.attributes);
    p.status = readDword(key, "Status", 0);
    p.storedDevMode = readBinary(key, "Default DevMode");
    return p;
}

std::vector<std::string> registryPrinterNames()
{
    std::vector<std::string> names;
    Key printers;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintersKey, 0, KEY_READ, &printers.h) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; i++) {
        DWORD len = sizeof name;
        if (RegEnumKeyExA(printers.h, i, name, &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, len);
    }
    return names;
}

} // namespace

const Paper *Printer::paper(short number) const
{
    for (const Paper &p : papers)
        if (p.number == number)
            return &p;
    return nullptr;
}

const Bin *Printer::bin(short number) const
{
    for (const Bin &b : bins)
        if (b.number == number)
            return &b;
    return nullptr;
}

std::string Printer::cupsQueue() const
{
    return port.size() > 5 && !strncasecmp(port.c_str(), "CUPS:", 5) ? port.substr(5)
                                                                     : std::string();
}

bool SameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::optional<Printer> LoadPrinter(const std::string &name)
{
    EnsureSpooler();
    if (name.empty() || name.size() > 220 || name.find('\\') != std::string::npos)
        return std::nullopt;
    Key key;
    std::string path = std::string(kPrintersKey) + "\\" + name;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key.h) == ERROR_SUCCESS) {
        for (const std::string &spelled : registryPrinterNames())
            if (SameName(spelled, name))
                return readPrinter(key.h, spelled);
        return readPrinter(key.h, name);
    }
    return CupsQueue(name);
}

std::vector<Printer> ListPrinters()
{
    EnsureSpooler();
    std::vector<Printer> list;
    for (const std::string &name : registryPrinterNames()) {
        Key key;
        std::string path = std::string(kPrintersKey) + "\\" + name;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key.h) == ERROR_SUCCESS)
            list.push_back(readPrinter(key.h, name));
    }
    for (Printer &q : CupsQueues()) {
        bool shadowed = std::any_of(list.begin(), list.end(),
                                    [&](const Printer &p) { return SameName(p.name, q.name); });
        if (!shadowed)
            list.push_back(std::move(q));
    }
    return list;
}

DWORD SavePrinter(const Printer &p)
{
    if (p.cups)
        return ERROR_NOT_SUPPORTED;
    Key key;
    std::string path = std::string(kPrintersKey) + "\\" + p.name;
    LSTATUS rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key.h);
    if (rc != ERROR_SUCCESS)
        return rc == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_PRINTER_NAME : DWORD(rc);
    auto setString = [&](const char *name, const std::string &v) {
        return RegSetValueExA(key.h, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(v.c_str()),
                              DWORD(v.size() + 1));
    };
    auto setDword = [&](const char *name, DWORD v) {
        return RegSetValueExA(key.h, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v),
                              sizeof v);
    };
    rc = setString("Printer Driver", p.driver);
    if (rc == ERROR_SUCCESS)
        rc = setString("Port", p.port);
    if (rc == ERROR_SUCCESS)
        rc = setDword("Attributes", p.attributes);
    if (rc == ERROR_SUCCESS)
        rc = setDword("Status", p.status);
    if (rc == ERROR_SUCCESS && !p.storedDevMode.empty())
        rc = RegSetValueExA(key.h, "Default DevMode", 0, REG_BINARY, p.storedDevMode.data(),
                            DWORD(p.storedDevMode.size()));
    return DWORD(rc);
}

} // namespace winport::spool
