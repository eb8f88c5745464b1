/*
 * What the prescription forms share: the letterhead, prescriber and
 * patient blocks of the pad, the drug line that shrinks to fit, the
 * directions in three lines, the fax header and the Rx symbol.  The NY
 * stocks draw the same blocks with their own fonts (PadStyle).
 */
#include <cstring>

#include "prescription.h"

const FormTextStyle kRxSmall = {"Microsoft Sans Serif", 6, 400};
const FormTextStyle kRxStatement = {"Helvetica", 8, 400};
const FormTextStyle kRxDawMark = {"Times New Roman", 8, 400};
const FormTextStyle kRxFaxCaption = {"Microsoft Sans Serif", 6, 400};

const PadStyle kPadStyle = {{"Microsoft Sans Serif", 10, 400},
                            {"Microsoft Sans Serif", 9, 400},
                            {"Microsoft Sans Serif", 6, 400},
                            {"Helvetica", 8, 500},
                            2.74};
const PadStyle kNyStyle = {{"Microsoft Sans Serif", 9, 700},
                           {"Microsoft Sans Serif", 8, 400},
                           {"Microsoft Sans Serif", 6, 400},
                           {"Microsoft Sans Serif", 7, 500},
                           3.0};

namespace {

const FormTextStyle kCopyNotForDispensing = {"Microsoft Sans Serif", 9, 700};

/* The column the pad's texts start in. */
int LeftColumn(const FormCanvas *c)
{
    return FormX(c, 0.42);
}

/* The licence line, with the CTP number when there is one. */
std::string LicenceLine(const char *szLicence, const char *szCtp)
{
    if (*szCtp)
        return FormFormat("LIC %-15.15s CTP %-10.10s", szLicence, szCtp);
    return FormFormat("LIC %-15.15s", szLicence);
}

void DrawLine(FormCanvas *c, const FormTextStyle &font, const std::string &text)
{
    FormNextLine(c);
    FormText(c, font, LeftColumn(c), c->y, text);
}

} // namespace

void DrawPadHeading(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style)
{
    const std::string letterhead = FormFormat("%s ", r.szLetterhead);
    c->y += FormMeasure(c, style.letterhead, letterhead).cy;
    FormText(c, style.letterhead, LeftColumn(c), c->y, letterhead);
    const std::string copy = FormFormat("%s%d", r.iCopyLabel ? "(copy) " : "", r.iCopyNumber);
    const int iWidth = FormMeasure(c, style.body, copy).cx;
    FormText(c, style.body, FormX(c, FORM_WIDTH_INCHES) - 30 - iWidth, c->y, copy);
}

std::string DeaLine(const char *szDea, int iNpiFlag, const char *szNpi, const char *szSuffix)
{
    if (strcmp(szDea, RX_NO_DEA) == 0) {
        if (!iNpiFlag)
            return "";
        return *szSuffix ? FormFormat("NPI %s / %s", szNpi, szSuffix) : FormFormat("NPI %s", szNpi);
    }
    if (*szSuffix)
        return iNpiFlag ? FormFormat("DEA %s / NPI %s / %s", szDea, szNpi, szSuffix)
                        : FormFormat("DEA %s / %s", szDea, szSuffix);
    return iNpiFlag ? FormFormat("DEA %s / NPI %s", szDea, szNpi) : FormFormat("DEA %s", szDea);
}

void DrawPrescriberBlock(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style)
{
    FormNextLine(c);
    if (!*r.szPrescriber2)
        FormNextLine(c);
    FormText(c, style.body, LeftColumn(c), c->y, r.szPrescriber);
    const std::string dea = DeaLine(r.szDea, r.iNpiFlag, r.szNpi, r.szDeaSuffix);
    if (!dea.empty())
        DrawLine(c, style.body, dea);
    DrawLine(c, style.body, LicenceLine(r.szLicence, r.szCtp));
    if (*r.szPrescriber2) {
        DrawLine(c, style.body, r.szPrescriber2);
        const std::string dea2 = DeaLine(r.szDea2, r.iNpiFlag, r.szNpi2, "");
        if (!dea2.empty())
            DrawLine(c, style.body, dea2);
        DrawLine(c, style.body, LicenceLine(r.szLicence2, r.szCtp2));
    }
    for (int i = 0; i < 3; i++)
        DrawLine(c, style.body, r.szPracticeAddress[i]);
    DrawLine(c, style.body, FormFormat("PH# %s", r.szPracticePhone));
    FormNextLine(c); /* the blank line before the patient */
}

namespace {

/* A right-hand label and its value: the value stands after the width of
 * "Age  " plus 10 device units, so every right-hand value lines up. */
void DrawRightPair(FormCanvas *c, const PadStyle &style, const std::string &label,
                   const char *szValue)
{
    const int xLabel = FormX(c, style.dRightLabelInches);
    const int iAgeWidth = FormMeasure(c, style.label, "Age  ").cx;
    FormText(c, style.label, xLabel, c->y, label);
    FormText(c, style.body, xLabel + iAgeWidth + 10, c->y, szValue);
}

void DrawLeftPair(FormCanvas *c, const PadStyle &style, const std::string &label,
                  const FormTextStyle &valueFont, const char *szValue)
{
    if (!label.empty())
        FormText(c, style.label, FormX(c, 0.05), c->y, label);
    FormText(c, valueFont, LeftColumn(c), c->y, szValue);
}

} // namespace

void DrawPatientBlock(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style)
{
    FormNextLine(c);
    /* A name that would pass the right-hand labels is drawn small. */
    const int iNameWidth = FormMeasure(c, style.body, r.szPatientName).cx;
    const bool bSmall = LeftColumn(c) + iNameWidth > FormX(c, 3.05);
    DrawLeftPair(c, style, "Name ", bSmall ? style.small : style.body, r.szPatientName);
    if (strcmp(r.szPatientPhone, RX_NO_PHONE) != 0)
        DrawRightPair(c, style, "Ph ", r.szPatientPhone);

    FormNextLine(c);
    DrawLeftPair(c, style, "Addr ", style.body, r.szPatientAddress[0]);
    DrawRightPair(c, style, FormFormat("%-4.4s ", "DOB"), r.szPatientDob);

    FormNextLine(c);
    DrawLeftPair(c, style, "", style.body, r.szPatientAddress[1]);
    DrawRightPair(c, style, FormFormat("%-4.4s ", "Age"), r.szPatientAge);

    FormNextLine(c);
    if (r.iPlanFlag)
        DrawLeftPair(c, style, "Plan", style.body, r.szPlanName);
    DrawRightPair(c, style, FormFormat("%-4.4s ", "Date"), r.szWrittenDate);

    FormNextLine(c);
    DrawLeftPair(c, style, "", style.body, *r.szPatientNote2 ? r.szPatientNote2 : r.szPatientNote);
}

std::string DrugText(const PrescriptionRecord &r)
{
    return FormFormat("%s (%s)", r.szDrugName, r.szDrugDetail);
}

FormTextStyle DrawDrugLine(FormCanvas *c, const PrescriptionRecord &r, const char *szFace,
                           int iWeight, const double *pSizes, int iSizeCount, int x, int xLimit)
{
    const std::string text = DrugText(r);
    FormTextStyle font = {szFace, pSizes[0], iWeight};
    for (int i = 0; i < iSizeCount; i++) {
        font.dPoints = pSizes[i];
        if (x + FormMeasure(c, font, text).cx < xLimit)
            break;
    }
    FormText(c, font, x, c->y, text);
    return font;
}

FormTextStyle DrawPadDrugLine(FormCanvas *c, const PrescriptionRecord &r)
{
    static const double kSizes[] = {12, 11, 7, 6};
    return DrawDrugLine(c, r, "Microsoft Sans Serif", 700, kSizes, 4, LeftColumn(c),
                        FormX(c, FORM_WIDTH_INCHES));
}

void DrawDirections(FormCanvas *c, const PrescriptionRecord &r, const FormTextStyle &font, int x)
{
    std::string lines[3];
    SplitFormLines(r.szDirections, 40, 3, lines);
    FormText(c, font, x, c->y, lines[0]);
    FormNextLine(c);
    if (!lines[1].empty() || !lines[2].empty()) {
        FormText(c, font, x, c->y, lines[1]);
        FormNextLine(c);
        FormText(c, font, x, c->y, lines[2]);
    }
}

void DrawFaxNote(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style)
{
    std::string lines[4];
    SplitFormLines(r.szNote, 62, 4, lines);
    /* On the line the directions moved to; the first note line beside the
     * label even when empty, so the lines after step by the body's height. */
    FormText(c, style.label, FormX(c, 0.05), c->y, "Note");
    FormText(c, style.body, LeftColumn(c), c->y, lines[0]);
    for (int i = 1; i < 4; i++) {
        if (lines[i].empty())
            continue;
        FormNextLine(c);
        FormText(c, style.body, LeftColumn(c), c->y, lines[i]);
    }
}

void DrawCopyOrDiagnosis(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style)
{
    FormNextLine(c);
    if (r.iNotForDispensing) {
        FormText(c, kCopyNotForDispensing, LeftColumn(c), c->y, "*Copy. Not For Dispensing.*");
    } else if (r.iDiagnosisFlag) {
        const int iShift = strlen(r.szDiagnosis1) >= 12 ? 80 : 0;
        FormText(c, style.body, LeftColumn(c) - iShift, c->y,
                 FormFormat("Dx: %s   %s   %s", r.szDiagnosis1, r.szDiagnosis2, r.szDiagnosis3));
    }
}

void DrawPrescribedOn(FormCanvas *c, const PrescriptionRecord &r, const PadStyle &style)
{
    if (!*r.szPrescribedOn || !*r.szFillAfter)
        return;
    FormNextLine(c);
    FormText(
        c, style.body, LeftColumn(c) - 40, c->y,
        FormFormat("PRESCRIBED ON %s, CANNOT BE FILLED UNTIL %s", r.szPrescribedOn, r.szFillAfter));
}

std::string RefillValue(const PrescriptionRecord &r)
{
    if (r.iRefillCount < 0)
        return std::string(10, ' ');
    return FormFormat("  %s  ", r.szRefills);
}

bool DispenseAsWritten(const PrescriptionRecord &r)
{
    return strcmp(r.szDispenseAsWritten, "Y") == 0;
}

bool DawMarkWanted(const FormCanvas *c, const PrescriptionRecord &r)
{
    return DispenseAsWritten(r) && r.iDawPrint != 0 && !FormDawPending(c);
}

int DrawFaxHeader(FormCanvas *c)
{
    c->y = c->y0;
    const int iHeight = FormBitmap(c, FAX_HEADER_BITMAP, c->x0, c->y0);
    if (iHeight > 0)
        c->y += iHeight / 2;
    c->y += FormMeasure(c, kRxFaxCaption, "Novarc Fax").cy;
    FormText(c, kRxFaxCaption, LeftColumn(c), c->y, "Novarc Fax");
    return c->y - c->y0;
}

int DrawRxSymbol(FormCanvas *c, int y)
{
    return FormBitmap(c, RX_SYMBOL_BITMAP, FormX(c, 0.1), y);
}
