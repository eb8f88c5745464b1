/*
 * The prescription forms: the general pad, the Pennsylvania pad, the NJ
 * security blanks and the NY official stocks.  They share one record and
 * the steps below (the prescriber and patient blocks, the drug line, the
 * directions, the fax header); each family draws the rest in its own file.
 */
#ifndef NOVARCPRINT_PRESCRIPTION_H
#define NOVARCPRINT_PRESCRIPTION_H

#include "form_canvas.h"
#include "form_records.h"

/* Texts with a meaning in the record. */
#define RX_NO_DEA "^NODEA^"
#define RX_NO_PHONE "^NOPHONE^"
#define RX_OPIOID_MA "^OPIOID-MA^"

/* Jurisdiction codes (item 34) that change wording. */
#define JURISDICTION_OHIO 3
#define JURISDICTION_5 5
#define JURISDICTION_6 6
#define JURISDICTION_FACSIMILE 8
#define JURISDICTION_12 12
#define JURISDICTION_21 21

/* Fonts of the pads. */
extern const FormTextStyle kRxSmall;      /* Microsoft Sans Serif 6 */
extern const FormTextStyle kRxStatement;  /* Helvetica 8 */
extern const FormTextStyle kRxDawMark;    /* Times New Roman 8 */
extern const FormTextStyle kRxFaxCaption; /* the "Novarc Fax" line, 6 points */

/* How a stock draws the pad's upper blocks: its fonts and where the
 * right-hand patient labels stand. */
struct PadStyle {
    FormTextStyle letterhead;
    FormTextStyle body;
    FormTextStyle small;
    FormTextStyle label;
    double dRightLabelInches;
};
extern const PadStyle kPadStyle; /* the general and Pennsylvania pads */
extern const PadStyle kNyStyle;  /* the NY official stocks */

/* The letterhead line and the copy number (pad steps 1 and 2). */
void DrawPadHeading(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style);
/* Prescriber, DEA/NPI and licence lines, the second prescriber, the
 * practice lines (pad steps 3 to 7). */
void DrawPrescriberBlock(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style);
/* The patient block (pad step 8). */
void DrawPatientBlock(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style);

/* The DEA line of a prescriber; empty when none is printed. */
std::string DeaLine(const char *szDea, int iNpiFlag, const char *szNpi, const char *szSuffix);
/* "%s (%s)" of the drug name and detail. */
std::string DrugText(const PrescriptionRecord &r);
/* The drug line at (x, c->y) in the first of the point sizes whose end
 * stays before xLimit (the last size when none does); returns the font. */
FormTextStyle DrawDrugLine(FormCanvas *c, const PrescriptionRecord &r, const char *szFace,
                           int iWeight, const double *pSizes, int iSizeCount, int x, int xLimit);
/* The pad's drug line: 12 points bold, then 11, 7, 6, before x0 + 4 inches. */
FormTextStyle DrawPadDrugLine(FormCanvas *c, const PrescriptionRecord &r);
/* Three directions lines from c->y: line 1 when not empty, a line down,
 * then lines 2 and 3 when either is not empty (an empty line 2 keeps its
 * place); c->y ends on the last line that was stepped to. */
void DrawDirections(FormCanvas *c, const PrescriptionRecord &r, const FormTextStyle &font, int x);
/* The "Note" block of the fax layouts: item 45 in up to four lines. */
void DrawFaxNote(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style);
/* Next line, "*Copy. Not For Dispensing.*" or the diagnosis line (pad
 * step 13), then the prescribed-on line (step 14). */
void DrawCopyOrDiagnosis(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style);
void DrawPrescribedOn(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style);
/* The refill value: item 40, or ten spaces when the refill count is negative. */
std::string RefillValue(const PrescriptionRecord &r);
/* Whether the record asks for the dispense-as-written mark (item 24 "Y",
 * item 26 set) and no dispense-as-written image will stand in for it. */
bool DawMarkWanted(const FormCanvas *c, const PrescriptionRecord &r);
/* Item 24 is "Y". */
bool DispenseAsWritten(const PrescriptionRecord &r);

/* The fax header: bitmap 2525 at the origin, "Novarc Fax" under it; the
 * height it takes (F), which moves the form below it down. */
int DrawFaxHeader(FormCanvas *c);
/* The Rx symbol at (x0 + 0.1 inch, y); its scaled height, -1 without it. */
int DrawRxSymbol(FormCanvas *c, int y);

/* One form of a family, the request type choosing among its members;
 * each says whether a pending dispense-as-written image belongs on it. */
bool DrawGeneralPad(FormCanvas *c, const PrescriptionRecord &r, int iType);
bool DrawPennsylvaniaPad(FormCanvas *c, const PrescriptionRecord &r, int iType);
bool DrawNjBlank(FormCanvas *c, const PrescriptionRecord &r, int iType);
bool DrawNyStock(FormCanvas *c, const PrescriptionRecord &r, int iType);

#endif /* NOVARCPRINT_PRESCRIPTION_H */
