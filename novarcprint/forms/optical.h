/*
 * The optical prescriptions: the eye prescription for spectacles (single
 * vision, or distance and near) and the contact lens prescription.  The
 * three layouts share one frame (letterhead, provider block, patient
 * block, measurement table, remarks, signature); where they differ is data,
 * one OpticalLayout row each.
 */
#ifndef NOVARCPRINT_OPTICAL_H
#define NOVARCPRINT_OPTICAL_H

#include "form_canvas.h"
#include "form_records.h"

enum OpticalLayoutId { LAYOUT_CONTACT_LENS, LAYOUT_SINGLE_VISION, LAYOUT_DISTANCE_NEAR };

/* One cell of the patient block. */
struct OpticalCell {
    int iRow; /* 0 to 2, or 3: the line after row 2 */
    enum Kind { LABEL, VALUE, NAME, PAIR } kind;
    double dX;           /* inches from x0 */
    const char *szLabel; /* LABEL and PAIR, as printed */
    int iField;          /* VALUE, NAME and PAIR */
    bool bExpiresRule;   /* "00/00/00" prints "N/A" */
};

#define OPTICAL_CELL_MAX 12
#define OPTICAL_TABLE_ROWS 4
#define OPTICAL_COLUMNS 8

struct OpticalLayout {
    OpticalLayoutId id;
    double dLetterheadY;
    double dRules[2];
    double dPatientRows[3];
    OpticalCell cells[OPTICAL_CELL_MAX];
    int iCellCount;
    double dBlockRule;
    double dRxY;
    /* The measurement table: base lines, column boundaries (0 to the 5-inch
     * edge), the columns holding values, their headings and fields. */
    double dHeadingY;
    double dRowY[OPTICAL_TABLE_ROWS];
    int iRowCount;
    double dBounds[OPTICAL_COLUMNS];
    int iBoundCount;
    int iFirstValueColumn;
    const char *szHeadings[6];
    int iValueColumns;
    const char *szRowLabels[OPTICAL_TABLE_ROWS];   /* in the column before the values */
    const char *szGroupLabels[OPTICAL_TABLE_ROWS]; /* in column 0 when the labels are in 1 */
    int iFields[6][OPTICAL_TABLE_ROWS];            /* value column × row */
    double dRemarksY;
    double dSignatureShift; /* the signature block below its usual place */
};

/* The three layouts. */
const OpticalLayout &OpticalLayoutFor(OpticalLayoutId id);
/* Table geometry the layouts leave open: the box top above the heading
 * base line and the rule below each row's base line, in inches. */
#define OPTICAL_TABLE_TOP 0.15
#define OPTICAL_ROW_RULE 0.07

void DrawOpticalForm(FormCanvas *c, const OpticalRecord &r, const OpticalLayout &layout);

#endif /* NOVARCPRINT_OPTICAL_H */
