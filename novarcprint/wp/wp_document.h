/*
 * The word-processor document as the server serialises it: a header of page
 * and font settings and a buffer of character cells, some of which own a code
 * record (a font change, a field, an image, a signature).  The client only
 * reads this format; the reader is pure (no session, no printer) and bounded
 * by the payload and by every field's capacity, so a malformed document fails
 * on its own and is never drawn.
 */
#ifndef NOVARCPRINT_WP_DOCUMENT_H
#define NOVARCPRINT_WP_DOCUMENT_H

#include <cstdint>
#include <memory>
#include <vector>

/* Cell codes; any other value is a character of the text. */
enum WpCellCode {
    WP_NULL_CHAR = 0,
    WP_CODE_RECORD = 2,
    TAB = 9,
    HRT = 10,
    FFEED = 12,
    WP_LEGACY_SRT = 13,
    WP_SRT = 23,
    WP_RULE_CHAR = 196,
};

/* Record types with a name or an effect. */
enum WpRecordType {
    SP_FORMAT_VAR = 1,
    WP_ATTRIBUTE = 2,
    WP_INDENT = 5,
    WP_CHECK_BOX = 12,
    WP_DATA_CHECK_BOX = 13,
    WP_SPACE = 14,
    SP_SIGNATURE_CODE = 17,
    IMAGE = 18,
    WP_LINE_MARK = 25,
    WP_FONT_COLOR = 28,
    WP_LABEL = 30,
    WP_BLOCK = 31,
    WP_FONT_RESET = 33,
};

/* Attribute kinds (v1 of a type 2 record). */
enum WpAttributeKind {
    FONT = 2,
    UND = 3,
    BOLD = 4,
    WP_CENTER = 9,
    WP_TAB_POSITION = 11,
    WP_LINE_FLAG = 12,
    WP_HIGHLIGHT = 13,
    WP_HIGHLIGHT2 = 14,
    WP_TAB_FROM_MARGIN = 15,
    WP_SUBSCRIPT = 159,
    WP_SUPERSCRIPT = 160,
    WP_SYMBOL = 161,
    ITALICS = 162,
};

#define WP_RECORD_FIXED 10
#define WP_MAX_CELLS (4 * 1024 * 1024 - 100)

/* A code record: the bytes as sent from its length field on, with the extra
 * data of its type stored from offset 10 (type 9 from the end of the fixed
 * part).  Values the sent length does not cover read as 0. */
struct WpCodeRecord {
    std::vector<unsigned char> bytes;

    int Int16At(int iOffset) const;
    int Int32At(int iOffset) const;
    int Length() const { return Int16At(0); }
    int Type() const { return Length() > 2 ? Int16At(2) : 0; }
    int V1() const { return Length() > 4 ? Int16At(4) : 0; }
    int V2() const { return Length() > 6 ? Int16At(6) : 0; }
    int V3() const { return Length() > 8 ? Int16At(8) : 0; }
    /* Extra data from offset 10 (empty when there is none). */
    const unsigned char *Extra() const;
    int ExtraSize() const;
};

/* One cell; only code 2 owns a record.  A blank cell is a space. */
struct WpCell {
    unsigned char code = ' ';
    std::unique_ptr<WpCodeRecord> pRecord;
};

#define WP_IDENT1_SIZE 42
#define WP_IDENT2_SIZE 25
#define WP_IDENT3_SIZE 4
#define WP_FONT_RESET_SIZE 44
#define WP_NOTE_SIZE 128
#define WP_TAIL_SIZE 41
#define WP_TAIL_COUNT 5

/* The header in stream order.  Fields printing does not use keep the names
 * of their place in the stream, so the document is stored whole. */
struct WpHeader {
    int iKind = 0;
    int iStyle = 0;
    char szIdent1[WP_IDENT1_SIZE] = "";
    char szIdent2[WP_IDENT2_SIZE] = "";
    char szIdent3[WP_IDENT3_SIZE] = "";
    int iDocType = 0;
    int iTopMargin = 0, iBottomMargin = 0, iRightMargin = 0, iLeftMargin = 0;
    int iPageLength = 0; /* points */
    int iJustify = 0;
    int iPageWidth = 0; /* hundredths of an inch; 1100 or more is landscape */
    int iItem6 = 0;
    int aiItem7[3] = {};
    int iBaseFont = 1;
    int iBaseSize = 0;
    int iItem7b = 0;
    char szItem8a[3] = "", szItem8b[3] = "", szItem8c[4] = "";
    int iFirstTopMargin = 0, iFirstBottomMargin = 0, iFirstLeftMargin = 0, iFirstRightMargin = 0;
    int aiItem9[2] = {};
    char szItem10a[4] = "";
    int aiItem10[2] = {};
    char szItem10b[3] = "";
    int iItem10c = 0;
    char szFontReset[WP_FONT_RESET_SIZE] = "";
    int aiItem12[12] = {};
    int iPageSelector = 0;
    int aiItem13[2] = {};
    int aiItem14[3] = {};
    int iLineSpacing = 0;
    int iItem15 = 0;
    char szItem15[WP_NOTE_SIZE] = "";
    int iItem16 = 0;
    char aszTail[WP_TAIL_COUNT][WP_TAIL_SIZE] = {};
};

struct WpDocument {
    int iPrintFlags = 0;
    int iVersion = 0;
    WpHeader header;
    /* The cell buffer: wp_buf.size() is the capacity, iMaxSize the cells that
     * belong to the document; the rest are blank. */
    std::vector<WpCell> wp_buf;
    int iMaxSize = 0;
};

/* Print flag bits. */
#define WP_FLAG_LETTERHEAD 0x40000
#define WP_FLAG_FIRST_PAGE_HEADING 0x400000

#define WP_HEADING_TEXT_SIZE 200

/* What the heading variant adds in front of the document. */
struct WpHeading {
    int iHeadingType = 0;
    int iFootingType = 0;
    char szHeading[WP_HEADING_TEXT_SIZE] = "";
    char szFooting[WP_HEADING_TEXT_SIZE] = "";
};

/* Why a document was refused: a fixed text and the offset it was found at. */
struct WpReadError {
    const char *szWhat = "";
    int iPos = 0;
};

/* Reads the header and the cell buffer from pPayload[*piPos..iLen) into a
 * fresh document and advances *piPos past them.  False with the reason when
 * the document is malformed; the document is then empty. */
bool ReadWpDocument(const char *pPayload, int iLen, int *piPos, WpDocument *pDoc,
                    WpReadError *pError);

/* The whole payload of a print-document request: the print flags, the
 * heading record when bHeading, then the document. */
bool ReadWpPrintRequest(const char *pPayload, int iLen, bool bHeading, WpDocument *pDoc,
                        WpHeading *pHeading, WpReadError *pError);

/* The cell buffer.  Allocation failures report false; nothing throws. */
bool wp_buf_alloc(WpDocument *pDoc, int iCount);
bool wp_buf_realloc(WpDocument *pDoc, int iCount);
bool wp_buf_reserve(WpDocument *pDoc, int iCount);
/* False when iSize is beyond the capacity ("wp_buf_set_max_size() size out
 * of range"); cells past the new size are blanked and their records freed. */
bool wp_buf_set_max_size(WpDocument *pDoc, int iSize);
void wp_buf_shrink_one(WpDocument *pDoc);
/* Frees the records of cells [iFirst, iFirst + iCount), moves the rest of the
 * buffer down over them and blanks the cells left free at its end. */
void wp_buf_delete_cells(WpDocument *pDoc, int iFirst, int iCount);
void wp_free_document(WpDocument *pDoc);

#endif /* NOVARCPRINT_WP_DOCUMENT_H */
