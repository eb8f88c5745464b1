/*
 * Draws an optical prescription from its layout row: the letterhead and
 * provider block, the patient block cell by cell, the measurement table
 * with values centred in their columns, the remarks and the signature.
 * Every form is 5 inches wide.
 */
#include <cstring>

#include "optical.h"

namespace {

const FormTextStyle kLetterhead = {"Microsoft Sans Serif", 11, 400};
const FormTextStyle kProviderName = {"Microsoft Sans Serif", 10, 700};
const FormTextStyle kProviderName9 = {"Microsoft Sans Serif", 9, 700};
const FormTextStyle kProvider = {"Microsoft Sans Serif", 10, 400};
const FormTextStyle kProvider9 = {"Microsoft Sans Serif", 9, 400};
const FormTextStyle kSmall = {"Microsoft Sans Serif", 8, 400};
const FormTextStyle kValue = {"Courier 10", 8, 500};
const FormTextStyle kLabel = {"Helvetica", 8, 500};

const double kFormWidth = 5.0;

/* A provider line with a value in the right column, which stands 2.1
 * inches from x0 unless the line is wider: then the line is drawn a size
 * smaller and the column moves to 2.6 inches, or past the line's end. */
void DrawProviderLine(FormCanvas *c, const FormTextStyle &font, const FormTextStyle &smaller,
                      const char *szLeft, const std::string &right, double dSlack)
{
    FormTextStyle use = font;
    int xColumn = FormInchX(c, 2.1);
    int iWidth = FormMeasure(c, font, szLeft).cx;
    if (iWidth > FormInchX(c, 2.1 + dSlack)) {
        use = smaller;
        xColumn = FormInchX(c, 2.6);
        iWidth = FormMeasure(c, smaller, szLeft).cx;
        if (iWidth > FormInchX(c, 2.6 + dSlack))
            xColumn = iWidth + FormInchX(c, 0.1);
    }
    FormText(c, use, c->x0, c->y, szLeft);
    FormText(c, kProvider, c->x0 + xColumn, c->y, right);
}

void DrawProviderBlock(FormCanvas *c, const OpticalRecord &r)
{
    FormNextLine(c);
    DrawProviderLine(c, kProviderName, kProviderName9, r.szField[9],
                     FormFormat("LIC %-15.15s", r.szField[11]), 0);
    FormNextLine(c);
    DrawProviderLine(c, kProvider, kProvider9, r.szField[1], FormFormat("PH# %s", r.szField[4]),
                     0.02);
    FormNextLine(c);
    FormText(c, kProvider, c->x0, c->y, r.szField[2]);
    FormNextLine(c);
    FormText(c, kProvider, c->x0, c->y, r.szField[3]);
}

void DrawRule(FormCanvas *c, double dY)
{
    const int y = FormY(c, dY);
    FormLine(c, c->x0, y, FormX(c, kFormWidth), y);
}

void DrawCell(FormCanvas *c, const OpticalRecord &r, const OpticalCell &cell)
{
    const int x = FormX(c, cell.dX);
    const char *szField = cell.iField >= 0 ? r.szField[cell.iField] : "";
    switch (cell.kind) {
    case OpticalCell::LABEL:
        FormText(c, kLabel, x, c->y, cell.szLabel);
        break;
    case OpticalCell::VALUE:
        FormText(c, kValue, x, c->y, szField);
        break;
    case OpticalCell::NAME: {
        /* A name that would run into the age is drawn smaller. */
        const bool bWide = x + FormMeasure(c, kValue, szField).cx > FormX(c, 4.05);
        FormText(c, bWide ? kSmall : kValue, x, c->y, szField);
        break;
    }
    case OpticalCell::PAIR: {
        const int iLabel = FormText(c, kLabel, x, c->y, cell.szLabel);
        if (cell.bExpiresRule && strcmp(szField, "00/00/00") == 0)
            szField = "N/A";
        FormText(c, kValue, x + iLabel, c->y, szField);
        break;
    }
    }
}

void DrawPatientBlock(FormCanvas *c, const OpticalRecord &r, const OpticalLayout &layout)
{
    int iRow = -1;
    for (int i = 0; i < layout.iCellCount; i++) {
        const OpticalCell &cell = layout.cells[i];
        if (cell.iRow != iRow) {
            iRow = cell.iRow;
            if (iRow < 3)
                c->y = FormY(c, layout.dPatientRows[iRow]);
            else
                FormNextLine(c);
        }
        DrawCell(c, r, cell);
    }
}

/* Text centred in column k of the table. */
void DrawInColumn(FormCanvas *c, const OpticalLayout &layout, int k, const FormTextStyle &font,
                  int y, const char *szText)
{
    if (!szText || k < 0 || k + 1 >= layout.iBoundCount)
        return;
    const int xStart = FormX(c, layout.dBounds[k]);
    const int iWidth = FormInchX(c, layout.dBounds[k + 1]) - FormInchX(c, layout.dBounds[k]);
    FormText(c, font, xStart + (iWidth - FormMeasure(c, font, szText).cx) / 2, y, szText);
}

void DrawTable(FormCanvas *c, const OpticalRecord &r, const OpticalLayout &layout)
{
    const int yTop = FormY(c, layout.dHeadingY - OPTICAL_TABLE_TOP);
    const int yBottom = FormY(c, layout.dRowY[layout.iRowCount - 1] + OPTICAL_ROW_RULE);
    FormBox(c, c->x0, yTop, FormX(c, kFormWidth), yBottom);
    for (int k = 1; k + 1 < layout.iBoundCount; k++) {
        const int x = FormX(c, layout.dBounds[k]);
        FormLine(c, x, yTop, x, yBottom);
    }
    DrawRule(c, layout.dHeadingY + OPTICAL_ROW_RULE);
    for (int row = 0; row + 1 < layout.iRowCount; row++)
        DrawRule(c, layout.dRowY[row] + OPTICAL_ROW_RULE);

    const int yHeading = FormY(c, layout.dHeadingY);
    for (int j = 0; j < layout.iValueColumns; j++)
        DrawInColumn(c, layout, layout.iFirstValueColumn + j, kLabel, yHeading,
                     layout.szHeadings[j]);
    for (int row = 0; row < layout.iRowCount; row++) {
        const int y = FormY(c, layout.dRowY[row]);
        DrawInColumn(c, layout, layout.iFirstValueColumn - 1, kLabel, y, layout.szRowLabels[row]);
        if (layout.iFirstValueColumn > 1)
            DrawInColumn(c, layout, 0, kLabel, y, layout.szGroupLabels[row]);
        for (int j = 0; j < layout.iValueColumns; j++)
            DrawInColumn(c, layout, layout.iFirstValueColumn + j, kValue, y,
                         r.szField[layout.iFields[j][row]]);
    }
}

void DrawSignatureBlock(FormCanvas *c, const OpticalRecord &r, const OpticalLayout &layout)
{
    if (FormSignaturePending(c))
        PrintFormSignature(c);
    const double dShift = layout.dSignatureShift;
    FormText(c, kLabel, FormX(c, 0.25), FormY(c, 3.75 + dShift), "Dr.");
    const int yRule = FormY(c, 3.8 + dShift);
    FormLine(c, FormX(c, 0.5), yRule, FormX(c, kFormWidth), yRule);
    FormText(c, kProvider, FormX(c, 0.5), FormY(c, 4.0 + dShift), r.szSigner);
}

void DrawRemarks(FormCanvas *c, const OpticalRecord &r, const OpticalLayout &layout)
{
    c->y = FormY(c, layout.dRemarksY);
    const int x = c->x0 + FormText(c, kLabel, c->x0, c->y, "REMARKS:");
    for (int i = 0; i < OPTICAL_REMARK_COUNT; i++) {
        if (i > 0)
            FormNextLine(c);
        FormText(c, kValue, x, c->y, FormFormat(" %s", r.szRemark[i]));
    }
}

} // namespace

void DrawOpticalForm(FormCanvas *c, const OpticalRecord &r, const OpticalLayout &layout)
{
    c->y = FormY(c, layout.dLetterheadY);
    FormText(c, kLetterhead, c->x0, c->y, FormFormat("%s ", r.szField[0]));
    DrawProviderBlock(c, r);
    DrawRule(c, layout.dRules[0]);
    DrawRule(c, layout.dRules[1]);
    DrawPatientBlock(c, r, layout);
    DrawRule(c, layout.dBlockRule);
    FormBitmap(c, RX_SYMBOL_BITMAP, FormX(c, 0.1), FormY(c, layout.dRxY));
    DrawTable(c, r, layout);
    DrawSignatureBlock(c, r, layout);
    DrawRemarks(c, r, layout);
}
