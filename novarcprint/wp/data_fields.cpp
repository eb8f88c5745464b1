/*
 * Reading PRINT_DATA_FIELD_INFO into the session's data-field list.  Item
 * headers come in two forms (plain, or a key list behind -1); each item's
 * body is read inside its own length, so one malformed body cannot shift the
 * items after it, and an item that runs past the payload ends the reading.
 */
#include "data_fields.h"
#include "kellib/payload.h"

bool IsKnownDataFieldType(int iType)
{
    switch (iType) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 9:
    case 10:
    case 11:
    case 12:
    case 14:
    case 15:
        return true;
    default:
        return false;
    }
}

void InsertDataField(DataFieldList *pList, DataFieldEntry entry)
{
    auto it = pList->entries.find(entry.iNumber);
    if (it != pList->entries.end()) {
        entry.iReuse = it->second.iReuse;
        it->second = std::move(entry);
        return;
    }
    const int iNumber = entry.iNumber;
    pList->entries.emplace(iNumber, std::move(entry));
}

const DataFieldEntry *FindDataField(const DataFieldList &list, int iNumber)
{
    auto it = list.entries.find(iNumber);
    return it == list.entries.end() ? nullptr : &it->second;
}

void ReleaseDataFields(DataFieldList *pList)
{
    pList->entries.clear();
}

namespace {

bool ReadPlainHeader(KelPayload *in, int iTypeWord, DataFieldEntry *pEntry)
{
    pEntry->iType = iTypeWord & 0xff;
    return in->Int32(&pEntry->iNumber) && in->StringCut(pEntry->szName, DATA_FIELD_NAME_SIZE);
}

bool ReadKeyedHeader(KelPayload *in, DataFieldEntry *pEntry)
{
    for (;;) {
        int iKey = 0, iValue = 0;
        if (!in->Int32(&iKey))
            return false;
        switch (iKey) {
        case 0:
            return true;
        case 1:
            if (!in->Int32(&iValue))
                return false;
            pEntry->iType = iValue & 0xff;
            break;
        case 2:
            if (!in->Int32(&pEntry->iNumber))
                return false;
            break;
        case 3:
            if (!in->Int32(&pEntry->iHeaderKey3))
                return false;
            break;
        case 4:
            if (!in->StringCut(pEntry->szName, DATA_FIELD_NAME_SIZE))
                return false;
            break;
        case 5:
            if (!in->Int32())
                return false;
            break;
        default:
            break; /* a bare key */
        }
    }
}

/* The body of a known type; it lies in [p, p + iLen). */
bool ReadBody(const unsigned char *p, int iLen, DataFieldEntry *pEntry)
{
    if (pEntry->iType != DATA_FIELD_CHECK_TYPE) {
        pEntry->body.assign(p, p + iLen);
        return true;
    }
    KelPayload body{p, iLen, 0};
    return body.Int32(&pEntry->iCheckValue) &&
           body.StringCut(pEntry->szLabel, DATA_FIELD_LABEL_SIZE);
}

} // namespace

DataFieldReadResult ReadDataFieldList(const char *pPayload, int iLen, DataFieldList *pList)
{
    DataFieldReadResult result;
    ReleaseDataFields(pList);
    KelPayload in{(const unsigned char *)pPayload, pPayload ? iLen : 0, 0};
    int iFlags = 0;
    if (!in.Int32(&iFlags))
        return result;
    const int iReuse = (iFlags & 1) ? -1 : 0;
    while (in.Left() > 0) {
        const int iItemAt = in.iPos;
        DataFieldEntry entry;
        entry.iReuse = iReuse;
        int iTypeWord = 0, iBodyLen = 0;
        const bool bHeader =
            in.Int32(&iTypeWord) && (iTypeWord == -1 ? ReadKeyedHeader(&in, &entry)
                                                     : ReadPlainHeader(&in, iTypeWord, &entry));
        if (!bHeader || !in.Int32(&iBodyLen) || iBodyLen < 0 || in.Left() < iBodyLen) {
            result.bCut = true;
            result.iCutAt = iItemAt;
            break;
        }
        const unsigned char *pBody = in.p + in.iPos;
        in.iPos += iBodyLen;
        result.iItems++;
        if (!IsKnownDataFieldType(entry.iType))
            continue;
        /* The length says where the next item starts, so a body that does
         * not hold its own values costs only its item. */
        if (!ReadBody(pBody, iBodyLen, &entry)) {
            result.iBadBodies++;
            continue;
        }
        InsertDataField(pList, std::move(entry));
    }
    return result;
}
