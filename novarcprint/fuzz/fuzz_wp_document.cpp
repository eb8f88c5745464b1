/*
 * Fuzz target for print-document payloads.  The first input byte chooses the
 * plain request or its heading variant, and whether the rest is a whole
 * payload or only the cell buffer behind a well-formed header built here (so
 * that mutations spend their time in the records rather than in a header that
 * random bytes seldom get right); the rest is the payload.  Reading
 * must never crash or touch memory outside the payload, and an accepted
 * document must hold the buffer's invariants: the used size within the
 * capacity, blank cells beyond it, records only in code-2 cells.  Accepted
 * documents then go through what the renderer does with them without a
 * printer: the key lists are decoded and cells are deleted and shrunk.
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wp_document.h"
#include "wp_keys.h"

namespace {

void Check(bool bOk)
{
    if (!bOk)
        abort();
}

void CheckInvariants(const WpDocument &doc)
{
    Check(doc.iMaxSize >= 0 && doc.iMaxSize <= (int)doc.wp_buf.size());
    for (int i = 0; i < (int)doc.wp_buf.size(); i++) {
        const WpCell &cell = doc.wp_buf[i];
        if (i >= doc.iMaxSize)
            Check(cell.code == ' ' && !cell.pRecord);
        Check((cell.code == WP_CODE_RECORD) == (cell.pRecord != nullptr) || i >= doc.iMaxSize);
        if (cell.pRecord)
            Check(cell.pRecord->Length() >= 4);
    }
    Check(doc.header.iBaseFont >= 1 && doc.header.iBaseFont <= 7);
}

void DecodeRecords(const WpDocument &doc)
{
    for (int i = 0; i < doc.iMaxSize; i++) {
        const WpCodeRecord *pRecord = doc.wp_buf[i].pRecord.get();
        if (!pRecord)
            continue;
        if (pRecord->Type() == SP_SIGNATURE_CODE) {
            WpSignatureKeys keys;
            Check(DecodeSignatureKeys(*pRecord, &keys));
        } else if (pRecord->Type() == IMAGE) {
            WpImageKeys keys;
            Check(DecodeImageKeys(*pRecord, &keys));
            Check(keys.iWidth >= 0 && keys.iHeight >= 0);
            Check(strlen(keys.pImageFileName) <= WP_IMAGE_STRING_MAX);
            if (keys.bHasData) {
                const unsigned char *pEnd = pRecord->bytes.data() + pRecord->bytes.size();
                Check(keys.pData + keys.iDataSize <= pEnd && keys.uTag != 0);
            }
        }
    }
}

void Put(std::string *p, int v)
{
    for (int i = 0; i < 4; i++)
        *p += (char)((unsigned)v >> (8 * i));
}

/* Print flags and a header of the given version and document type. */
std::string CannedHeader(int iVersion, int iDocType)
{
    std::string h;
    Put(&h, 0);
    Put(&h, iVersion);
    Put(&h, 1);
    h += std::string("\0LETTER\0DR\0A\0", 13);
    Put(&h, iDocType);
    const int aiNumbers[] = {100, 100, 100, 100, 792, 1, 850, 0, 0, 0, 0, 5, 12, 0};
    for (int v : aiNumbers)
        Put(&h, v);
    h += std::string("a\0b\0c\0", 6);
    for (int i = 0; i < 6; i++)
        Put(&h, 100);
    h += std::string("d\0", 2);
    Put(&h, 0);
    Put(&h, 0);
    h += std::string("e\0", 2);
    Put(&h, 0);
    h += std::string("Y\0", 2);
    for (int i = 0; i < 13; i++)
        Put(&h, 0);
    for (int i = 0; i < 7; i++) /* items 13 to 15 of version 230 */
        Put(&h, 1);
    h += std::string("note\0", 5);
    Put(&h, 0);
    if (iDocType == 2)
        h += std::string("1\0002\0003\0004\0005\0", 10);
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool bHeading = (data[0] & 1) && !(data[0] & 2);
    std::string payload((const char *)data + 1, size - 1);
    if (data[0] & 2)
        payload = CannedHeader(230, (data[0] & 4) ? 2 : 0) + payload;
    WpDocument doc;
    WpHeading heading;
    WpReadError error;
    if (!ReadWpPrintRequest(payload.data(), (int)payload.size(), bHeading, &doc, &heading,
                            &error)) {
        Check(doc.wp_buf.empty() && doc.iMaxSize == 0);
        return 0;
    }
    Check(strlen(heading.szHeading) < WP_HEADING_TEXT_SIZE);
    CheckInvariants(doc);
    DecodeRecords(doc);
    const int iDeleteAt = size > 1 ? data[1] % (doc.iMaxSize + 1) : 0;
    wp_buf_delete_cells(&doc, iDeleteAt, 1 + (int)(size % 3));
    wp_buf_shrink_one(&doc);
    CheckInvariants(doc);
    Check(!wp_buf_set_max_size(&doc, (int)doc.wp_buf.size() + 1));
    wp_free_document(&doc);
    Check(doc.wp_buf.empty());
    return 0;
}
