/*
 * The readers of the form payloads.  Each record is described by a table
 * of its items in payload order (what kind, where in the record, how big);
 * one bounded reader walks the table over the payload, so the three
 * records cannot drift apart in how they treat a short or damaged payload.
 */
#include "form_records.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

enum ItemKind { ITEM_INT, ITEM_STRING };

/* One item of a payload: its number (for the log), kind, place and size. */
struct RecordItem {
    int iItem;
    ItemKind kind;
    size_t offset;
    int iCapacity; /* strings: bytes including the NUL */
};

#define RX_INT(n, field)                                                                           \
    {                                                                                              \
        n, ITEM_INT, offsetof(PrescriptionRecord, field), 4                                        \
    }
#define RX_STR(n, field)                                                                           \
    {                                                                                              \
        n, ITEM_STRING, offsetof(PrescriptionRecord, field),                                       \
            (int)sizeof(((PrescriptionRecord *)0)->field)                                          \
    }
#define RX_STR_AT(n, field, i)                                                                     \
    {                                                                                              \
        n, ITEM_STRING, offsetof(PrescriptionRecord, field) + (i)*RX_FIELD_SIZE, RX_FIELD_SIZE     \
    }

// clang-format off
const RecordItem kPrescriptionItems[] = {
    RX_INT(1, iRecordWord1), RX_INT(2, iRecordWord2),
    RX_STR(3, szLetterhead),
    RX_STR_AT(4, szPracticeAddress, 0), RX_STR_AT(4, szPracticeAddress, 1), RX_STR_AT(4, szPracticeAddress, 2),
    RX_STR(5, szPracticePhone), RX_STR(6, szPatientName),
    RX_STR_AT(7, szPatientAddress, 0), RX_STR_AT(7, szPatientAddress, 1),
    RX_STR(8, szPatientAge), RX_STR(9, szPatientDob), RX_STR(10, szPatientPhone),
    RX_STR(11, szPrescriber), RX_STR(12, szDea), RX_STR(13, szLicence),
    RX_STR(14, szPrescriber2), RX_STR(15, szDea2), RX_STR(16, szLicence2),
    RX_STR(17, szWrittenDate), RX_STR(18, szGovernmentForm),
    RX_STR(19, szDrugName), RX_STR(20, szDrugDetail), RX_STR(21, szDirections),
    RX_STR(22, szQuantity), RX_STR(23, szQuantityUnit), RX_STR(24, szDispenseAsWritten),
    RX_STR(25, szMaxDailyDose), RX_INT(26, iDawPrint), RX_INT(27, iRefillCount),
    /* optional from here */
    RX_INT(28, iPlanFlag), RX_STR(29, szPlanName), RX_INT(30, iDiagnosisFlag),
    RX_STR(31, szDiagnosis1), RX_STR(31, szDiagnosis2), RX_STR(31, szDiagnosis3),
    RX_INT(32, iCopyNumber), RX_INT(33, iElectronicallySigned), RX_INT(34, iJurisdiction),
    RX_INT(35, iNpiFlag), RX_STR(36, szNpi), RX_STR(37, szNpi2), RX_INT(38, iFax),
    RX_STR(39, szSignatureLine), RX_STR(40, szRefills), RX_STR(41, szPrescribedOn),
    RX_STR(42, szFillAfter), RX_STR(43, szPatientNote), RX_INT(44, iCopyLabel),
    RX_STR(45, szNote), RX_STR(46, szCtp), RX_STR(47, szCtp2), RX_STR(48, szSignatureLine2),
    RX_INT(49, iFacsimileOnly),
    RX_STR(50, szOffsetUnused), RX_STR(50, szVertOffset), RX_STR(50, szHorzOffset),
    RX_INT(51, iNotForDispensing), RX_STR(52, szPatientNote2), RX_STR(53, szDeaSuffix),
    RX_INT(54, iDaysSupply),
};
// clang-format on
const int kPrescriptionRequired = 30; /* rows of items 1 to 27 */

#define OPT_INT(n, field)                                                                          \
    {                                                                                              \
        n, ITEM_INT, offsetof(OpticalRecord, field), 4                                             \
    }
#define OPT_FIELD(n, k, cap)                                                                       \
    {                                                                                              \
        n, ITEM_STRING, offsetof(OpticalRecord, szField) + (k)*200, cap                            \
    }
#define OPT_REMARK(n, i, cap)                                                                      \
    {                                                                                              \
        n, ITEM_STRING, offsetof(OpticalRecord, szRemark) + (i)*120, cap                           \
    }
#define OPT_SIGNER(n)                                                                              \
    {                                                                                              \
        n, ITEM_STRING, offsetof(OpticalRecord, szSigner), OPTICAL_SIGNER_SIZE                     \
    }

/* The eye prescription: layout, two record words, F0 to F33, seven
 * remarks and the signer (items numbered as the payload lists them). */
struct EyeItems {
    RecordItem rows[3 + OPTICAL_FIELD_COUNT + OPTICAL_REMARK_COUNT + 1];
    EyeItems()
    {
        int n = 0;
        rows[n++] = OPT_INT(1, iLayout);
        rows[n++] = OPT_INT(2, iRecordWord1);
        rows[n++] = OPT_INT(2, iRecordWord2);
        for (int k = 0; k < OPTICAL_FIELD_COUNT; k++)
            rows[n++] = OPT_FIELD(3, k, 100);
        for (int i = 0; i < OPTICAL_REMARK_COUNT; i++)
            rows[n++] = OPT_REMARK(4, i, 100);
        rows[n++] = OPT_SIGNER(5);
    }
};

/* The contact lens: a skipped word, then fields in the order the server
 * sends them (each right-eye value followed by its left-eye value). */
// clang-format off
const int kContactLensOrder[] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 19, 15, 20, 16, 21,
                                 17, 22, 18, 23};
// clang-format on
const int kContactLensFields = (int)(sizeof(kContactLensOrder) / sizeof(kContactLensOrder[0]));

struct ContactLensItems {
    RecordItem rows[1 + kContactLensFields + OPTICAL_REMARK_COUNT + 1];
    ContactLensItems()
    {
        int n = 0;
        rows[n++] = OPT_INT(1, iRecordWord1);
        for (int i = 0; i < kContactLensFields; i++) {
            const int k = kContactLensOrder[i];
            rows[n++] = OPT_FIELD(2 + i, k, k == 6 ? 200 : 100);
        }
        for (int i = 0; i < OPTICAL_REMARK_COUNT; i++)
            rows[n++] = OPT_REMARK(2 + kContactLensFields, i, 120);
        rows[n++] = OPT_SIGNER(3 + kContactLensFields);
    }
};

enum ReadResult { READ_OK, READ_ABSENT, READ_FAILED };

/* One item at *piPos.  An int needs four bytes; a string needs its NUL
 * inside the payload, and one longer than its field is cut to it. */
ReadResult ReadItem(const RecordItem &item, const char *pData, int iLen, int *piPos, char *pRecord,
                    RecordIssues *pIssues)
{
    const int iLeft = iLen - *piPos;
    if (item.kind == ITEM_INT) {
        if (iLeft < 4)
            return iLeft == 0 ? READ_ABSENT : READ_FAILED;
        unsigned v = 0;
        for (int i = 0; i < 4; i++)
            v |= (unsigned)(unsigned char)pData[*piPos + i] << (8 * i);
        const int iValue = (int)v;
        memcpy(pRecord + item.offset, &iValue, sizeof(iValue));
        *piPos += 4;
        return READ_OK;
    }
    if (iLeft <= 0)
        return READ_ABSENT;
    const char *pStart = pData + *piPos;
    const char *pEnd = (const char *)memchr(pStart, 0, (size_t)iLeft);
    if (!pEnd)
        return READ_FAILED;
    int n = (int)(pEnd - pStart);
    if (n >= item.iCapacity) {
        if (pIssues->iCutItem == 0)
            pIssues->iCutItem = item.iItem;
        pIssues->iCutCount++;
        n = item.iCapacity - 1;
    }
    memcpy(pRecord + item.offset, pStart, (size_t)n);
    pRecord[item.offset + n] = '\0';
    *piPos += (int)(pEnd - pStart) + 1;
    return READ_OK;
}

/* Walks the table: the first iRequired rows must be there; after them an
 * item the payload does not hold ends the record. */
bool ReadRecord(const RecordItem *pItems, int iCount, int iRequired, const char *pData, int iLen,
                char *pRecord, RecordIssues *pIssues)
{
    *pIssues = RecordIssues();
    if (!pData || iLen < 0)
        iLen = 0;
    int iPos = 0;
    for (int i = 0; i < iCount; i++) {
        const ReadResult result = ReadItem(pItems[i], pData, iLen, &iPos, pRecord, pIssues);
        if (result == READ_OK) {
            pIssues->iItemsRead = pItems[i].iItem;
            continue;
        }
        if (i < iRequired || (result == READ_FAILED && pItems[i].kind == ITEM_STRING)) {
            pIssues->iFailedItem = pItems[i].iItem;
            return false;
        }
        /* An older payload stops here; a few bytes too few for a whole
         * number are left unread rather than taken for the next string. */
        pIssues->bStrayBytes = result == READ_FAILED;
        break;
    }
    return true;
}

} // namespace

bool ParsePrescriptionRecord(const char *pData, int iLen, PrescriptionRecord *pRecord,
                             RecordIssues *pIssues)
{
    memset(pRecord, 0, sizeof(*pRecord));
    const int iCount = (int)(sizeof(kPrescriptionItems) / sizeof(kPrescriptionItems[0]));
    return ReadRecord(kPrescriptionItems, iCount, kPrescriptionRequired, pData, iLen,
                      (char *)pRecord, pIssues);
}

bool ParseEyePrescriptionRecord(const char *pData, int iLen, OpticalRecord *pRecord,
                                RecordIssues *pIssues)
{
    static const EyeItems kItems;
    memset(pRecord, 0, sizeof(*pRecord));
    const int iCount = (int)(sizeof(kItems.rows) / sizeof(kItems.rows[0]));
    return ReadRecord(kItems.rows, iCount, iCount, pData, iLen, (char *)pRecord, pIssues);
}

bool ParseContactLensRecord(const char *pData, int iLen, OpticalRecord *pRecord,
                            RecordIssues *pIssues)
{
    static const ContactLensItems kItems;
    memset(pRecord, 0, sizeof(*pRecord));
    const int iCount = (int)(sizeof(kItems.rows) / sizeof(kItems.rows[0]));
    return ReadRecord(kItems.rows, iCount, iCount, pData, iLen, (char *)pRecord, pIssues);
}

int FormOffsetFromText(const char *szText)
{
    if (!szText || !*szText)
        return 0;
    char *pEnd = NULL;
    const double dValue = strtod(szText, &pEnd);
    while (pEnd && (*pEnd == ' ' || *pEnd == '\t'))
        pEnd++;
    if (pEnd == szText || (pEnd && *pEnd) || !std::isfinite(dValue) || std::fabs(dValue) > 100.0)
        return 0;
    /* 0.145 × 1000 lands a hair below 145 in floating point. */
    return (int)(dValue * 1000.0 + (dValue >= 0 ? 1e-6 : -1e-6));
}
