/*
 * The record of what a DC drew (gdi_record.h): turning it on, reading it,
 * its one-line-per-item text form, and the dump written beside every
 * printer document when WINPORT_GDI_RECORD names a folder.
 */
#include "gdi_print.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace winport::gdi {

namespace {

std::string hexColor(COLORREF c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

std::string quoted(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char ch : s) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20 || ch == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", ch);
            out += buf;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + "\"";
}

std::string point(POINT p)
{
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

std::string rect(const RECT &r)
{
    return point(POINT{r.left, r.top}) + "-" + point(POINT{r.right, r.bottom});
}

std::string penText(const RecPen &p)
{
    static const char *const styles[] = {"solid",      "dash", "dot",        "dashdot",
                                         "dashdotdot", "null", "insideframe"};
    const char *style = p.style >= 0 && p.style <= PS_INSIDEFRAME ? styles[p.style] : "?";
    return std::string(style) + "/" + std::to_string(p.width) + "/" + hexColor(p.color);
}

std::string brushText(const RecBrush &b)
{
    return b.style == BS_NULL ? "null" : "solid/" + hexColor(b.color);
}

std::string alignText(UINT a)
{
    std::string v = (a & TA_BASELINE) == TA_BASELINE ? "baseline"
                    : (a & TA_BOTTOM)                ? "bottom"
                                                     : "top";
    std::string h = (a & TA_CENTER) == TA_CENTER ? "center" : (a & TA_RIGHT) ? "right" : "left";
    return v + "," + h + ((a & TA_UPDATECP) ? ",updatecp" : "");
}

std::string ropText(DWORD rop)
{
    switch (rop) {
    case SRCCOPY:
        return "SRCCOPY";
    case SRCAND:
        return "SRCAND";
    case SRCPAINT:
        return "SRCPAINT";
    case SRCINVERT:
        return "SRCINVERT";
    case NOTSRCCOPY:
        return "NOTSRCCOPY";
    case BLACKNESS:
        return "BLACKNESS";
    case WHITENESS:
        return "WHITENESS";
    case PATCOPY:
        return "PATCOPY";
    case DSTINVERT:
        return "DSTINVERT";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(rop));
        return buf;
    }
    }
}

std::string textLine(const RecText &t)
{
    std::string s = "text p" + std::to_string(t.page) + " at=" + point(t.ref) +
                    " origin=" + point(t.origin) + " box=" + rect(t.box) +
                    " w=" + std::to_string(t.width) + " face=" + quoted(t.face) +
                    " family=" + quoted(t.family) + " h=" + std::to_string(t.lfHeight) +
                    " em=" + std::to_string(t.emHeight) + " weight=" + std::to_string(t.weight);
    if (t.bold)
        s += " bold";
    if (t.italic)
        s += " italic";
    if (t.underline)
        s += " underline";
    if (t.strikeOut)
        s += " strikeout";
    if (t.escapement)
        s += " esc=" + std::to_string(t.escapement);
    s += " color=" + hexColor(t.color);
    if (t.opaque)
        s += " bk=" + hexColor(t.bkColor);
    return s + " align=" + alignText(t.align) + " " + quoted(t.utf8);
}

std::string sanitized(const std::string &name)
{
    std::string out;
    for (unsigned char ch : name.substr(0, 64))
        out +=
            std::isalnum(ch) || ch == '.' || ch == '-' || ch == '_' ? static_cast<char>(ch) : '_';
    return out.empty() ? "document" : out;
}

} // namespace

void addRecord(DeviceContext &dc, RecordItem item)
{
    if (dc.record)
        dc.record->push_back(std::move(item));
}

int currentPage(const DeviceContext &dc)
{
    return dc.printer && dc.printer->pageOpen ? dc.printer->page.number : 0;
}

RecPen recPen(const Pen *pen)
{
    return pen ? RecPen{pen->style, pen->style == PS_NULL ? 0 : std::max(pen->width, 1), pen->color}
               : RecPen{PS_NULL, 0, 0};
}

RecBrush recBrush(const Brush *brush)
{
    return brush ? RecBrush{brush->style, brush->color} : RecBrush{BS_NULL, 0};
}

std::string DumpItem(const RecordItem &item)
{
    struct Visitor {
        std::string operator()(const RecDocument &d) const
        {
            static const char *const events[] = {"start", "end", "abort"};
            std::string s =
                std::string("doc ") + events[d.event] + " job=" + std::to_string(d.jobId);
            if (d.event == RecDocument::Start)
                return s + " name=" + quoted(d.name) + " output=" + quoted(d.output);
            return s + " pages=" + std::to_string(d.pages);
        }
        std::string operator()(const RecPage &p) const
        {
            std::string s = "page " + std::to_string(p.number);
            if (p.event == RecPage::End)
                return s + " end";
            return s + " start " + std::to_string(p.width) + "x" + std::to_string(p.height) + " " +
                   std::to_string(p.dpiX) + "x" + std::to_string(p.dpiY) + "dpi " +
                   (p.landscape ? "landscape" : "portrait");
        }
        std::string operator()(const RecText &t) const { return textLine(t); }
        std::string operator()(const RecLine &l) const
        {
            return "line p" + std::to_string(l.page) + " " + point(l.from) + "-" + point(l.to) +
                   " pen=" + penText(l.pen);
        }
        std::string operator()(const RecShape &r) const
        {
            static const char *const kinds[] = {"rect", "ellipse", "fillrect"};
            std::string s =
                std::string(kinds[r.kind]) + " p" + std::to_string(r.page) + " " + rect(r.rect);
            if (r.kind != RecShape::FillRect)
                s += " pen=" + penText(r.pen);
            return s + " brush=" + brushText(r.brush);
        }
        std::string operator()(const RecBitmap &b) const
        {
            auto four = [](int a, int c, int d, int e) {
                return "(" + std::to_string(a) + "," + std::to_string(c) + "," + std::to_string(d) +
                       "," + std::to_string(e) + ")";
            };
            return "bitmap p" + std::to_string(b.page) + " " + b.call +
                   " dest=" + four(b.x, b.y, b.cx, b.cy) +
                   " src=" + four(b.srcX, b.srcY, b.srcCx, b.srcCy) +
                   " bitmap=" + std::to_string(b.bmWidth) + "x" + std::to_string(b.bmHeight) + "x" +
                   std::to_string(b.bmBits) + " rop=" + ropText(b.rop);
        }
        std::string operator()(const RecExternal &e) const
        {
            return "external p" + std::to_string(e.page) + " " + quoted(e.what) +
                   " box=" + rect(e.box);
        }
    };
    return std::visit(Visitor{}, item);
}

std::string DumpRecord(const std::vector<RecordItem> &items)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); i++) {
        if (i)
            out += '\n';
        out += DumpItem(items[i]);
    }
    return out;
}

void writeRecordDump(DeviceContext &dc)
{
    PrinterState &ps = *dc.printer;
    if (ps.recordDir.empty() || !recording(dc))
        return;
    std::error_code ec;
    std::filesystem::create_directories(ps.recordDir, ec);
    std::string path = ps.recordDir + "/job" + std::to_string(ps.doc.jobId) + "-" +
                       sanitized(ps.doc.docName) + ".gdi.txt";
    std::vector<RecordItem> doc(dc.record->begin() + static_cast<std::ptrdiff_t>(ps.recordStart),
                                dc.record->end());
    std::ofstream(path) << DumpRecord(doc) << '\n';
    if (ps.autoRecord) {
        /* Recording only for the dump: drop the document's items once written. */
        dc.record->resize(ps.recordStart);
    }
}

BOOL SetRecording(HDC hdc, bool on)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    if (on)
        dc->record = std::make_unique<std::vector<RecordItem>>();
    else
        dc->record.reset();
    if (dc->printer) {
        dc->printer->autoRecord = false;
        dc->printer->recordStart = 0;
    }
    return TRUE;
}

std::vector<RecordItem> GetRecord(HDC hdc)
{
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    if (!dc || !dc->record)
        return {};
    return *dc->record;
}

} // namespace winport::gdi
