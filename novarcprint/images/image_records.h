/*
 * The payloads of the image requests as plain records.  Each reader is a
 * pure function over one payload (the bytes after the request type): it
 * fills its record or says the payload is malformed, before anything is
 * created, written or drawn.  Names are read whole or not at all: a name
 * longer than its field is refused, never cut, since a cut name would write
 * or print another file.  No reader keeps a pointer past the payload it was
 * given, except the data views of a piece, which point into it.
 *
 * Pure: no session, no files, no platform calls, so the tests and the fuzz
 * target drive them straight from bytes.
 */
#ifndef NOVARCPRINT_IMAGES_IMAGE_RECORDS_H
#define NOVARCPRINT_IMAGES_IMAGE_RECORDS_H

/* A cache file name as the server sends it: at most 259 characters. */
#define IMAGE_NAME_SIZE 260
/* The letterhead slots and the signature records keep 200 characters. */
#define LETTERHEAD_NAME_SIZE 200
#define SIGNATURE_NAME_SIZE 200

/* The five piecewise transfers, in the order of their table. */
enum TransferKind {
    TRANSFER_IMAGE,
    TRANSFER_LETTERHEAD,
    TRANSFER_ANNOTATION,
    TRANSFER_DAW,
    TRANSFER_SIGNATURE,
    TRANSFER_KINDS
};

/* What a piece is to its transfer. */
enum PieceKind {
    PIECE_DATA = 0,  /* the first piece names the file, later ones carry bytes */
    PIECE_END = 1,   /* close the file and act on it */
    PIECE_ABORT = 2, /* drop the transfer (images only) */
};

/* How a transfer's first piece names its file: the name's end and the
 * int32 values after it. */
struct TransferNameForm {
    char cNameEnd; /* '\0' (a string) or '\x01' (a field, which may also end the payload) */
    int iValues;   /* 1 for images (the page), 4 for DAW and signatures, else 0 */
};
TransferNameForm TransferNameFormOf(TransferKind kind);

/* The first piece of a transfer, after its mode byte. */
struct TransferStart {
    char szName[IMAGE_NAME_SIZE];
    int iValues[4]; /* image: iPage; DAW: x, y, height, fourth; signature: x, y, height, flags */
};
/* Reads the name and values; bytes after them are not part of the file.
 * False when the name is missing, empty, longer than its field or not
 * ended where a value must follow, or a value is short. */
bool ReadTransferStart(TransferKind kind, const char *p, int iLen, TransferStart *pStart);

/* A piece's mode byte and what follows it. */
struct PieceView {
    int iMode;         /* the first byte of every piece of every kind */
    const char *pRest; /* the bytes after it (a first piece's name, or file data) */
    int iRestLen;
};
/* False for a piece without its mode byte. */
bool ReadPiece(const char *p, int iLen, PieceView *pPiece);

/* SPECIAL_IMAGE_MESSAGE: the sub-code and what it stands for. */
#define SPECIAL_IMAGE_PIECE 42 /* '*': as PRINT_IMAGE */
#define SPECIAL_IMAGE_END 43   /* '+': as PRINT_END_IMAGE */
#define SPECIAL_IMAGE_ABORT 62 /* '>': abort the image transfer */
struct SpecialImageRecord {
    int iSubCode;
    int iPiece;        /* PIECE_DATA, PIECE_END, PIECE_ABORT, or -1: ignored */
    const char *pRest; /* the piece as PRINT_IMAGE would carry it */
    int iRestLen;
};
bool ReadSpecialImage(const char *p, int iLen, SpecialImageRecord *pRecord);

/* IMAGE_SETTINGS: thirteen int32 values of which the third is the rotation
 * code.  Only the values up to the third are required. */
bool ReadImageSettings(const char *p, int iLen, int *piRotation);

/* LETTERHEAD_IMAGE_NAME: mode byte, name as a field. */
struct LetterheadNameRecord {
    int iMode;
    char szName[LETTERHEAD_NAME_SIZE];
};
bool ReadLetterheadName(const char *p, int iLen, LetterheadNameRecord *pRecord);

/* IS_IMAGE_FILE_HERE: mode byte, name as a field, a second field (kept,
 * not used; an absent one is empty). */
struct FileHereQuery {
    int iMode;
    char szName[IMAGE_NAME_SIZE];
    char szSecond[IMAGE_NAME_SIZE];
};
bool ReadFileHereQuery(const char *p, int iLen, FileHereQuery *pQuery);

/* QUERY_FILE_SIZE: a NUL-terminated name (the end of the payload ends it too). */
bool ReadQueryFileSize(const char *p, int iLen, char szName[IMAGE_NAME_SIZE]);

/* STORE_CACHE_FILE: name, int32 length, that many bytes (a view into the
 * payload).  False for a negative length or one the payload does not hold. */
struct StoreCacheRecord {
    char szName[IMAGE_NAME_SIZE];
    const char *pData;
    int iDataLen;
};
bool ReadStoreCacheFile(const char *p, int iLen, StoreCacheRecord *pRecord);

/* COMP_IMAGE_SIGNATURE: on/off; when on, form type, length, that many bytes. */
struct CompSignatureRecord {
    int iOn;
    int iFormType;
    const char *pData;
    int iDataLen;
};
bool ReadCompImageSignature(const char *p, int iLen, CompSignatureRecord *pRecord);

/* PRINT_LOCAL_IMAGE: mode byte, NUL-terminated name, int32 page. */
struct LocalImageRecord {
    int iMode;
    char szName[IMAGE_NAME_SIZE];
    int iPage;
};
bool ReadPrintLocalImage(const char *p, int iLen, LocalImageRecord *pRecord);

#endif /* NOVARCPRINT_IMAGES_IMAGE_RECORDS_H */
