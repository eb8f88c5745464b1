/*
 * The NY official prescription stocks (PRINT_PRESCRIPTION_NY_2006 and
 * PRINT_PRESCRIPTION_NY_2006NON_TYPE_30): the pad's content with the
 * stocks' own fonts and positions, quantity before directions, refill and
 * MDD on one line, and the statements placed for the stock's printed
 * boxes.  The two stocks differ in a handful of offsets: one row each in
 * the table below.
 */
#include <cstring>

#include "novarcprint_msgs.h"
#include "prescription.h"

namespace {

const FormTextStyle kNyStatement = {"Microsoft Sans Serif", 8, 400};
const FormTextStyle kNyCopyNotForDispensing = {"Microsoft Sans Serif", 9, 700};

struct NyStock {
    int iType;
    double dLetterheadHeights; /* the letterhead's own heights below y */
    int iLetterheadAdd;
    int iRxAdd; /* device units below y0 + F + 2.4 inches */
    double dSignatureLine;
    double dSignedBelow; /* "(Electronically Signed)": half its height + this below the line */
    double dBase;        /* the statements' base, inches */
    double dFirstStatementHeights;
    int iSecondStatementAdjust;
    bool bDawBox;
    int iDawDivisor; /* the mark at x0 + (4 inches - width) / divisor + add */
    int iDawAdd;
    bool bDawSixthInch; /* the mark a sixth of an inch below the base, else a quarter */
};

// clang-format off
const NyStock kStocks[] = {
/*   type, letterhead heights, +, Rx +, signature line, signed below, base, first statement,
     second adjust, daw box, mark divisor, add, sixth */
    {PRINT_PRESCRIPTION_NY_2006, 3, 15, 80, 4.36, 3.5, 4.8, 2, -6, false, 2, -70, true},
    {PRINT_PRESCRIPTION_NY_2006NON_TYPE_30, 1.5, 0, 25, 4.05, 4, 4.5, 2.5, 0, true, 3, 50, false},
};
// clang-format on

const NyStock &StockFor(int iType)
{
    for (const NyStock &s : kStocks)
        if (s.iType == iType)
            return s;
    return kStocks[0];
}

/* Copy number at device x 5, "Novarc" ending at 4 inches, letterhead. */
void DrawStockHeading(FormCanvas *c, const PrescriptionRecord &r, const NyStock &stock)
{
    const PadStyle &style = kNyStyle;
    const std::string copy = FormFormat("%s%d", r.iCopyLabel ? "(copy) " : "", r.iCopyNumber);
    const int h = FormMeasure(c, style.body, copy).cy;
    FormText(c, style.body, 5, c->y + 2 * h, copy);
    c->y += h;
    const SIZE vendor = FormMeasure(c, style.body, "Novarc");
    FormText(c, style.body, FormInchX(c, FORM_WIDTH_INCHES) - vendor.cx, c->y + vendor.cy,
             "Novarc");
    const std::string letterhead = FormFormat("%s ", r.szLetterhead);
    const int hLetterhead = FormMeasure(c, style.letterhead, letterhead).cy;
    c->y += (int)(stock.dLetterheadHeights * hLetterhead) + stock.iLetterheadAdd;
    FormText(c, style.letterhead, FormX(c, 0.42), c->y, letterhead);
}

/* Quantity, directions, the copy or diagnosis line, prescribed-on, and the
 * refill and MDD values on one line. */
void DrawStockMiddle(FormCanvas *c, const PrescriptionRecord &r)
{
    const PadStyle &style = kNyStyle;
    const int x = FormX(c, 0.42);
    FormNextLine(c);
    FormText(c, style.body, x, c->y, FormFormat("%s %s", r.szQuantity, r.szQuantityUnit));
    FormNextLine(c);
    DrawDirections(c, r, style.body, x);
    FormNextLine(c);
    if (r.iNotForDispensing) {
        c->y += FormMeasure(c, kNyCopyNotForDispensing, " ").cy;
        FormText(c, kNyCopyNotForDispensing, x, c->y, "*Copy. Not For Dispensing.*");
    } else if (r.iDiagnosisFlag) {
        FormNextLine(c);
        const int iShift = strlen(r.szDiagnosis1) >= 12 ? 80 : 0;
        FormText(c, style.body, x - iShift, c->y,
                 FormFormat("Dx: %s   %s   %s", r.szDiagnosis1, r.szDiagnosis2, r.szDiagnosis3));
    }
    DrawPrescribedOn(c, r, style);
    FormNextLine(c);
    const int xEnd =
        FormUnderlinedValue(c, style.body, style.body, x, c->y, "Refill", RefillValue(r));
    FormUnderlinedValue(c, style.body, style.body, xEnd + 5, c->y, "MDD",
                        FormFormat("  %s  ", r.szMaxDailyDose));
}

void DrawStockSignature(FormCanvas *c, const PrescriptionRecord &r, const NyStock &stock, int yTop)
{
    const int yLine = yTop + FormInchY(c, stock.dSignatureLine);
    FormLine(c, FormX(c, 0.75), yLine, FormX(c, 3.75), yLine);
    const bool bOhio = r.iJurisdiction == JURISDICTION_OHIO;
    if (bOhio && r.iFax && *r.szSignatureLine)
        FormText(c, kNyStyle.body, FormX(c, 0.75), yLine, r.szSignatureLine);
    if (r.iElectronicallySigned) {
        const std::string text = "(Electronically Signed)";
        const int h = FormMeasure(c, kRxSmall, text).cy;
        FormText(c, kRxSmall, FormX(c, 0.73), (int)(yLine + h / 2 + stock.dSignedBelow), text);
    } else if (bOhio && r.iFax) {
        const std::string text = "The Ohio Board of Pharmacy has found Novarc approvable";
        FormText(c, kRxSmall, FormX(c, 0.75), yLine + FormMeasure(c, kRxSmall, text).cy, text);
    }
}

void DrawStockStatements(FormCanvas *c, const PrescriptionRecord &r, const NyStock &stock, int yTop)
{
    const int yb = yTop + FormInchY(c, stock.dBase);
    const int h = FormMeasure(c, kNyStatement, " ").cy;
    const int yFirst = yb - (int)(stock.dFirstStatementHeights * h);
    FormCentred(c, kNyStatement, yFirst, "THIS PRESCRIPTION WILL BE FILLED GENERICALLY");
    FormCentred(c, kNyStatement, yFirst + h + stock.iSecondStatementAdjust,
                "UNLESS PRESCRIBER WRITES 'd a w' IN THE BOX BELOW");
    if (stock.bDawBox) {
        const int xl = FormX(c, 1.125), yt = yb - 12;
        const int xr = xl + FormInchX(c, 0.75), ybot = yt + FormInchY(c, 0.5);
        FormLine(c, xl, yt, xr, yt);
        FormLine(c, xr, yt, xr, ybot);
        FormLine(c, xr, ybot, xl, ybot);
        FormLine(c, xl, ybot, xl, yt);
    }
    if (DawMarkWanted(c, r)) {
        const int iWidth = FormMeasure(c, kRxDawMark, "\"daw\"").cx;
        const int x =
            c->x0 + (FormInchX(c, FORM_WIDTH_INCHES) - iWidth) / stock.iDawDivisor + stock.iDawAdd;
        const int y = yb + (stock.bDawSixthInch ? (int)(c->py * 0.5 / 3) : FormInchY(c, 0.25));
        FormText(c, kRxDawMark, x, y, "\"daw\"");
    }
}

} // namespace

bool DrawNyStock(FormCanvas *c, const PrescriptionRecord &r, int iType)
{
    const NyStock &stock = StockFor(iType);
    const int yTop = c->y0 + (r.iFax ? DrawFaxHeader(c) : 0);
    c->y = yTop;
    DrawStockHeading(c, r, stock);
    DrawPrescriberBlock(c, r, kNyStyle);
    DrawPatientBlock(c, r, kNyStyle);

    c->y = yTop + FormInchY(c, 2.4) + stock.iRxAdd;
    const int iRx = DrawRxSymbol(c, c->y);
    if (iRx > 0)
        c->y += iRx;
    DrawPadDrugLine(c, r);
    DrawStockMiddle(c, r);
    DrawStockSignature(c, r, stock, yTop);
    DrawStockStatements(c, r, stock, yTop);
    return DispenseAsWritten(r);
}
