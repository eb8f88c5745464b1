/*
 * The printed 12-lead report: a millimetre grid (5 mm squares in a darker
 * line), the standard 25 mm/s and 10 mm/mV, four columns of three leads
 * of 2.5 s each and a rhythm strip of lead II over the whole width, lead
 * labels, calibration pulses and a header with the patient and the
 * measurements.  Drawn as vectors on a landscape page of a printer DC.
 */
#ifndef ECG_REPORT_H
#define ECG_REPORT_H

#include "aecg.h"

#include <windows.h>

namespace ecg {

/* Page layout in millimetres from the corner of the printable area. */
constexpr double kMmPerSecond = 25.0;
constexpr double kMmPerMillivolt = 10.0;
constexpr double kGridLeftMm = 8.0;
constexpr double kGridTopMm = 28.0;
constexpr double kGridWidthMm = 250.0; /* 10 s */
constexpr double kRowHeightMm = 40.0;
constexpr int kRows = 4; /* three rows of leads, the rhythm strip */

/* Draws the report as one page of the DC's started document; false when
 * the DC gives no drawing surface. */
bool DrawReport(HDC hdc, const Recording &recording);

} // namespace ecg

#endif /* ECG_REPORT_H */
