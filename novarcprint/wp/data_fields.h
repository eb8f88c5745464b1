/*
 * The data-field list: the current values of the data fields a document's
 * check boxes refer to, sent by PRINT_DATA_FIELD_INFO before the document
 * and kept, ordered by field number, until the end of the next document.
 * The reader is pure; the session holds the list.
 */
#ifndef NOVARCPRINT_DATA_FIELDS_H
#define NOVARCPRINT_DATA_FIELDS_H

#include <map>
#include <vector>

#define DATA_FIELD_NAME_SIZE 51
#define DATA_FIELD_LABEL_SIZE 53
#define DATA_FIELD_CHECK_TYPE 3

struct DataFieldEntry {
    int iType = 0;
    int iNumber = 0;
    int iReuse = 0; /* -1 when the message asked for reuse, else 0 */
    int iHeaderKey3 = 0;
    char szName[DATA_FIELD_NAME_SIZE] = "";
    /* Type 3: whether the box is checked, and its label. */
    int iCheckValue = 0;
    char szLabel[DATA_FIELD_LABEL_SIZE] = "";
    /* Other known types: the body as sent (printing never reads it). */
    std::vector<unsigned char> body;
};

/* Ordered by field number; one entry per number. */
struct DataFieldList {
    std::map<int, DataFieldEntry> entries;
};

/* Whether entries of this type are kept. */
bool IsKnownDataFieldType(int iType);

/* Puts the entry in its place by number; an entry with the same number is
 * replaced, the new one keeping the old one's reuse flag. */
void InsertDataField(DataFieldList *pList, DataFieldEntry entry);
/* The entry with this number, or null. */
const DataFieldEntry *FindDataField(const DataFieldList &list, int iNumber);
void ReleaseDataFields(DataFieldList *pList);

/* Result of reading one message. */
struct DataFieldReadResult {
    int iItems = 0;     /* items read, kept or skipped */
    bool bCut = false;  /* an item ran past the end; the reading stopped there */
    int iCutAt = 0;     /* offset of that item */
    int iBadBodies = 0; /* type 3 items whose body did not hold its values: dropped */
};

/* Replaces *pList with the items of a PRINT_DATA_FIELD_INFO payload.  An
 * item that runs past the payload ends the reading; those before it stay. */
DataFieldReadResult ReadDataFieldList(const char *pPayload, int iLen, DataFieldList *pList);

#endif /* NOVARCPRINT_DATA_FIELDS_H */
