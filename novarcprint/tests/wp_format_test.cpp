/*
 * The document reader and the data-field list, fed from the test writer of
 * the format: version gates of the header, every record type's extra data,
 * the buffer's growth rules, and documents that must be refused whole.
 */
#include <gtest/gtest.h>

#include <cstring>

#include "data_fields.h"
#include "wp_document.h"
#include "wp_keys.h"
#include "wp_writer.h"

namespace {

using namespace wptest;

struct Read {
    bool ok = false;
    WpDocument doc;
    WpHeading heading;
    WpReadError error;
};

Read ReadPayload(const std::string &payload, bool heading = false)
{
    Read r;
    r.ok = ReadWpPrintRequest(payload.data(), (int)payload.size(), heading, &r.doc, &r.heading,
                              &r.error);
    return r;
}

std::string CellText(const WpDocument &doc)
{
    std::string s;
    for (int i = 0; i < doc.iMaxSize; i++)
        s += doc.wp_buf[i].code == WP_CODE_RECORD ? '@' : (char)doc.wp_buf[i].code;
    return s;
}

std::string ExtraOf(const WpCodeRecord &record)
{
    return std::string((const char *)record.Extra(), (size_t)record.ExtraSize());
}

/* Each version reads exactly the gated items it knows: the cells after the
 * header come out right only when the reader took every byte the writer put. */
TEST(WpHeaderTest, VersionGatesReadExactlyTheirItems)
{
    struct Case {
        int version;
        int lineSpacing; /* as read */
        const char *note;
    } cases[] = {{0, 0, ""},   {11, 0, ""},  {12, 0, ""},  {15, 0, ""},
                 {181, 0, ""}, {182, 3, ""}, {229, 3, ""}, {230, 3, "memo"}};
    for (const Case &c : cases) {
        Header h;
        h.version = c.version;
        h.lineSpacing = 3;
        h.note = "memo";
        Read r = ReadPayload(Payload(h, Cells().Text("ok")));
        ASSERT_TRUE(r.ok) << "version " << c.version << ": " << r.error.szWhat;
        EXPECT_EQ(r.doc.iVersion, c.version);
        EXPECT_EQ(r.doc.header.iLineSpacing, c.lineSpacing) << c.version;
        EXPECT_STREQ(r.doc.header.szItem15, c.note) << c.version;
        EXPECT_EQ(CellText(r.doc), "ok") << c.version;
    }
}

TEST(WpHeaderTest, FirstWordOfZeroOrOneIsTheKindWord)
{
    for (int kind : {0, 1}) {
        Header h;
        h.version = 0;
        h.kind = kind;
        Read r = ReadPayload(Payload(h, Cells().Text("x")));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.doc.iVersion, 0);
        EXPECT_EQ(r.doc.header.iKind, kind);
    }
    Header h;
    h.version = 2;
    h.kind = 9;
    Read r = ReadPayload(Payload(h, Cells()));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.doc.iVersion, 2);
    EXPECT_EQ(r.doc.header.iKind, 9);
}

TEST(WpHeaderTest, FieldsLandWhereTheStreamPutsThem)
{
    Header h;
    h.top = 11, h.bottom = 22, h.right = 33, h.left = 44;
    h.firstTop = 55, h.firstBottom = 66, h.firstLeft = 77, h.firstRight = 88;
    h.pageLength = 1008, h.justify = 1, h.pageWidth = 1100, h.baseSize = 14;
    h.fontReset = "Yes", h.pageSelector = 2, h.docType = 10;
    Read r = ReadPayload(Payload(h, Cells()));
    ASSERT_TRUE(r.ok);
    const WpHeader &g = r.doc.header;
    EXPECT_EQ(g.iTopMargin, 11);
    EXPECT_EQ(g.iBottomMargin, 22);
    EXPECT_EQ(g.iRightMargin, 33);
    EXPECT_EQ(g.iLeftMargin, 44);
    EXPECT_EQ(g.iFirstTopMargin, 55);
    EXPECT_EQ(g.iFirstBottomMargin, 66);
    EXPECT_EQ(g.iFirstLeftMargin, 77);
    EXPECT_EQ(g.iFirstRightMargin, 88);
    EXPECT_EQ(g.iPageLength, 1008);
    EXPECT_EQ(g.iJustify, 1);
    EXPECT_EQ(g.iPageWidth, 1100);
    EXPECT_EQ(g.iBaseSize, 14);
    EXPECT_STREQ(g.szFontReset, "Yes");
    EXPECT_EQ(g.iPageSelector, 2);
    EXPECT_EQ(g.iDocType, 10);
    EXPECT_STREQ(g.szIdent1, "LETTER");
}

TEST(WpHeaderTest, DocumentTypesOneTwoAndFortyOneCarryFiveMoreStrings)
{
    for (int type : {0, 1, 2, 10, 41}) {
        Header h;
        h.docType = type;
        Read r = ReadPayload(Payload(h, Cells().Text("end")));
        ASSERT_TRUE(r.ok) << type;
        const bool tail = type == 1 || type == 2 || type == 41;
        EXPECT_STREQ(r.doc.header.aszTail[4], tail ? "five" : "") << type;
        EXPECT_EQ(CellText(r.doc), "end") << type;
    }
}

TEST(WpHeaderTest, BaseFontOutsideOneToSevenBecomesOne)
{
    for (auto [sent, read] : {std::pair{0, 1}, {8, 1}, {-3, 1}, {1, 1}, {7, 7}, {5, 5}}) {
        Header h;
        h.baseFont = sent;
        Read r = ReadPayload(Payload(h, Cells()));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.doc.header.iBaseFont, read) << sent;
    }
}

TEST(WpHeaderTest, StringsLongerThanTheirFieldRefuseTheDocumentExceptTheNote)
{
    Header h;
    h.ident1 = std::string(41, 'i');
    EXPECT_TRUE(ReadPayload(Payload(h, Cells())).ok);
    h.ident1 = std::string(42, 'i');
    Read r = ReadPayload(Payload(h, Cells()));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.doc.wp_buf.empty());

    Header t;
    t.docType = 2;
    t.tail[3] = std::string(41, 't');
    EXPECT_FALSE(ReadPayload(Payload(t, Cells())).ok);

    Header n;
    n.note = std::string(300, 'n');
    r = ReadPayload(Payload(n, Cells().Text("after")));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(strlen(r.doc.header.szItem15), 127u);
    EXPECT_EQ(CellText(r.doc), "after");
}

TEST(WpHeaderTest, HeadingVariantReadsItsRecordFirst)
{
    Header h;
    std::string p = HeadingPayload(h, Cells().Text("body"), 1, 2, "Visit note", "Footer", 0x400000);
    Read r = ReadPayload(p, true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.doc.iPrintFlags, 0x400000);
    EXPECT_EQ(r.heading.iHeadingType, 1);
    EXPECT_EQ(r.heading.iFootingType, 2);
    EXPECT_STREQ(r.heading.szHeading, "Visit note");
    EXPECT_STREQ(r.heading.szFooting, "Footer");
    EXPECT_EQ(CellText(r.doc), "body");
    EXPECT_FALSE(ReadPayload(HeadingPayload(h, Cells(), 1, 1, std::string(200, 'h'), ""), true).ok);
    EXPECT_TRUE(ReadPayload(HeadingPayload(h, Cells(), 1, 1, std::string(199, 'h'), ""), true).ok);
}

TEST(WpCellsTest, CapacityIsTheCountPlusAHundredRoundedUpToAPowerOfTwo)
{
    Read r = ReadPayload(Payload(Header(), Cells()));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.doc.iMaxSize, 0);
    EXPECT_EQ(r.doc.wp_buf.size(), 128u);
    r = ReadPayload(Payload(Header(), Cells().Text(std::string(29, 'a'))));
    EXPECT_EQ(r.doc.wp_buf.size(), 256u);
    for (size_t i = 29; i < r.doc.wp_buf.size(); i++)
        ASSERT_EQ(r.doc.wp_buf[i].code, ' ');
}

struct RecordCase {
    const char *name;
    int type, v1, v2, v3;
    std::string sent;   /* extra data as the writer puts it after the fixed part */
    std::string stored; /* what the record keeps from offset 10 */
};

std::vector<RecordCase> RecordCases()
{
    const std::string block = Block("blk");
    const std::string sig = Keys()
                                .Int(1, 7)
                                .Int(2, 2451545)
                                .Int(3, 545)
                                .Text(4, "Dr Ann Lee")
                                .Int(5, 3)
                                .Int(6, 8)
                                .Int(7, 1)
                                .Bare(40)
                                .End();
    const std::string img = Keys()
                                .Int(1, 1)
                                .Int(2, -5)
                                .Int(3, 300)
                                .Text(7, "scan.jpg")
                                .Text(8, "b")
                                .Int(9, 1)
                                .Block(13, "JPEGDATA")
                                .Text(14, "c")
                                .Int(15, 9)
                                .Bare(99)
                                .End();
    const std::string two = Keys().Int(1, 1).Int(2, 2).Bare(3).End();
    const std::string twenty = Keys().Int(1, 1).Int(2, 2).Text(3, "three").End();
    const std::string one = Keys().Int(1, 1).Bare(2).End();
    const std::string ab = Str("a") + Str("b");
    return {
        {"36", 36, 0, 0, 0, block, block},
        {"37", 37, 0, 0, 0, block, block},
        {"22 with data", 22, 8, 0, 1, block, block},
        {"22 without", 22, 8, 0, 0, "", ""},
        {"22 other v1", 22, 7, 0, 1, "", ""},
        {"13", 13, 1, 0, 0, I32(42), I32(42)},
        {"16 with data", 16, 1, 0, 1, block, block + '\0'},
        {"16 without", 16, 1, 0, 0, "", ""},
        {"17", 17, 1, 0, 0x16, sig, sig},
        {"18", 18, 2, 0, 0x10, img, img},
        {"34", 34, 0, 0, 0, two, two},
        {"19", 19, 0, 0, 0, two, two},
        {"20", 20, 0, 0, 0, twenty, twenty},
        {"21", 21, 0, 0, 0, one, one},
        {"30", 30, 0, 0, 0, Str("Name"), Str("Name")},
        {"11", 11, 0, 0, 0, Str("e"), Str("e")},
        {"23", 23, 0, 0, 0, Str(""), Str("")},
        {"35", 35, 0, 0, 0, Str("x"), Str("x")},
        {"24", 24, 0, 0, 0, Str("y"), Str("y")},
        {"15", 15, 18, 0, 0, Str("z"), Str("z")},
        {"format var", 1, -3, 0, 0, ab, ab},
        {"format var third", 1, -6, 0, 0x80, ab + Str("c"), ab + Str("c")},
        {"format var plain", 1, 4, 0, 0x80, "", ""},
        {"6 strings", 6, 0, -5, 0, ab, ab},
        {"6 plain", 6, 0, -2, 0, "", ""},
        {"9 without", 9, 0, 0, 0, "", ""},
        {"unknown", 99, 1, 2, 3, "", ""},
        {"attribute", 2, BOLD, 1, 0, "", ""},
    };
}

TEST(WpCellsTest, EveryRecordTypeStoresItsExtraDataAndKeepsTheStreamInStep)
{
    for (const RecordCase &c : RecordCases()) {
        Cells cells = Cells().Text("A").Record(c.type, c.v1, c.v2, c.v3, c.sent).Text("B");
        Read r = ReadPayload(Payload(Header(), cells));
        ASSERT_TRUE(r.ok) << c.name << ": " << r.error.szWhat;
        ASSERT_EQ(CellText(r.doc), "A@B") << c.name;
        const WpCodeRecord &record = *r.doc.wp_buf[1].pRecord;
        EXPECT_EQ(record.Type(), c.type) << c.name;
        EXPECT_EQ(ExtraOf(record), c.stored) << c.name;
        EXPECT_FALSE(r.doc.wp_buf[0].pRecord) << c.name;
    }
}

TEST(WpCellsTest, TypeNineKeepsItsFixedPartAndAppendsTwoBlocks)
{
    const std::string data = Block("one") + Block("second");
    Read r = ReadPayload(Payload(Header(), Cells().Record(9, 0, 0, 1, data, 12).Text("Z")));
    ASSERT_TRUE(r.ok) << r.error.szWhat;
    const WpCodeRecord &record = *r.doc.wp_buf[0].pRecord;
    EXPECT_EQ(record.Length(), 12);
    EXPECT_EQ(record.bytes.size(), 12 + data.size());
    EXPECT_EQ(std::string((const char *)record.bytes.data() + 12, data.size()), data);
    EXPECT_EQ(CellText(r.doc), "@Z");
}

TEST(WpCellsTest, ShortFixedPartsReadMissingValuesAsZero)
{
    Read r = ReadPayload(Payload(
        Header(),
        Cells().Record(2, 4, 1, 9, "", 6).Record(2, 4, 1, 9, "", 8).Record(14, 5, 5, 5, "", 4)));
    ASSERT_TRUE(r.ok) << r.error.szWhat;
    const WpCodeRecord &six = *r.doc.wp_buf[0].pRecord;
    EXPECT_EQ(six.V1(), 4);
    EXPECT_EQ(six.V2(), 0);
    const WpCodeRecord &eight = *r.doc.wp_buf[1].pRecord;
    EXPECT_EQ(eight.V2(), 1);
    EXPECT_EQ(eight.V3(), 0);
    EXPECT_EQ(r.doc.wp_buf[2].pRecord->Type(), 14);
    EXPECT_EQ(r.doc.wp_buf[2].pRecord->V1(), 0);

    /* A check box with a length of 6 still stores its field number at 10. */
    r = ReadPayload(Payload(Header(), Cells().Record(13, 1, 0, 0, I32(77), 6)));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.doc.wp_buf[0].pRecord->Int32At(10), 77);
}

TEST(WpCellsTest, InconsistentCountsAndSizesRefuseTheDocument)
{
    struct Case {
        const char *name;
        std::string cells;
    } cases[] = {
        {"count past the end", Cells().Text("abc").Bytes(4)},
        {"negative count", I32(-1) + "abc"},
        {"record length 3", Cells().Record(14, 0, 0, 0, "", 3).Bytes()},
        {"negative record length", Cells().Record(14, 0, 0, 0, "", -2).Bytes()},
        {"record past the end", I32(1) + "\x02" + I16(40) + I16(14)},
        {"negative block", Cells().Record(36, 0, 0, 0, I32(-1)).Bytes()},
        {"block past the end", Cells().Record(37, 0, 0, 0, I32(100) + "abc").Bytes()},
        {"string without end", Cells().Record(30, 0, 0, 0, "label").Bytes()},
        {"key list without end", Cells().Record(17, 0, 0, 0, I32(1) + I32(5)).Bytes()},
        {"key value cut", Cells().Record(21, 0, 0, 0, I32(1) + "ab").Bytes()},
        {"image name of 100",
         Cells().Record(18, 0, 0, 0, Keys().Text(7, std::string(100, 'n')).End()).Bytes()},
        {"check box number cut", Cells().Record(13, 1, 0, 0, "ab").Bytes()},
    };
    for (const Case &c : cases) {
        Read r = ReadPayload(I32(0) + Header().Bytes() + c.cells);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_STRNE(r.error.szWhat, "") << c.name;
        EXPECT_TRUE(r.doc.wp_buf.empty()) << c.name;
    }
    Read r = ReadPayload(
        I32(0) + Header().Bytes() +
        Cells().Record(18, 0, 0, 0, Keys().Text(7, std::string(99, 'n')).End()).Bytes());
    EXPECT_TRUE(r.ok);
}

TEST(WpCellsTest, EveryCutOfAValidPayloadIsRefused)
{
    Header h;
    h.docType = 2;
    Cells c = Cells()
                  .Text("Dear ")
                  .Font(6, 11)
                  .Attr(BOLD)
                  .Text("Ann")
                  .Cell(HRT)
                  .Record(17, 0, 0, 0x12, Keys().Int(1, 3).Text(4, "Lee").Int(6, 8).End())
                  .Record(16, 1, 0, 1, Block("q"))
                  .Cell(TAB)
                  .Text("x");
    const std::string payload = HeadingPayload(h, c, 1, 1, "H", "F");
    ASSERT_TRUE(ReadPayload(payload, true).ok);
    for (size_t n = 0; n < payload.size(); n++)
        ASSERT_FALSE(ReadPayload(payload.substr(0, n), true).ok) << n;
}

TEST(WpKeysTest, SignatureAndImageListsDecodeTheirValues)
{
    const std::string sig = Keys()
                                .Int(1, 7)
                                .Int(2, 2451545)
                                .Int(3, 545)
                                .Bare(12)
                                .Text(4, "Dr Ann Lee")
                                .Int(5, 3)
                                .Int(6, 8)
                                .Int(7, 1)
                                .End();
    Read r = ReadPayload(Payload(Header(), Cells().Record(17, 1, 0, 0x16, sig)));
    ASSERT_TRUE(r.ok);
    WpSignatureKeys s;
    ASSERT_TRUE(DecodeSignatureKeys(*r.doc.wp_buf[0].pRecord, &s));
    EXPECT_EQ(s.iUserId, 7);
    EXPECT_EQ(s.iDate, 2451545);
    EXPECT_EQ(s.iTime, 545);
    EXPECT_EQ(s.pName, "Dr Ann Lee");
    EXPECT_EQ(s.iFileKey, 3);
    EXPECT_EQ(s.iHeightTenths, 8);
    EXPECT_EQ(s.iRunKey, 1);

    const std::string img =
        Keys().Int(2, -5).Int(3, 300).Text(7, "scan.jpg").Int(11, 90).Block(13, "JPEG").End();
    const std::string plain = Keys().Int(2, 40).Text(7, "cached.tif").End();
    r = ReadPayload(Payload(Header(), Cells().Record(18, 0, 0, 0, img).Record(18, 0, 0, 0, plain)));
    ASSERT_TRUE(r.ok);
    WpImageKeys a, b;
    ASSERT_TRUE(DecodeImageKeys(*r.doc.wp_buf[0].pRecord, &a));
    EXPECT_EQ(a.iWidth, 0);
    EXPECT_EQ(a.iHeight, 300);
    EXPECT_EQ(a.iRotation, 90);
    EXPECT_STREQ(a.pImageFileName, "scan.jpg");
    ASSERT_TRUE(a.bHasData);
    EXPECT_EQ(std::string((const char *)a.pData, a.iDataSize), "JPEG");
    EXPECT_NE(a.uTag, 0u);
    ASSERT_TRUE(DecodeImageKeys(*r.doc.wp_buf[1].pRecord, &b));
    EXPECT_FALSE(b.bHasData);
    EXPECT_EQ(b.uTag, 0u);
    EXPECT_EQ(b.iWidth, 40);
    EXPECT_FALSE(DecodeSignatureKeys(*r.doc.wp_buf[0].pRecord, &s)); /* not a signature */
}

TEST(WpBufTest, GrowthSizeAndDeletionKeepRecordsWithTheirCells)
{
    WpDocument doc;
    ASSERT_TRUE(wp_buf_reserve(&doc, 1));
    EXPECT_EQ(doc.wp_buf.size(), 1u);
    ASSERT_TRUE(wp_buf_reserve(&doc, 5));
    EXPECT_EQ(doc.wp_buf.size(), 8u);
    EXPECT_FALSE(wp_buf_set_max_size(&doc, 9));
    ASSERT_TRUE(wp_buf_set_max_size(&doc, 4));
    for (int i = 0; i < 4; i++) {
        doc.wp_buf[i].code = WP_CODE_RECORD;
        doc.wp_buf[i].pRecord = std::make_unique<WpCodeRecord>();
        doc.wp_buf[i].pRecord->bytes = {10, 0, (unsigned char)(20 + i), 0};
    }
    wp_buf_delete_cells(&doc, 1, 2);
    EXPECT_EQ(doc.wp_buf[0].pRecord->Type(), 20);
    EXPECT_EQ(doc.wp_buf[1].pRecord->Type(), 23);
    EXPECT_EQ(doc.wp_buf[2].code, ' ');
    EXPECT_FALSE(doc.wp_buf[2].pRecord);
    wp_buf_shrink_one(&doc);
    wp_buf_shrink_one(&doc);
    EXPECT_EQ(doc.iMaxSize, 2);
    EXPECT_EQ(doc.wp_buf[1].pRecord->Type(), 23);
    ASSERT_TRUE(wp_buf_set_max_size(&doc, 1));
    EXPECT_FALSE(doc.wp_buf[1].pRecord);
    EXPECT_EQ(doc.wp_buf[1].code, ' ');
    ASSERT_TRUE(wp_buf_realloc(&doc, 20));
    EXPECT_EQ(doc.wp_buf[0].pRecord->Type(), 20);
    EXPECT_EQ(doc.wp_buf[19].code, ' ');
    wp_free_document(&doc);
    EXPECT_TRUE(doc.wp_buf.empty());
    EXPECT_EQ(doc.iMaxSize, 0);
}

/* PRINT_DATA_FIELD_INFO items, in both header forms. */
std::string PlainItem(int type, int number, const std::string &name, const std::string &body)
{
    return I32(type) + I32(number) + Str(name) + I32((int)body.size()) + body;
}

std::string KeyedItem(int type, int number, const std::string &name, const std::string &body)
{
    return I32(-1) + I32(3) + I32(11) + I32(1) + I32(type) + I32(9) + I32(4) + Str(name) + I32(5) +
           I32(0) + I32(2) + I32(number) + I32(0) + I32((int)body.size()) + body;
}

std::string CheckBody(int value, const std::string &label)
{
    return I32(value) + Str(label);
}

TEST(DataFieldTest, ItemsAreKeptInNumberOrderAndALaterDuplicateTakesTheEarliersPlace)
{
    const std::string payload = I32(1) + PlainItem(3, 30, "smoker", CheckBody(1, "Yes")) +
                                KeyedItem(3, 10, "allergy", CheckBody(0, "No")) +
                                PlainItem(0x103, 20, "bp", CheckBody(5, "")) +
                                PlainItem(3, 10, "allergy2", CheckBody(7, "Yes"));
    DataFieldList list;
    DataFieldReadResult result = ReadDataFieldList(payload.data(), (int)payload.size(), &list);
    EXPECT_EQ(result.iItems, 4);
    EXPECT_FALSE(result.bCut);
    std::vector<int> numbers;
    for (const auto &[n, e] : list.entries)
        numbers.push_back(n);
    EXPECT_EQ(numbers, (std::vector<int>{10, 20, 30}));
    const DataFieldEntry *e = FindDataField(list, 10);
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->szName, "allergy2");
    EXPECT_EQ(e->iCheckValue, 7);
    EXPECT_EQ(e->iReuse, -1);
    EXPECT_EQ(FindDataField(list, 20)->iType, 3); /* the type is the low byte */
    EXPECT_EQ(FindDataField(list, 11), nullptr);
}

TEST(DataFieldTest, KeyedHeadersUnknownTypesAndLongTextsAreRead)
{
    const std::string payload =
        I32(0) + KeyedItem(3, 5, std::string(60, 'n'), CheckBody(1, std::string(70, 'l'))) +
        PlainItem(7, 6, "unknown", "opaque") + PlainItem(9, 7, "vitals", "bytes\x01\x02") +
        PlainItem(3, 8, "bad body", "ab");
    DataFieldList list;
    DataFieldReadResult result = ReadDataFieldList(payload.data(), (int)payload.size(), &list);
    EXPECT_EQ(result.iItems, 4);
    EXPECT_EQ(result.iBadBodies, 1);
    ASSERT_EQ(list.entries.size(), 2u);
    const DataFieldEntry *e = FindDataField(list, 5);
    ASSERT_TRUE(e);
    EXPECT_EQ(strlen(e->szName), 50u);
    EXPECT_EQ(strlen(e->szLabel), 52u);
    EXPECT_EQ(e->iHeaderKey3, 11);
    EXPECT_EQ(e->iReuse, 0);
    EXPECT_EQ(FindDataField(list, 6), nullptr);
    ASSERT_TRUE(FindDataField(list, 7));
    EXPECT_EQ(FindDataField(list, 7)->body.size(), 7u);
}

TEST(DataFieldTest, AnItemPastTheEndStopsTheReadingAndANewMessageReplacesTheList)
{
    const std::string good = PlainItem(3, 1, "a", CheckBody(1, "x"));
    const std::string cut = PlainItem(3, 2, "b", CheckBody(1, "y"));
    const std::string payload = I32(0) + good + cut.substr(0, cut.size() - 3);
    DataFieldList list;
    DataFieldReadResult result = ReadDataFieldList(payload.data(), (int)payload.size(), &list);
    EXPECT_TRUE(result.bCut);
    EXPECT_EQ(result.iCutAt, 4 + (int)good.size());
    ASSERT_EQ(list.entries.size(), 1u);

    const std::string next = I32(0) + PlainItem(3, 9, "c", CheckBody(0, ""));
    ReadDataFieldList(next.data(), (int)next.size(), &list);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_TRUE(FindDataField(list, 9));

    DataFieldEntry replaced;
    replaced.iNumber = 9;
    replaced.iReuse = -1;
    list.entries[9].iReuse = 0;
    InsertDataField(&list, replaced);
    EXPECT_EQ(FindDataField(list, 9)->iReuse, 0);
}

} // namespace
