/*
 * The image requests' payload readers, from bytes: what each takes, where
 * a name ends, and the payloads they refuse whole (a name too long for its
 * field, a name that must be followed by a value and is not ended, lengths
 * the payload does not hold).
 */
#include <gtest/gtest.h>

#include <string>

#include "image_records.h"

namespace {

std::string Int32(int v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++)
        s[i] = (char)((unsigned)v >> (8 * i));
    return s;
}

bool Start(TransferKind kind, const std::string &bytes, TransferStart *pStart)
{
    return ReadTransferStart(kind, bytes.data(), (int)bytes.size(), pStart);
}

TEST(ImageRecords, FirstPiecesNameTheirFileAndCarryTheirKindsValues)
{
    TransferStart start;
    /* An image: name, then the page; what follows is not part of the file. */
    ASSERT_TRUE(
        Start(TRANSFER_IMAGE, "scan.tif" + std::string(1, '\0') + Int32(3) + "xyz", &start));
    EXPECT_STREQ(start.szName, "scan.tif");
    EXPECT_EQ(start.iValues[0], 3);
    /* Drawings and signatures: name and four values. */
    ASSERT_TRUE(Start(
        TRANSFER_SIGNATURE,
        "sig.png" + std::string(1, '\0') + Int32(10) + Int32(-2) + Int32(0) + Int32(8), &start));
    EXPECT_STREQ(start.szName, "sig.png");
    EXPECT_EQ(start.iValues[1], -2);
    EXPECT_EQ(start.iValues[3], 8);
    /* Letterheads and annotations: a field, ended by 0x01 or the payload. */
    ASSERT_TRUE(Start(TRANSFER_LETTERHEAD, "lh.png\x01trailing", &start));
    EXPECT_STREQ(start.szName, "lh.png");
    ASSERT_TRUE(Start(TRANSFER_ANNOTATION, "scan.ann", &start));
    EXPECT_STREQ(start.szName, "scan.ann");
    /* A NUL inside a field ends the name as the file system would see it. */
    ASSERT_TRUE(Start(TRANSFER_ANNOTATION, std::string("a.ann\0..\\x", 10) + "\x01", &start));
    EXPECT_STREQ(start.szName, "a.ann");
}

TEST(ImageRecords, MalformedFirstPiecesAreRefusedWhole)
{
    TransferStart start;
    const std::string longName(IMAGE_NAME_SIZE, 'n');
    EXPECT_FALSE(Start(TRANSFER_IMAGE, longName + '\0' + Int32(1), &start)) << "never cut";
    EXPECT_TRUE(Start(TRANSFER_IMAGE, longName.substr(1) + '\0' + Int32(1), &start));
    EXPECT_FALSE(Start(TRANSFER_LETTERHEAD, std::string(LETTERHEAD_NAME_SIZE, 'l'), &start));
    EXPECT_FALSE(Start(TRANSFER_SIGNATURE,
                       std::string(SIGNATURE_NAME_SIZE, 's') + '\0' + Int32(0) + Int32(0) +
                           Int32(0) + Int32(0),
                       &start));
    EXPECT_FALSE(Start(TRANSFER_IMAGE, "scan.tif" + Int32(1), &start)) << "name not ended";
    EXPECT_FALSE(Start(TRANSFER_IMAGE, "scan.tif" + std::string(1, '\0') + "ab", &start));
    EXPECT_FALSE(Start(TRANSFER_DAW, "d.tif" + std::string(1, '\0') + Int32(1) + Int32(2), &start));
    EXPECT_FALSE(Start(TRANSFER_ANNOTATION, "\x01", &start)) << "empty name";
    EXPECT_FALSE(Start(TRANSFER_IMAGE, std::string(), &start));
    EXPECT_FALSE(ReadTransferStart(TRANSFER_IMAGE, nullptr, 5, &start));
}

TEST(ImageRecords, PiecesAndSpecialMessages)
{
    PieceView piece;
    const std::string data = std::string(1, '\x10') + "bytes";
    ASSERT_TRUE(ReadPiece(data.data(), (int)data.size(), &piece));
    EXPECT_EQ(piece.iMode, 0x10);
    EXPECT_EQ(std::string(piece.pRest, piece.iRestLen), "bytes");
    EXPECT_FALSE(ReadPiece(data.data(), 0, &piece)) << "no mode byte";

    SpecialImageRecord special;
    const struct {
        int iSubCode, iPiece;
    } cases[] = {{42, PIECE_DATA}, {43, PIECE_END}, {62, PIECE_ABORT}, {41, -1}, {0, -1}};
    for (const auto &c : cases) {
        const std::string bytes = Int32(c.iSubCode) + "\x04rest";
        ASSERT_TRUE(ReadSpecialImage(bytes.data(), (int)bytes.size(), &special));
        EXPECT_EQ(special.iPiece, c.iPiece) << c.iSubCode;
        EXPECT_EQ(std::string(special.pRest, special.iRestLen), "\x04rest");
    }
    EXPECT_FALSE(ReadSpecialImage("\x2a\0\0", 3, &special));
}

TEST(ImageRecords, SettingsNamesAndQueries)
{
    int iRotation = -1;
    std::string settings = Int32(7) + Int32(8) + Int32(3);
    for (int i = 3; i < 13; i++)
        settings += Int32(99);
    ASSERT_TRUE(ReadImageSettings(settings.data(), (int)settings.size(), &iRotation));
    EXPECT_EQ(iRotation, 3);
    EXPECT_TRUE(ReadImageSettings(settings.data(), 12, &iRotation)) << "the rest is not used";
    EXPECT_FALSE(ReadImageSettings(settings.data(), 11, &iRotation));

    LetterheadNameRecord letterhead;
    ASSERT_TRUE(ReadLetterheadName("\x02lh2.png\x01", 9, &letterhead));
    EXPECT_EQ(letterhead.iMode, 2);
    EXPECT_STREQ(letterhead.szName, "lh2.png");
    EXPECT_FALSE(ReadLetterheadName("\x02", 1, &letterhead));

    FileHereQuery query;
    const std::string here = std::string(1, '\0') + "scan.tif\x01" + "kept\x01";
    ASSERT_TRUE(ReadFileHereQuery(here.data(), (int)here.size(), &query));
    EXPECT_STREQ(query.szName, "scan.tif");
    EXPECT_STREQ(query.szSecond, "kept");
    ASSERT_TRUE(ReadFileHereQuery(here.data(), 10, &query)) << "the second field may be absent";
    EXPECT_STREQ(query.szSecond, "");

    char szName[IMAGE_NAME_SIZE];
    ASSERT_TRUE(ReadQueryFileSize("a.tif\0junk", 10, szName));
    EXPECT_STREQ(szName, "a.tif");
    EXPECT_FALSE(ReadQueryFileSize("", 0, szName));

    LocalImageRecord local;
    const std::string print = std::string(1, '\x04') + "scan.tif" + '\0' + Int32(2);
    ASSERT_TRUE(ReadPrintLocalImage(print.data(), (int)print.size(), &local));
    EXPECT_EQ(local.iMode, 4);
    EXPECT_STREQ(local.szName, "scan.tif");
    EXPECT_EQ(local.iPage, 2);
    EXPECT_FALSE(ReadPrintLocalImage(print.data(), (int)print.size() - 1, &local));
}

TEST(ImageRecords, StoredFilesAndSignaturesHoldTheBytesTheySay)
{
    StoreCacheRecord store;
    std::string bytes = "form.tif" + std::string(1, '\0') + Int32(3) + "abc";
    ASSERT_TRUE(ReadStoreCacheFile(bytes.data(), (int)bytes.size(), &store));
    EXPECT_STREQ(store.szName, "form.tif");
    EXPECT_EQ(std::string(store.pData, store.iDataLen), "abc");
    EXPECT_FALSE(ReadStoreCacheFile(bytes.data(), (int)bytes.size() - 1, &store));
    bytes = "form.tif" + std::string(1, '\0') + Int32(-1);
    EXPECT_FALSE(ReadStoreCacheFile(bytes.data(), (int)bytes.size(), &store));
    bytes = "form.tif" + std::string(1, '\0') + Int32(0);
    ASSERT_TRUE(ReadStoreCacheFile(bytes.data(), (int)bytes.size(), &store));
    EXPECT_EQ(store.iDataLen, 0);

    CompSignatureRecord sig;
    bytes = Int32(0);
    ASSERT_TRUE(ReadCompImageSignature(bytes.data(), (int)bytes.size(), &sig));
    EXPECT_EQ(sig.iOn, 0);
    bytes = Int32(1) + Int32(2) + Int32(4) + "SIGN";
    ASSERT_TRUE(ReadCompImageSignature(bytes.data(), (int)bytes.size(), &sig));
    EXPECT_EQ(sig.iFormType, 2);
    EXPECT_EQ(std::string(sig.pData, sig.iDataLen), "SIGN");
    bytes = Int32(1) + Int32(2) + Int32(0x7fffffff) + "SIGN";
    EXPECT_FALSE(ReadCompImageSignature(bytes.data(), (int)bytes.size(), &sig));
    EXPECT_FALSE(ReadCompImageSignature(bytes.data(), 2, &sig));
}

} // namespace
