/*
 * The printed 12-lead report (see ecg_report.h), drawn with cairo on the
 * page the DC gives for vector drawing.
 */
#include "ecg_report.h"

#include <winport_gdi_ext.h>

#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace ecg {
namespace {

/* The standard layout: which lead sits in which row and column. */
const char *const kLayout[3][4] = {
    {"I", "aVR", "V1", "V4"}, {"II", "aVL", "V2", "V5"}, {"III", "aVF", "V3", "V6"}};
constexpr double kColumnSeconds = 2.5;

void Grid(cairo_t *cr)
{
    const double height = kRows * kRowHeightMm;
    cairo_set_source_rgb(cr, 1.0, 0.80, 0.80);
    cairo_set_line_width(cr, 0.1);
    for (int i = 0; i <= (int)kGridWidthMm; i++) {
        cairo_move_to(cr, kGridLeftMm + i, kGridTopMm);
        cairo_line_to(cr, kGridLeftMm + i, kGridTopMm + height);
    }
    for (int i = 0; i <= (int)height; i++) {
        cairo_move_to(cr, kGridLeftMm, kGridTopMm + i);
        cairo_line_to(cr, kGridLeftMm + kGridWidthMm, kGridTopMm + i);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.90, 0.45, 0.45);
    cairo_set_line_width(cr, 0.3);
    for (int i = 0; i <= (int)kGridWidthMm; i += 5) {
        cairo_move_to(cr, kGridLeftMm + i, kGridTopMm);
        cairo_line_to(cr, kGridLeftMm + i, kGridTopMm + height);
    }
    for (int i = 0; i <= (int)height; i += 5) {
        cairo_move_to(cr, kGridLeftMm, kGridTopMm + i);
        cairo_line_to(cr, kGridLeftMm + kGridWidthMm, kGridTopMm + i);
    }
    cairo_stroke(cr);
}

void Text(cairo_t *cr, double x, double y, double sizeMm, const std::string &text)
{
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, sizeMm);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text.c_str());
}

/* One lead from `startSecond` for `seconds`, its baseline at (x, y). */
void Trace(cairo_t *cr, const Recording &r, const Lead &lead, double startSecond, double seconds,
           double x, double y)
{
    const std::size_t first = (std::size_t)(startSecond / r.secondsPerSample);
    const std::size_t count = (std::size_t)(seconds / r.secondsPerSample);
    const double clip = kRowHeightMm / 2 - 1; /* a trace stays in its row */
    bool started = false;
    for (std::size_t i = 0; i < count && first + i < lead.microvolts.size(); i++) {
        double px = x + i * r.secondsPerSample * kMmPerSecond;
        double dy = lead.microvolts[first + i] / 1000.0 * kMmPerMillivolt;
        double py = y - std::clamp(dy, -clip, clip);
        if (started)
            cairo_line_to(cr, px, py);
        else
            cairo_move_to(cr, px, py);
        started = true;
    }
    cairo_stroke(cr);
}

/* The 1 mV, 200 ms calibration pulse at the start of a row. */
void Calibration(cairo_t *cr, double x, double y)
{
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + 1, y);
    cairo_line_to(cr, x + 1, y - kMmPerMillivolt);
    cairo_line_to(cr, x + 4, y - kMmPerMillivolt);
    cairo_line_to(cr, x + 4, y);
    cairo_line_to(cr, x + 5, y);
    cairo_stroke(cr);
}

void Header(cairo_t *cr, const Recording &r)
{
    cairo_set_source_rgb(cr, 0, 0, 0);
    Text(cr, kGridLeftMm, 8, 5, "12-lead ECG");
    std::string who = r.patient.empty() ? "Patient not named" : r.patient;
    if (!r.patientId.empty())
        who += "   ID " + r.patientId;
    Text(cr, kGridLeftMm, 15, 3.5, who);
    if (!r.when.empty())
        Text(cr, kGridLeftMm + 150, 15, 3.5, "Recorded " + r.when);
    std::string measured;
    for (const Measurement &m : r.measurements)
        measured += m.label + " " + m.text + "    ";
    Text(cr, kGridLeftMm, 21, 3.5, measured);
    Text(cr, kGridLeftMm + 190, 25.5, 3, "25 mm/s   10 mm/mV");
}

} // namespace

bool DrawReport(HDC hdc, const Recording &r)
{
    cairo_t *cr = winport_gdi_cairo(hdc);
    if (!cr)
        return false;
    cairo_save(cr);
    const double perMm = GetDeviceCaps(hdc, LOGPIXELSX) / 25.4;
    cairo_scale(cr, perMm, GetDeviceCaps(hdc, LOGPIXELSY) / 25.4);
    Grid(cr);
    Header(cr, r);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 0.25);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (int row = 0; row < kRows; row++) {
        const double baseline = kGridTopMm + row * kRowHeightMm + kRowHeightMm / 2;
        Calibration(cr, kGridLeftMm, baseline);
        if (row == 3) { /* the rhythm strip */
            if (const Lead *lead = r.find("II")) {
                Text(cr, kGridLeftMm + 6, baseline - 12, 3.5, "II");
                Trace(cr, r, *lead, 0, 10 - 0.25, kGridLeftMm + 6, baseline);
            }
            continue;
        }
        for (int col = 0; col < 4; col++) {
            const double x = kGridLeftMm + 6 + col * kColumnSeconds * kMmPerSecond;
            Text(cr, x + 1, baseline - 12, 3.5, kLayout[row][col]);
            const Lead *lead = r.find(kLayout[row][col]);
            const double seconds = col == 3 ? kColumnSeconds - 0.25 : kColumnSeconds;
            if (lead)
                Trace(cr, r, *lead, col * kColumnSeconds, seconds, x, baseline);
        }
    }
    cairo_restore(cr);
    RECT box = {0, 0, (LONG)(kGridWidthMm * perMm), (LONG)((kGridTopMm + 160) * perMm)};
    winport_gdi_note_drawing(hdc, "ecg report", &box);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

} // namespace ecg
