/*
 * The Pennsylvania pad (PRINT_PRESCRIPTION_PENN): the pad's upper blocks,
 * then a lower part whose wording the record's jurisdiction code chooses:
 * the refill line, the substitution block with its signature lines and
 * the brand mark.  With the fax flag the fax header comes first and the
 * lower part is laid out for a fax.
 */
#include <cstring>

#include "prescription.h"

namespace {

const FormTextStyle kRefillLabel = {"Helvetica", 7, 400};
const FormTextStyle kRefillValue = {"Helvetica", 9, 400};
const FormTextStyle kBlock12 = {"Helvetica", 8, 400};
const FormTextStyle kFaxMark = {"Helvetica", 7, 700};

const char *const kFacsimileOnly =
    "This Prescription is valid only if transmitted by means of a facsimile machine.";

/* The three-text substitution block by jurisdiction code; code 0 is the
 * row of every code without its own. */
struct SubstitutionWording {
    int iCode;
    bool bFaxOnly;
    const char *szFirst;
    const char *szSecond;
    const char *szThird; /* NULL: no third line */
    const char *szMark;
};

// clang-format off
const SubstitutionWording kWordings[] = {
    {JURISDICTION_5, false, "Signature",
     "Generic permitted unless the prescriber writes \"Brand Necessary\" or \"No Substitution\"",
     NULL, "BRAND NECESSARY"},
    {JURISDICTION_6, false, "Signature",
     "INTERCHANGE IS MANDATED UNLESS THE PRACTITIONER WRITES THE WORDS",
     "\"NO SUBSTITION\" IN THIS SPACE", "NO SUBSTITION"},
    {JURISDICTION_FACSIMILE, true, "SUBSTITUTION PERMISSIBLE", "", kFacsimileOnly, "BRAND NECESSARY"},
    {0, false, "SUBSTITUTION PERMISSIBLE",
     "IN ORDER FOR A BRAND NAME PRODUCT TO BE DISPENSED, THE PRESCRIBER MUST HAND",
     "WRITE \"BRAND NECESSARY\" OR \"BRAND MEDICALLY NECESSARY\" IN THE SPACE BELOW.",
     "BRAND NECESSARY"},
};
// clang-format on

const SubstitutionWording &WordingFor(int iCode, bool bFax)
{
    for (const SubstitutionWording &w : kWordings)
        if (w.iCode == iCode && (bFax || !w.bFaxOnly))
            return w;
    return kWordings[sizeof(kWordings) / sizeof(kWordings[0]) - 1];
}

/* The two-signature block of codes 12 and 21. */
struct TwoSignatureWording {
    int iCode;
    const char *szLeft;
    const char *szRight;
    const char *szNote; /* two lines under the labels, or NULL */
};

const TwoSignatureWording kTwoSignatures[] = {
    {JURISDICTION_12, "Dispensed as Written", "Substitution Permitted", NULL},
    {JURISDICTION_21, "dispensed as written", "product selection permitted",
     "*Note: Signatures must be manually signed, digital signature cannot print on these."},
};

const TwoSignatureWording *TwoSignaturesFor(int iCode)
{
    for (const TwoSignatureWording &w : kTwoSignatures)
        if (w.iCode == iCode)
            return &w;
    return NULL;
}

/* Two signature lines at yLine, their labels 1.4 text heights lower. */
void DrawTwoSignatures(FormCanvas *c, const TwoSignatureWording &w, const FormTextStyle &font,
                       int yLine)
{
    FormLine(c, FormX(c, 0.05) + 5, yLine, FormX(c, 1.8), yLine);
    FormLine(c, FormX(c, 2.15), yLine, FormX(c, 3.75), yLine);
    const int h = FormMeasure(c, font, " ").cy;
    const int yLabels = yLine + (int)(1.4 * h);
    FormText(c, font, FormX(c, 0.4), yLabels, w.szLeft);
    FormText(c, font, FormX(c, 2.4), yLabels, w.szRight);
    if (w.szNote)
        FormText(c, font, FormX(c, 2.4), yLabels + 2 * h, w.szNote);
}

/* The first text of the block with its signature line from its end to
 * x0 + 3.75 inches; returns the text height. */
int DrawFirstText(FormCanvas *c, const FormTextStyle &font, int y, const char *szText)
{
    const int iWidth = FormText(c, font, FormX(c, 0.05), y, szText);
    FormLine(c, FormX(c, 0.05) + iWidth + 2, y, FormX(c, 3.75), y);
    return c->iLastHeight;
}

void DrawSubstitutionBlock(FormCanvas *c, const PrescriptionRecord &r)
{
    const int iCode = r.iJurisdiction;
    const FormTextStyle &font = iCode == JURISDICTION_12 ? kBlock12 : kRxSmall;
    if (const TwoSignatureWording *two = TwoSignaturesFor(iCode)) {
        DrawTwoSignatures(c, *two, font, c->y + 7);
        return;
    }
    const SubstitutionWording &w = WordingFor(iCode, false);
    int y = c->y + 1;
    const int h = DrawFirstText(c, font, y, w.szFirst);
    y += 2 * h;
    FormText(c, font, FormX(c, 0.05), y, w.szSecond);
    if (w.szThird) {
        y += h;
        FormText(c, font, FormX(c, 0.05), y, w.szThird);
    }
    if (DawMarkWanted(c, r))
        FormCentred(c, font, y + h, w.szMark);
}

void DrawFaxSubstitutionBlock(FormCanvas *c, const PrescriptionRecord &r)
{
    const int iCode = r.iJurisdiction;
    const int h = FormMeasure(c, kRxSmall, " ").cy;
    c->y += 2 * h + 1;
    if (*r.szSignatureLine2) {
        FormText(c, kRxSmall, FormX(c, 0.05), c->y, r.szSignatureLine2);
        c->y += 2 * h;
    }
    if (iCode == JURISDICTION_12) {
        DrawTwoSignatures(c, *TwoSignaturesFor(iCode), kRxSmall, c->y);
        return;
    }
    const SubstitutionWording &w = WordingFor(iCode, true);
    DrawFirstText(c, kRxSmall, c->y, w.szFirst);
    c->y += 2 * h;
    FormText(c, kRxSmall, FormX(c, 0.05), c->y, w.szSecond);
    c->y += h;
    const bool bThird = w.szThird && (iCode != JURISDICTION_FACSIMILE || r.iFacsimileOnly);
    FormText(c, kRxSmall, FormX(c, 0.05), c->y, bThird ? w.szThird : "");
    c->y += 2 * h;
    c->y += FormMeasure(c, kFaxMark, " ").cy;
    const int hMark = FormMeasure(c, kFaxMark, " ").cy;
    FormLine(c, FormX(c, 0.05), c->y + hMark / 2 + 3, FormX(c, 3.75), c->y + hMark / 2 + 3);
    if (DawMarkWanted(c, r))
        FormCentred(c, kFaxMark, c->y, w.szMark);
}

const char *Item18Text(const PrescriptionRecord &r)
{
    if (strcmp(r.szGovernmentForm, "Y") == 0)
        return "*** GOVERNMENT FORM REQUIRED ***";
    if (strcmp(r.szGovernmentForm, RX_OPIOID_MA) == 0)
        return "Patient may fill script for quantity less than quantity indicated on script.";
    return " ";
}

/* "REFILL", the value underlined, "TIMES"; then the next line. */
void DrawRefillLine(FormCanvas *c, const PrescriptionRecord &r, int y)
{
    c->y = y;
    const int xEnd = FormUnderlinedValue(c, kRefillLabel, kRefillValue, FormX(c, 0.05), y, "REFILL",
                                         RefillValue(r));
    FormText(c, kRefillLabel, xEnd, y, "TIMES");
    FormNextLine(c);
}

void DrawElectronicallySigned(FormCanvas *c, const PrescriptionRecord &r)
{
    if (r.iJurisdiction != JURISDICTION_12 && r.iElectronicallySigned)
        FormText(c, kRxSmall, FormX(c, 3), c->y, "(Electronically Signed)");
}

} // namespace

bool DrawPennsylvaniaPad(FormCanvas *c, const PrescriptionRecord &r, int)
{
    const bool bFax = r.iFax != 0;
    const int yTop = c->y0 + (bFax ? DrawFaxHeader(c) : 0);
    c->y = yTop;
    DrawPadHeading(c, r, kPadStyle);
    DrawPrescriberBlock(c, r, kPadStyle);
    DrawPatientBlock(c, r, kPadStyle);

    c->y = yTop + FormInchY(c, 2.5) + 28;
    const int iRx = DrawRxSymbol(c, c->y);
    if (iRx > 0)
        c->y += iRx / 2;
    else
        c->pSession->Log("PrintPrescriptionPennsylvania LoadBitmap(ERROR) %d ",
                         (int)GetLastError());
    DrawPadDrugLine(c, r);
    FormNextLine(c);
    FormNextLine(c);
    DrawDirections(c, r, kPadStyle.body, FormX(c, 0.42));
    if (bFax)
        DrawFaxNote(c, r, kPadStyle);
    FormNextLine(c);
    FormNextLine(c);
    FormText(c, kPadStyle.body, FormX(c, 0.42), c->y,
             FormFormat("%s %s", r.szQuantity, r.szQuantityUnit));
    DrawCopyOrDiagnosis(c, r, kPadStyle);
    DrawPrescribedOn(c, r, kPadStyle);

    const char *szItem18 = Item18Text(r);
    const int h = FormMeasure(c, kPadStyle.body, szItem18).cy;
    FormCentred(c, kPadStyle.body, yTop + FormInchY(c, 4.25) - 2 * h, szItem18);

    const bool bHigher = !bFax && r.iJurisdiction == JURISDICTION_12;
    DrawRefillLine(c, r, yTop + FormInchY(c, bHigher ? 4.15 : 4.25));
    if (bFax) {
        FormNextLine(c);
        DrawElectronicallySigned(c, r);
        DrawFaxSubstitutionBlock(c, r);
    } else {
        if (r.iJurisdiction == JURISDICTION_5) {
            FormUnderlinedValue(c, kRefillLabel, kRefillValue, FormX(c, 0.05), c->y, "MDD ",
                                FormFormat("  %s  ", r.szMaxDailyDose));
            FormNextLine(c);
        }
        DrawElectronicallySigned(c, r);
        FormNextLine(c);
        FormNextLine(c);
        DrawSubstitutionBlock(c, r);
    }
    return DispenseAsWritten(r) && r.iDawPrint != 0 && r.iJurisdiction != JURISDICTION_6;
}
