/*
 * The form requests: read the record, refresh the device settings for a
 * form, draw the form of the request type on one page, end the page.  A
 * payload that does not hold its record fails that request with a log
 * line before anything is drawn.
 */
#include <memory>

#include "forms.h"
#include "optical.h"
#include "prescription.h"
#include "printer.h"

namespace {

/* The prescription message types and the form each prints. */
struct PrescriptionForm {
    int iType;
    const char *szName; /* in log lines */
    bool (*pDraw)(FormCanvas *c, const PrescriptionRecord &r, int iType);
};

const PrescriptionForm kPrescriptionForms[] = {
    {PRINT_PRESCRIPTION, "PrintPrescription", DrawGeneralPad},
    {PRINT_PRESCRIPTION_PENN, "PrintPrescriptionPennsylvania", DrawPennsylvaniaPad},
    {PRINT_PRESCRIPTION_NJ, "PrintPrescriptionNJ", DrawNjBlank},
    {PRINT_PRESCRIPTION_NJ_NP, "PrintPrescriptionNJ_NP", DrawNjBlank},
    {PRINT_PRESCRIPTION_NJ_PA, "PrintPrescriptionNJ_PA", DrawNjBlank},
    {PRINT_PRESCRIPTION_NY_2006, "PrintPrescriptionNY2006", DrawNyStock},
    {PRINT_PRESCRIPTION_NY_2006NON_TYPE_30, "PrintPrescriptionNY2006NonType30", DrawNyStock},
};

const PrescriptionForm *FormFor(int iType)
{
    for (const PrescriptionForm &form : kPrescriptionForms)
        if (form.iType == iType)
            return &form;
    return NULL;
}

/* Logs what the reader met; false when the record could not be read. */
bool CheckRecord(NovarcprintProcess *s, const char *szName, bool bRead, const RecordIssues &issues,
                 int iLen)
{
    if (!bRead) {
        s->Log("%s payload of %d bytes ends inside item %d: not printed", szName, iLen,
               issues.iFailedItem);
        return false;
    }
    if (issues.iCutCount)
        s->Log("%s %d text item(s) longer than their field were cut, the first item %d", szName,
               issues.iCutCount, issues.iCutItem);
    if (issues.bStrayBytes)
        s->Log("%s payload ends with bytes after item %d that make no item", szName,
               issues.iItemsRead);
    return true;
}

int PrintOptical(NovarcprintProcess *s, MsgBuf *pMsg, const char *szName, bool bEye)
{
    s->Log("%s()", szName);
    if (!s->m_Printer.m_hPrinterDc)
        return 0;
    auto pRecord = std::make_unique<OpticalRecord>();
    RecordIssues issues;
    const bool bRead =
        bEye ? ParseEyePrescriptionRecord(pMsg->szBuf, pMsg->iLen, pRecord.get(), &issues)
             : ParseContactLensRecord(pMsg->szBuf, pMsg->iLen, pRecord.get(), &issues);
    if (!CheckRecord(s, szName, bRead, issues, pMsg->iLen))
        return 0;
    PrinterState &p = s->m_Printer;
    if (bEye) {
        /* The eye-prescription stocks of form types 27 to 30 feed sideways. */
        const bool bSaved = p.m_bLandscape;
        if (p.m_iFormTypeCode >= 27 && p.m_iFormTypeCode <= 30)
            p.m_bLandscape = true;
        SetLabelMode(s);
        p.m_bLandscape = bSaved;
    } else {
        SetLabelMode(s);
    }
    FormCanvas c;
    int iResult = 0;
    if (BeginFormPage(&c, s, 2)) {
        const OpticalLayoutId id = !bEye                   ? LAYOUT_CONTACT_LENS
                                   : pRecord->iLayout == 0 ? LAYOUT_SINGLE_VISION
                                                           : LAYOUT_DISTANCE_NEAR;
        DrawOpticalForm(&c, *pRecord, OpticalLayoutFor(id));
        EndFormPage(&c, false);
        iResult = 1;
    }
    return iResult;
}

} // namespace

int HandlePrintPrescription(NovarcprintProcess *s, MsgBuf *pMsg, int iType)
{
    const PrescriptionForm *pForm = FormFor(iType);
    if (!pForm)
        return 0;
    s->Log("%s()", pForm->szName);
    if (!s->m_Printer.m_hPrinterDc)
        return 0;
    auto pRecord = std::make_unique<PrescriptionRecord>();
    RecordIssues issues;
    const bool bRead = ParsePrescriptionRecord(pMsg->szBuf, pMsg->iLen, pRecord.get(), &issues);
    int iResult = 0;
    if (CheckRecord(s, pForm->szName, bRead, issues, pMsg->iLen)) {
        SetLabelMode(s);
        FormCanvas c;
        if (BeginFormPage(&c, s, 4)) {
            const bool bDaw = pForm->pDraw(&c, *pRecord, iType);
            EndFormPage(&c, bDaw);
            iResult = 1;
        }
    }
    return iResult;
}

int HandlePrintEyePrescription(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    return PrintOptical(s, pMsg, "PrintEyePrescription", true);
}

int HandlePrintContactLens(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    return PrintOptical(s, pMsg, "PrintContactLens", false);
}
