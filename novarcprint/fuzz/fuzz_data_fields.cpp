/*
 * Fuzz target for PRINT_DATA_FIELD_INFO payloads.  Reading must never crash
 * or read outside the payload; whatever it keeps must hold the list's
 * invariants: known types only, names and labels within their fields, one
 * entry per number, each found again by its number, and the reuse flag of
 * every entry the one the message's flags word asked for.
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "data_fields.h"

namespace {

void Check(bool bOk)
{
    if (!bOk)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    DataFieldList list;
    const DataFieldReadResult result = ReadDataFieldList((const char *)data, (int)size, &list);
    Check(result.iItems >= (int)list.entries.size());
    Check(!result.bCut || (result.iCutAt >= 4 && result.iCutAt < (int)size));
    const int iReuse = size >= 4 && (data[0] & 1) ? -1 : 0;
    for (const auto &[iNumber, entry] : list.entries) {
        Check(entry.iNumber == iNumber);
        Check(IsKnownDataFieldType(entry.iType));
        Check(strlen(entry.szName) < DATA_FIELD_NAME_SIZE);
        Check(strlen(entry.szLabel) < DATA_FIELD_LABEL_SIZE);
        Check(entry.iReuse == iReuse);
        Check(FindDataField(list, iNumber) == &entry);
    }
    ReleaseDataFields(&list);
    Check(list.entries.empty());
    return 0;
}
