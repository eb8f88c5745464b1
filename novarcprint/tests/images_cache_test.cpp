/*
 * The image cache: files arriving in pieces (every kind of transfer), kept
 * enciphered or as sent, the server's questions answered on the wire, and
 * the sound choices where a peer could do harm: names outside the cache,
 * transfers without end, files that cannot be created, broken streams.
 * Images here are stored only (mode 4) or checked without a printer; the
 * printing is image_print_test.cpp's.
 */
#include <sys/stat.h>

#include "images_fixture.h"

namespace {

const std::string kNul(1, '\0');

class ImageCacheTest : public ImagesTest {};

TEST_F(ImageCacheTest, ANamedScanIsKeptEncipheredUnderX2mAndReadsBackByteForByte)
{
    const std::string page = ReadText(Sample("page_g4.tif"));
    ASSERT_GT(page.size(), 20000u);
    Run(HandleImageSettings, IMAGE_SETTINGS, Int32(0) + Int32(0) + Int32(1));
    EXPECT_EQ(session_->m_Images.m_iImageRotation, 1);
    SendImage("scan.tif", page, 4);
    EXPECT_FALSE(Exists("scan.tif"));
    const std::string stored = ReadText(Cached("scan.tif.x2m"));
    ASSERT_EQ(stored.size(), page.size() + 16);
    EXPECT_EQ(stored.find(page.substr(100, 64)), std::string::npos) << "no plain run on disk";
    EXPECT_EQ(Deciphered(stored), page);
    CacheBytes bytes;
    ASSERT_EQ(ReadCacheFile("c:\\novarc\\RecentScans\\scan.tif.x2m", &bytes), 1);
    EXPECT_EQ(std::string(bytes.pData, bytes.dwLen), page);
    FreeCacheBytes(&bytes);
    /* Mode 4 stores without printing, and the rotation applied to nothing
     * is still spent. */
    EXPECT_EQ(session_->m_Images.m_iImageRotation, 0);
    EXPECT_EQ(session_->m_iCurrentImagePage, 0);

    /* The same scan again: a fresh counter block, so the files differ. */
    SendImage("again.tif", page, 4);
    EXPECT_NE(ReadText(Cached("again.tif.x2m")).substr(0, 16), stored.substr(0, 16));
}

TEST_F(ImageCacheTest, EncipheredAndPayloadCipheredNamesAreStoredAsSent)
{
    const std::string photo = ReadText(Sample("photo.jpg"));
    /* Already enciphered by the server: not enciphered twice, whatever the case. */
    std::string enciphered(16, '\x5a');
    enciphered += photo;
    SendImage("photo.X2M", enciphered, 4);
    EXPECT_EQ(ReadText(Cached("photo.X2M")), enciphered);
    /* 0x10: the bytes are not compressed, so they are not inflated. */
    SendImage("raw.tif", photo, 0x14, 1, 777);
    EXPECT_EQ(Deciphered(ReadText(Cached("raw.tif.x2m"))), photo);

    std::string xem = photo;
    ASSERT_EQ(ProtectPayload(xem.data(), (int)xem.size(), KEL_MODE_BLOWFISH), 0);
    SendImage("photo.jpg.xem", xem, 4);
    EXPECT_EQ(ReadText(Cached("photo.jpg.xem")), xem);
    CacheBytes bytes;
    ASSERT_EQ(ReadCacheFile("c:\\novarc\\RecentScans\\photo.jpg.xem", &bytes), 1);
    EXPECT_EQ(std::string(bytes.pData, bytes.dwLen), photo) << "deciphered in memory";
    FreeCacheBytes(&bytes);
    char szName[MAX_PATH] = "photo.jpg.xem";
    EXPECT_EQ(IsImageFileHere(session_.get(), szName, FILE_HERE_NO_REPLY), 1);
    EXPECT_STREQ(szName, "c:\\novarc\\RecentScans\\photo.jpg.xem");
}

TEST_F(ImageCacheTest, BrokenAndEmptyImagesLeaveNothingTheServerWouldNotResend)
{
    const std::string page = ReadText(Sample("page_g4.tif"));
    std::string broken = Deflated(page);
    broken[broken.size() / 2] ^= 0x55;
    Transfer(PRINT_IMAGE, PRINT_END_IMAGE, 0, "broken.tif" + kNul + Int32(1), broken);
    EXPECT_FALSE(Exists("broken.tif.x2m"));
    EXPECT_NE(Log().find("ReceiveImageFile(broken.tif.x2m) dropped: the image does not inflate"),
              std::string::npos);

    /* A first piece and an end: an empty file, which is no image. */
    Transfer(PRINT_IMAGE, PRINT_END_IMAGE, 4, "empty.tif" + kNul + Int32(1), "");
    ASSERT_TRUE(Exists("empty.tif.x2m"));
    EXPECT_EQ(ReadText(Cached("empty.tif.x2m")), "");
    char szName[MAX_PATH] = "empty.tif";
    EXPECT_EQ(IsImageFileHere(session_.get(), szName, FILE_HERE_NO_REPLY), 0);
    EXPECT_FALSE(Exists("empty.tif.x2m")) << "deleted, so the server sends it again";

    /* Whole but not an image: deleted when asked for. */
    SendImage("noise.tif", std::string(5000, '\x33'), 4);
    strcpy(szName, "noise.tif");
    EXPECT_EQ(IsImageFileHere(session_.get(), szName, FILE_HERE_NO_REPLY), 0);
    EXPECT_FALSE(Exists("noise.tif.x2m"));
}

TEST_F(ImageCacheTest, NamesOutsideTheCacheDropTheTransferWhole)
{
    const std::string page = ReadText(Sample("page_g4.tif"));
    const std::string names[] = {"..\\bin\\evil.tif",  "../evil.tif", "c:\\evil.tif",
                                 "sub\\x.tif",         "CON.tif",     "a?.tif",
                                 std::string(252, 'n')};
    for (const std::string &name : names) {
        SendImage(name, page, 4);
        Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, name + "\x01", page);
        Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
                 name + kNul + Int32(1) + Int32(1) + Int32(1) + Int32(0), page);
    }
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/bin/evil.tif")));
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/evil.tif")));
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("evil.tif")));
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("evil.tif.x2m")));
    if (std::filesystem::exists(Cached("")))
        for (const auto &entry : std::filesystem::directory_iterator(Cached("")))
            ADD_FAILURE() << "left in the cache: " << entry.path();
    EXPECT_NE(Log().find("ReceiveImageFile refused <..\\bin\\evil.tif.x2m>"), std::string::npos);
    EXPECT_TRUE(session_->m_Images.m_Signatures.empty());
    /* Each kind starts afresh afterwards. */
    SendImage("fine.tif", page, 4);
    EXPECT_EQ(Deciphered(ReadText(Cached("fine.tif.x2m"))), page);
}

TEST_F(ImageCacheTest, AFileThatCannotBeCreatedDropsOnlyItsOwnTransfer)
{
    const std::string page = ReadText(Sample("page_g4.tif"));
    std::filesystem::create_directories(Cached("blocked.tif.x2m"));
    std::filesystem::create_directories(Cached(std::to_string(session_->m_iProcessId) + "_s.png"));
    std::filesystem::create_directories(Cached("d.png"));
    SendImage("blocked.tif", page, 4);
    Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
             "s.png" + kNul + Int32(1) + Int32(1) + Int32(5) + Int32(0), page);
    Transfer(DAW_IMAGE, END_DAW_IMAGE, 0,
             "d.png" + kNul + Int32(1) + Int32(1) + Int32(5) + Int32(0), page);
    EXPECT_TRUE(session_->m_Images.m_Signatures.empty());
    EXPECT_FALSE(session_->m_Images.m_bDawPending);
    /* The next transfer of each kind is not dropped with it. */
    SendImage("next.tif", page, 4);
    EXPECT_EQ(Deciphered(ReadText(Cached("next.tif.x2m"))), page);
    Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
             "t.png" + kNul + Int32(1) + Int32(1) + Int32(5) + Int32(0), "sig");
    EXPECT_EQ(session_->m_Images.m_Signatures.size(), 1u);
    Transfer(DAW_IMAGE, END_DAW_IMAGE, 0,
             "e.png" + kNul + Int32(1) + Int32(1) + Int32(5) + Int32(0), "daw");
    EXPECT_TRUE(session_->m_Images.m_bDawPending);
}

TEST_F(ImageCacheTest, EndsWithoutATransferAreIgnoredAndAbortsDeleteThePart)
{
    EXPECT_EQ(Run(HandleTransferPiece, PRINT_END_IMAGE, std::string(1, '\0')), 0);
    EXPECT_EQ(Run(HandleTransferPiece, END_LETTERHEAD_IMAGE, std::string(1, '\0')), 0);
    EXPECT_EQ(session_->m_Images.m_iLetterheadCount, 0) << "no slot taken by a stray end";
    EXPECT_EQ(Run(HandleSpecialImageMessage, SPECIAL_IMAGE_MESSAGE, Int32(62) + '\0'), 0);

    Run(HandleTransferPiece, PRINT_IMAGE, std::string(1, '\0') + "cut.tif" + kNul + Int32(1));
    Run(HandleTransferPiece, PRINT_IMAGE, std::string(1, '\0') + "some bytes");
    ASSERT_TRUE(Exists("cut.tif.x2m"));
    EXPECT_EQ(Run(HandleSpecialImageMessage, SPECIAL_IMAGE_MESSAGE, Int32(62) + '\0'), 1);
    EXPECT_FALSE(Exists("cut.tif.x2m"));
    /* An end without its mode byte cannot say whether to print: dropped. */
    Run(HandleTransferPiece, PRINT_IMAGE, std::string(1, '\0') + "nomode.tif" + kNul + Int32(1));
    EXPECT_EQ(Run(HandleTransferPiece, PRINT_END_IMAGE, ""), 0);
    EXPECT_FALSE(Exists("nomode.tif.x2m"));
    EXPECT_EQ(session_->m_Images.m_Transfer[TRANSFER_IMAGE].iState, -1);
}

TEST_F(ImageCacheTest, ATransferStopsAtItsBound)
{
    Run(HandleTransferPiece, PRINT_ANNOTATION, std::string(1, '\0') + "big.ann\x01");
    ASSERT_TRUE(Exists("big.ann.zz"));
    /* As if nearly the whole bound had arrived already. */
    session_->m_Images.m_Transfer[TRANSFER_ANNOTATION].llBytes = IMAGE_TRANSFER_MAX_BYTES - 10;
    Run(HandleTransferPiece, PRINT_ANNOTATION, std::string(1, '\0') + std::string(11, 'x'));
    EXPECT_FALSE(Exists("big.ann.zz"));
    EXPECT_NE(Log().find("dropped: larger than a transfer may be"), std::string::npos);
    Run(HandleTransferPiece, PRINT_END_ANNOTATION, std::string(1, '\0'));
    EXPECT_FALSE(Exists("big.ann"));
    EXPECT_EQ(session_->m_Images.m_Transfer[TRANSFER_ANNOTATION].iState, -1);
}

TEST_F(ImageCacheTest, LetterheadsFillTheirTwoSlotsInTurn)
{
    const std::string lh = ReadText(Sample("letterhead.png"));
    Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, "first.png\x01", lh, 1000);
    EXPECT_EQ(ReadText(Cached("first.png")), lh) << "letterheads are kept as sent";
    Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, "second.png\x01", lh);
    Run(HandleLetterheadImageName, LETTERHEAD_IMAGE_NAME, std::string(1, '\0') + "third.png\x01");
    const ImagesState &im = session_->m_Images;
    EXPECT_STREQ(im.m_szLetterhead[0], "third.png");
    EXPECT_STREQ(im.m_szLetterhead[1], "second.png");
    EXPECT_EQ(im.m_iLetterheadCount, 1);
}

TEST_F(ImageCacheTest, AnnotationsArriveCompressedAndAreKeptInflated)
{
    const std::string ann = R"({"format": "novarc-annotations", "version": 1, "objects": []})";
    Transfer(PRINT_ANNOTATION, PRINT_END_ANNOTATION, 0, "scan.ann\x01", Deflated(ann), 7);
    EXPECT_EQ(ReadText(Cached("scan.ann")), ann);
    EXPECT_FALSE(Exists("scan.ann.zz"));
    std::string broken = Deflated(ann);
    broken.resize(broken.size() - 6);
    Transfer(PRINT_ANNOTATION, PRINT_END_ANNOTATION, 0, "cut.ann\x01", broken);
    EXPECT_FALSE(Exists("cut.ann"));
    EXPECT_FALSE(Exists("cut.ann.zz"));
}

TEST_F(ImageCacheTest, DrawingsAndSignaturesWaitForThePageEnd)
{
    const std::string sig = ReadText(Sample("signature.png"));
    Transfer(DAW_IMAGE, END_DAW_IMAGE, 0,
             "d.png" + kNul + Int32(5) + Int32(6) + Int32(7) + Int32(8), sig);
    const ImagesState &im = session_->m_Images;
    EXPECT_STREQ(im.m_szDawFileName, "d.png");
    EXPECT_EQ(im.m_iDaw[2], 7);
    EXPECT_TRUE(im.m_bDawPending);
    EXPECT_EQ(ReadText(Cached("d.png")), sig);

    const std::string pid = std::to_string(session_->m_iProcessId);
    Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
             "sig.png" + kNul + Int32(10) + Int32(20) + Int32(0) + Int32(0), sig);
    EXPECT_TRUE(im.m_Signatures.empty()) << "height 0 without flag 8 is kept, not listed";
    EXPECT_STREQ(im.m_szSignatureFileName, "sig.png");
    EXPECT_EQ(ReadText(Cached(pid + "_sig.png")), sig);
    Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
             "sig2.png" + kNul + Int32(10) + Int32(20) + Int32(6) + Int32(1), sig);
    ASSERT_EQ(im.m_Signatures.size(), 1u);
    EXPECT_STREQ(im.m_Signatures[0].szName, "sig2.png");
    EXPECT_EQ(im.m_Signatures[0].iFlags, 1);
    EXPECT_TRUE(im.m_bSignaturePending);
}

TEST_F(ImageCacheTest, TheServersQuestionsAreAnswered)
{
    const std::string page = ReadText(Sample("page_g4.tif"));
    SendImage("scan.tif", page, 4);
    const std::string here = std::string(1, '\0');
    Run(HandleIsImageFileHere, IS_IMAGE_FILE_HERE, here + "scan.tif\x01\x01");
    Run(HandleIsImageFileHere, IS_IMAGE_FILE_HERE, here + "scan.tif.x2m\x01");
    Run(HandleIsImageFileHere, IS_IMAGE_FILE_HERE, here + "missing.tif\x01");
    Run(HandleIsImageFileHere, IS_IMAGE_FILE_HERE, here + "..\\..\\Windows\\win.ini\x01");
    Run(HandleIsImageFileHere, IS_IMAGE_FILE_HERE, "");
    const std::string yes = '\x14' + Int32(1), no = '\x14' + Int32(0);
    EXPECT_EQ(Replies(), (std::vector<std::string>{yes, yes, no, no, no}));

    Run(HandleQueryFileSize, QUERY_FILE_SIZE, "scan.tif" + kNul);
    Run(HandleQueryFileSize, QUERY_FILE_SIZE, "missing.tif" + kNul);
    const std::string size = std::to_string(page.size() + 16);
    EXPECT_EQ(Replies(), (std::vector<std::string>{"\x27" + size + kNul, "\x27"
                                                                         "0" +
                                                                             kNul}));

    const std::string form = ReadText(Sample("tall_g4.tif"));
    Run(HandleStoreCacheFile, STORE_CACHE_FILE, "FROI.tif" + kNul + Int32((int)form.size()) + form);
    Run(HandleStoreCacheFile, STORE_CACHE_FILE, "short.tif" + kNul + Int32(1000) + "abc");
    const std::string done = "\x27"
                             "CACHE DONE" +
                             kNul;
    ASSERT_EQ(done.size(), 12u);
    EXPECT_EQ(Replies(), (std::vector<std::string>{done, done})) << "answered even when not stored";
    EXPECT_EQ(Deciphered(ReadText(Cached("FROI.tif.x2m"))), form);
    EXPECT_FALSE(Exists("short.tif.x2m"));
}

TEST_F(ImageCacheTest, CacheFilesArePatientDataOfTheServiceUser)
{
    /* The service runs with the file mask 0027. */
    const mode_t old = umask(027);
    SendImage("scan.tif", ReadText(Sample("page_g4.tif")), 4);
    Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, "lh.png\x01", "x");
    umask(old);
    struct stat st;
    ASSERT_EQ(stat(Cached("scan.tif.x2m").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(stat(Cached("lh.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ImageCacheTest, EncryptFileInPlaceAndTheSignatureCleanUp)
{
    const std::string photo = ReadText(Sample("photo.jpg"));
    WriteText(Cached("plain.jpg.x2m"), photo);
    ASSERT_EQ(EncryptFileInPlace("c:\\novarc\\RecentScans\\plain.jpg.x2m"), 1);
    EXPECT_EQ(Deciphered(ReadText(Cached("plain.jpg.x2m"))), photo);
    EXPECT_EQ(EncryptFileInPlace("c:\\novarc\\RecentScans\\none.x2m"), 0);

    const std::string pid = std::to_string(session_->m_iProcessId);
    WriteText(Cached(pid + "_signature1.png"), "s");
    WriteText(Cached(pid + "_signatureB.tif"), "s");
    WriteText(Cached(pid + "_other.png"), "s");
    WriteText(Cached("1_signature1.png"), "s");
    session_->CleanupRecentScansFiles();
    EXPECT_FALSE(Exists(pid + "_signature1.png"));
    EXPECT_FALSE(Exists(pid + "_signatureB.tif"));
    EXPECT_TRUE(Exists(pid + "_other.png"));
    EXPECT_TRUE(Exists("1_signature1.png")) << "another client's";
    EXPECT_TRUE(Exists("plain.jpg.x2m"));
}

/* Through the dispatcher: the special message's pieces take their turn
 * with the ordinary ones, so the bytes stay in the order they were sent. */
TEST_F(ImageCacheTest, SpecialImagePiecesKeepTheirPlaceAmongOrdinaryOnes)
{
    const std::string photo = ReadText(Sample("photo.jpg"));
    const std::string mode(1, '\x14');
    Dispatch(PRINT_IMAGE, mode + "mixed.tif" + kNul + Int32(1));
    for (size_t at = 0, i = 0; at < photo.size(); at += 4000, i++) {
        const std::string piece = mode + photo.substr(at, 4000);
        if (i % 2)
            Dispatch(SPECIAL_IMAGE_MESSAGE, Int32(42) + piece);
        else
            Dispatch(PRINT_IMAGE, piece);
    }
    Dispatch(SPECIAL_IMAGE_MESSAGE, Int32(43) + mode);
    WaitForWorkers();
    EXPECT_EQ(Deciphered(ReadText(Cached("mixed.tif.x2m"))), photo);
}

} // namespace
