/*
 * The general prescription pad (PRINT_PRESCRIPTION), drawn whole on plain
 * paper: letterhead, prescriber and patient blocks, Rx symbol, drug and
 * directions, the signature line, the generic-substitution statements and
 * the refill, MDD and "daw" boxes.  With the record's fax flag the same pad
 * is laid out for a fax: a header above it, a note block, and a lower part
 * that follows the note when there is one.
 */
#include <cstring>

#include "prescription.h"

namespace {

const FormTextStyle kValue8 = {"Microsoft Sans Serif", 8, 400};
const FormTextStyle kVendor = {"Times New Roman", 6, 400};
const FormTextStyle kFaxStatement = {"Helvetica", 9, 400};

/* Where the lower part of the pad stands and what it says. */
struct LowerPart {
    FormTextStyle statement;
    const char *szSecondStatement;
    double dDispensePoints; /* "Dispense  As  Written" */
    int yFirstStatement = 0, ySecondStatement = 0;
    int yBoxTop = 0, yDawMark = 0, yRefill = 0, yMdd = 0, yVendor = 0;
};

/* Lower-part positions from one base line (the pad's y1, the fax's yb). */
void PlaceFromBase(const FormCanvas *c, int yBase, LowerPart *p)
{
    p->yBoxTop = yBase - 12;
    p->yDawMark = yBase + FormInchY(c, 0.25);
    p->yRefill = yBase + FormInchY(c, 0.2);
    p->yMdd = yBase + FormInchY(c, 0.4);
    p->yVendor = yBase + FormInchY(c, 0.58);
}

void DrawLowerPart(FormCanvas *c, const PrescriptionRecord &r, const LowerPart &p)
{
    FormCentred(c, p.statement, p.yFirstStatement,
                r.iJurisdiction == JURISDICTION_OHIO
                    ? "THIS PRESCRIPTION MAY BE FILLED GENERICALLY"
                    : "THIS PRESCRIPTION WILL BE FILLED GENERICALLY");
    FormCentred(c, p.statement, p.ySecondStatement, p.szSecondStatement);
    FormUnderlinedValue(c, kRxStatement, kValue8, FormX(c, 0.25), p.yRefill, "Refill",
                        RefillValue(r));
    FormUnderlinedValue(c, kRxStatement, kValue8, FormX(c, 0.25), p.yMdd, "MDD",
                        FormFormat("  %s  ", r.szMaxDailyDose));
    const int xBox = FormX(c, 1.625);
    FormBox(c, xBox, p.yBoxTop, xBox + FormInchX(c, 0.75), p.yBoxTop + FormInchY(c, 0.5));
    if (DawMarkWanted(c, r))
        FormCentred(c, kRxDawMark, p.yDawMark, "\"daw\"");
    FormText(c, kVendor, FormX(c, 0.05), p.yVendor, "Novarc");
    const FormTextStyle dispense = {"Times New Roman", p.dDispensePoints, 400};
    FormCentred(c, dispense, p.yVendor, "Dispense  As  Written");
}

/* The government-form line and the signature line; returns the line's
 * y.  The text position stays on the government-form line. */
int DrawSignatureArea(FormCanvas *c, const PrescriptionRecord &r, int yTop, double dLineInches)
{
    const std::string government =
        strcmp(r.szGovernmentForm, "Y") == 0 ? "*** GOVERNMENT FORM REQUIRED ***" : " ";
    const int h = FormMeasure(c, kPadStyle.body, government).cy;
    c->y = yTop + FormInchY(c, 4.25) - 4 * h + 5;
    FormCentred(c, kPadStyle.body, c->y, government);
    const int yLine = yTop + FormInchY(c, dLineInches);
    FormLine(c, FormX(c, 0.75), yLine, FormX(c, 3.75), yLine);
    return yLine;
}

/* What the fax layout writes on its signature line. */
const char *FaxSignatureText(const PrescriptionRecord &r)
{
    if (r.iJurisdiction == JURISDICTION_OHIO && !*r.szSignatureLine)
        return "";
    return *r.szSignatureLine2 ? r.szSignatureLine2 : r.szSignatureLine;
}

const char *const kOhioApproval = "The Ohio Board of Pharmacy has found Novarc approvable";

void DrawPadBottom(FormCanvas *c, const PrescriptionRecord &r, int yTop)
{
    DrawSignatureArea(c, r, yTop, 4.25);
    /* In the signature's place, a line under the government-form line. */
    if (r.iElectronicallySigned) {
        FormNextLine(c);
        FormText(c, kRxSmall, FormX(c, 0.75), c->y, "(Electronically Signed)");
    }
    LowerPart p = {kRxStatement, "UNLESS PRESCRIBER WRITES 'd a w' IN THE BOX BELOW", 8};
    const int y1 = yTop + FormInchY(c, 4.63);
    const int h = FormMeasure(c, kRxStatement, " ").cy;
    p.yFirstStatement = y1 - 2 * h;
    p.ySecondStatement = p.yFirstStatement + h;
    PlaceFromBase(c, y1, &p);
    DrawLowerPart(c, r, p);
}

void DrawFaxBottom(FormCanvas *c, const PrescriptionRecord &r, int yTop)
{
    c->y = DrawSignatureArea(c, r, yTop, 4.35);
    FormText(c, kPadStyle.body, FormX(c, 0.75), c->y, FaxSignatureText(r));
    const bool bOhio = r.iJurisdiction == JURISDICTION_OHIO;
    std::string signedText;
    if (r.iElectronicallySigned)
        signedText = bOhio ? std::string("(Electronically Signed) ") + kOhioApproval
                           : "(Electronically Signed)";
    else if (bOhio)
        signedText = kOhioApproval;
    if (!signedText.empty()) {
        FormNextLine(c);
        FormText(c, kRxSmall, FormX(c, 0.75), c->y, signedText);
    }
    LowerPart p = {kFaxStatement, "UNLESS PRESCRIBER INDICATES 'd a w' IN THE BOX BELOW", 10};
    const int h = FormMeasure(c, kFaxStatement, " ").cy;
    if (!*r.szNote) {
        const int yb = yTop + FormInchY(c, 4.9);
        p.yFirstStatement = yb - (int)(1.8 * h);
        p.ySecondStatement = p.yFirstStatement + h;
        PlaceFromBase(c, yb, &p);
    } else {
        /* A note pushes the lower part down: each element a line below
         * the one before. */
        p.yFirstStatement = c->y + h;
        p.ySecondStatement = p.yFirstStatement + h;
        p.yBoxTop = p.ySecondStatement + h;
        p.yDawMark = p.yBoxTop + h;
        p.yRefill = p.yDawMark + h;
        p.yMdd = p.yRefill + h;
        p.yVendor = p.yMdd + 3 * h;
    }
    DrawLowerPart(c, r, p);
}

} // namespace

bool DrawGeneralPad(FormCanvas *c, const PrescriptionRecord &r, int)
{
    const bool bFax = r.iFax != 0;
    const int yTop = c->y0 + (bFax ? DrawFaxHeader(c) : 0);
    c->y = yTop;
    DrawPadHeading(c, r, kPadStyle);
    DrawPrescriberBlock(c, r, kPadStyle);
    DrawPatientBlock(c, r, kPadStyle);

    c->y = yTop + FormInchY(c, 2.4) + 28;
    const int iRx = DrawRxSymbol(c, c->y);
    if (iRx > 0)
        c->y += iRx / 2;
    DrawPadDrugLine(c, r);

    c->y = yTop + FormInchY(c, 2.7) + 28;
    DrawDirections(c, r, kPadStyle.body, FormX(c, 0.42));
    if (bFax)
        DrawFaxNote(c, r, kPadStyle);
    FormNextLine(c);
    FormNextLine(c);
    const std::string quantity = (!bFax && r.iDaysSupply)
                                     ? FormFormat("%s %s      Days Supply: %d", r.szQuantity,
                                                  r.szQuantityUnit, r.iDaysSupply)
                                     : FormFormat("%s %s", r.szQuantity, r.szQuantityUnit);
    FormText(c, kPadStyle.body, FormX(c, 0.42), c->y, quantity);
    DrawCopyOrDiagnosis(c, r, kPadStyle);
    DrawPrescribedOn(c, r, kPadStyle);

    if (bFax)
        DrawFaxBottom(c, r, yTop);
    else
        DrawPadBottom(c, r, yTop);
    return DispenseAsWritten(r);
}
