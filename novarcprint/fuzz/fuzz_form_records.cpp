/*
 * Fuzz target for the form record readers: the first byte chooses the
 * reader (prescription, eye prescription, contact lens), the rest is the
 * payload.  Reading must never crash or read outside the payload, and a
 * record read must hold its invariants: every text ended inside its field,
 * the items read within the record, a failure naming the item it met.
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "form_records.h"

namespace {

void Check(bool bOk)
{
    if (!bOk)
        abort();
}

template <size_t N> void CheckText(const char (&szText)[N])
{
    Check(memchr(szText, 0, N) != NULL);
}

void CheckPrescription(const PrescriptionRecord &r)
{
    CheckText(r.szLetterhead);
    for (const auto &line : r.szPracticeAddress)
        CheckText(line);
    CheckText(r.szPatientName);
    CheckText(r.szDirections);
    CheckText(r.szPlanName);
    CheckText(r.szDiagnosis1);
    CheckText(r.szPrescribedOn);
    CheckText(r.szNote);
    CheckText(r.szSignatureLine2);
    CheckText(r.szVertOffset);
    CheckText(r.szHorzOffset);
    CheckText(r.szDeaSuffix);
    /* Offsets from any text stay a calibration, never a page move. */
    Check(abs(FormOffsetFromText(r.szVertOffset)) <= 100000);
    Check(abs(FormOffsetFromText(r.szHorzOffset)) <= 100000);
}

void CheckOptical(const OpticalRecord &r)
{
    for (const auto &field : r.szField)
        Check(strnlen(field, sizeof(field)) < 200);
    for (const auto &remark : r.szRemark)
        Check(strnlen(remark, sizeof(remark)) < 120);
    CheckText(r.szSigner);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > (1u << 20))
        return 0;
    const int iKind = data[0] % 3;
    /* An exact-size heap copy, so any overrun hits the sanitizer's redzone. */
    const size_t length = size - 1;
    char *pPayload = static_cast<char *>(malloc(length > 0 ? length : 1));
    if (!pPayload)
        return 0;
    memcpy(pPayload, data + 1, length);
    RecordIssues issues;
    bool bRead;
    if (iKind == 0) {
        auto *pRecord = new PrescriptionRecord;
        bRead = ParsePrescriptionRecord(pPayload, (int)length, pRecord, &issues);
        if (bRead)
            CheckPrescription(*pRecord);
        Check(issues.iItemsRead >= 0 && issues.iItemsRead <= 54);
        Check(bRead ? issues.iItemsRead >= 27 : issues.iFailedItem >= 1);
        delete pRecord;
    } else {
        auto *pRecord = new OpticalRecord;
        bRead = iKind == 1 ? ParseEyePrescriptionRecord(pPayload, (int)length, pRecord, &issues)
                           : ParseContactLensRecord(pPayload, (int)length, pRecord, &issues);
        if (bRead)
            CheckOptical(*pRecord);
        Check(bRead == (issues.iFailedItem == 0));
        delete pRecord;
    }
    Check(issues.iCutCount == 0 || issues.iCutItem > 0);
    free(pPayload);
    return 0;
}
