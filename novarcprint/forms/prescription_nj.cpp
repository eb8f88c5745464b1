/*
 * The NJ security blanks (PRINT_PRESCRIPTION_NJ, _NJ_NP for nurse
 * practitioners, _NJ_PA for physician assistants): the form is printed on
 * the blank already, so only the data is placed, each item into its box.
 * The three blanks differ only in where the boxes are, so each is one row
 * of the table below.  Item 50 carries a calibration offset for the
 * printer at hand, added to every position (value × 1000 device units at
 * any resolution: the offset is measured on the printer it corrects).
 */
#include <cstring>

#include "novarcprint_msgs.h"
#include "prescription.h"

namespace {

const FormTextStyle kData = {"Helvetica", 8, 500};
const char *const kDrugFace = "Microsoft Sans Serif";

/* Where one blank's boxes are.  Positions are inches from the origin;
 * "heights" count text heights (h) of the text drawn just before. */
struct NjBlank {
    int iType;
    double dNameX, dNameY;
    int iNameAdd;           /* device units added to the name's line */
    int iNameHeightsUp;     /* the name's own heights it is raised by */
    double dDobX;           /* the date of birth, on the name's line */
    double dAddressHeights; /* the address line below the name */
    double dAddressX;
    double dDateX;        /* the written date, on the address line */
    bool bCopyEndsAtEdge; /* the plain blank's copy box: see DrawCopy */
    double dCopyX;
    double dDrugX, dDrugY;
    int iDrugHeights; /* copy heights below the drug's base line */
    double dDrugSizes[5];
    int iDrugSizeCount;
    double dDrugLimit; /* the drug line ends before x0 + this */
    int iDrugLimitAdjust;
    double dDirectionsY;
    int iDirectionsHeights; /* drug-line heights below the first directions line */
    double dRefillX, dRefillY, dRefillExtra;
    double dRefillHeights;
};

// clang-format off
const NjBlank kBlanks[] = {
/*   type, name x, y, +, up, dob, address h, x, date, copy at edge, copy x,
     drug x, y, h, sizes, count, limit, adjust, directions y, h,
     refill x, y, + inches, + heights */
    {PRINT_PRESCRIPTION_NJ, 0.35, 2.4, 0, 4, 3.0, 2.0, 0.35, 3.0, true, 3.0,
     0.05, 2.8, 0, {10, 8, 7, 6}, 4, 4.0, 0, 3.1, 0,
     0.19, 4.8, 0, 1.2},
    {PRINT_PRESCRIPTION_NJ_NP, 0.25, 2.64, 28, 0, 3.1, 1.95, 0.29, 3.1, false, 3.3,
     0.5, 2.8, 3, {10, 8, 7, 7, 6}, 5, 3.3, -5, 3.17, 3,
     0.15, 4.8, 0.19, 0},
    {PRINT_PRESCRIPTION_NJ_PA, 0.27, 2.55, 28, 0, 3.1, 1.9, 0.29, 3.1, false, 3.3,
     0.5, 2.67, 3, {10, 8, 7, 7, 6}, 5, 3.3, -5, 3.17, 3,
     0.25, 4.8, 0.12, 0},
};
// clang-format on

const NjBlank &BlankFor(int iType)
{
    for (const NjBlank &b : kBlanks)
        if (b.iType == iType)
            return b;
    return kBlanks[0];
}

/* The copy number: the plain blank puts "%d (copy)" flush against its box's
 * right edge and a bare "%d" at 3 inches; the others "%d %s" at 3.3 inches,
 * where no calibration offset applies. */
void DrawCopy(FormCanvas *c, const PrescriptionRecord &r, const NjBlank &b, int xo, int y)
{
    const std::string copy = FormFormat("%d %s", r.iCopyNumber, r.iCopyLabel ? "(copy)" : "");
    if (!b.bCopyEndsAtEdge) {
        FormText(c, kData, FormX(c, b.dCopyX), y, copy);
    } else if (r.iCopyLabel) {
        const int iWidth = FormMeasure(c, kData, copy).cx;
        FormText(c, kData, FormX(c, FORM_WIDTH_INCHES) - 30 - iWidth + xo, y, copy);
    } else {
        FormText(c, kData, FormX(c, b.dCopyX) + xo, y, FormFormat("%d", r.iCopyNumber));
    }
}

/* Directions from yFirst, then the quantity, prescribed-on and diagnosis
 * lines under them. */
void DrawDirectionsAndBelow(FormCanvas *c, const PrescriptionRecord &r, int xo, int yFirst)
{
    std::string lines[3];
    SplitFormLines(r.szDirections, 40, 3, lines);
    const int x = FormX(c, 0.42) + xo;
    const int h = FormMeasure(c, kData, " ").cy;
    for (int i = 0; i < 3; i++)
        FormText(c, kData, x, yFirst + i * h, lines[i]);
    const bool bOneLine = lines[1].empty() && lines[2].empty();
    c->y = yFirst + (bOneLine ? 3 : 4) * h;
    FormText(c, kData, x, c->y, FormFormat("%s %s", r.szQuantity, r.szQuantityUnit));
    const int xLeft = FormX(c, 0.05) + xo;
    if (*r.szPrescribedOn && *r.szFillAfter) {
        FormNextLine(c);
        FormText(c, kData, xLeft, c->y,
                 FormFormat("PRESCRIBED ON %s, CANNOT BE FILLED UNTIL %s", r.szPrescribedOn,
                            r.szFillAfter));
    }
    if (r.iDiagnosisFlag) {
        FormNextLine(c);
        const int iShift = strlen(r.szDiagnosis1) >= 12 ? 80 : 0;
        FormText(c, kData, xLeft - iShift, c->y,
                 FormFormat("Dx: %s   %s   %s", r.szDiagnosis1, r.szDiagnosis2, r.szDiagnosis3));
    }
}

} // namespace

bool DrawNjBlank(FormCanvas *c, const PrescriptionRecord &r, int iType)
{
    const NjBlank &b = BlankFor(iType);
    const int yo = FormOffsetFromText(r.szVertOffset);
    const int xo = FormOffsetFromText(r.szHorzOffset);

    int h = FormMeasure(c, kData, r.szPatientName).cy;
    c->y = FormY(c, b.dNameY) + b.iNameAdd - b.iNameHeightsUp * h + yo;
    FormText(c, kData, FormX(c, b.dNameX) + xo, c->y, r.szPatientName);
    FormText(c, kData, FormX(c, b.dDobX) + xo, c->y, r.szPatientDob);

    c->y += (int)(b.dAddressHeights * c->iLastHeight);
    FormText(c, kData, FormX(c, b.dAddressX) + xo, c->y,
             FormFormat("%s, %s", r.szPatientAddress[0], r.szPatientAddress[1]));
    FormText(c, kData, FormX(c, b.dDateX) + xo, c->y, r.szWrittenDate);

    c->y += 2 * c->iLastHeight;
    DrawCopy(c, r, b, xo, c->y);

    h = c->iLastHeight;
    c->y = FormY(c, b.dDrugY) + 28 + b.iDrugHeights * h + yo;
    const FormTextStyle drug =
        DrawDrugLine(c, r, kDrugFace, 400, b.dDrugSizes, b.iDrugSizeCount, FormX(c, b.dDrugX) + xo,
                     FormX(c, b.dDrugLimit) + b.iDrugLimitAdjust);
    h = FormMeasure(c, drug, " ").cy;
    DrawDirectionsAndBelow(c, r, xo, FormY(c, b.dDirectionsY) + 28 + b.iDirectionsHeights * h + yo);

    h = c->iLastHeight;
    const int yRefill =
        FormY(c, b.dRefillY) + FormInchY(c, b.dRefillExtra) + (int)(b.dRefillHeights * h) + yo;
    const std::string refill =
        r.iRefillCount < 0 ? std::string(10, ' ') : FormFormat("  %d  ", r.iRefillCount);
    FormText(c, kData, FormX(c, b.dRefillX) + xo, yRefill, refill);
    return DispenseAsWritten(r);
}
