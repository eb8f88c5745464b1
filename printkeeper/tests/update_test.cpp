/*
 * The update port without a process: its messages read into records, its
 * replies laid out byte for byte, the gateway's messages, the converter
 * version file, the queries that look at the disk, and the name a received
 * print client gets from its own version record (this test program carries
 * the record of 3.7.0.0, see CMakeLists.txt).
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <scratch_root.h>

#include "printkeeper.h"
#include "update.h"

namespace fs = std::filesystem;

namespace {

std::string Int32(int v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++)
        s[i] = (char)((unsigned)v >> (8 * i));
    return s;
}

std::string Message(int subCode, const std::string &fields = std::string(), char kind = 3)
{
    return std::string(1, kind) + Int32(subCode) + fields;
}

int Read(const std::string &bytes, UpdateMessage *msg)
{
    return ReadUpdateMessage(bytes.data(), (int)bytes.size(), msg);
}

TEST(UpdateMessages, TransfersCarryTheirChunkOrTheirExpectedSize)
{
    UpdateMessage msg;
    const std::string data = Message(UPD_CONVERTER_DATA, std::string("MZ\0\x01", 4));
    ASSERT_EQ(Read(data, &msg), UPD_READ_OK);
    EXPECT_EQ(msg.iSubCode, UPD_CONVERTER_DATA);
    EXPECT_EQ(std::string(msg.pChunk, msg.iChunkLen), std::string("MZ\0\x01", 4));
    EXPECT_EQ(msg.pChunk, data.data() + 5) << "the chunk is read in place";
    /* An empty chunk is a chunk. */
    ASSERT_EQ(Read(Message(UPD_SERVICE_DATA), &msg), UPD_READ_OK);
    EXPECT_EQ(msg.iChunkLen, 0);
    ASSERT_EQ(Read(Message(UPD_PDF_END, Int32(123456)), &msg), UPD_READ_OK);
    EXPECT_EQ(msg.iExpectedSize, 123456);
    /* The print client's numbers come first, in both messages. */
    const std::string client = Message(UPD_CLIENT_DATA, Int32(237) + Int32(859) + "ELF");
    ASSERT_EQ(Read(client, &msg), UPD_READ_OK);
    EXPECT_EQ(msg.iA, 237);
    EXPECT_EQ(msg.iB, 859);
    EXPECT_EQ(std::string(msg.pChunk, msg.iChunkLen), "ELF");
    ASSERT_EQ(Read(Message(UPD_CLIENT_END, Int32(1) + Int32(2) + Int32(3)), &msg), UPD_READ_OK);
    EXPECT_EQ(msg.iExpectedSize, 3);
    /* The versioned kind is the same message. */
    ASSERT_EQ(Read(Message(UPD_VERSION, "", 30), &msg), UPD_READ_OK);
    EXPECT_EQ(msg.iKind, 30);
}

TEST(UpdateMessages, ShortAndForeignMessagesAreRefusedOrIgnored)
{
    UpdateMessage msg;
    const struct {
        std::string bytes;
        int result;
    } cases[] = {
        {"", UPD_READ_IGNORED},
        {Message(UPD_VERSION, "", 4), UPD_READ_IGNORED},      /* another kind */
        {Message(999), UPD_READ_IGNORED},                     /* an unknown sub-code */
        {std::string("\x03\x01\x00", 3), UPD_READ_MALFORMED}, /* a cut sub-code */
        {Message(UPD_ECG_END), UPD_READ_MALFORMED},           /* no size */
        {Message(UPD_ECG_END, "\x01\x02"), UPD_READ_MALFORMED},
        {Message(UPD_CLIENT_DATA, Int32(1)), UPD_READ_MALFORMED},
        {Message(UPD_CLIENT_END, Int32(1) + Int32(2)), UPD_READ_MALFORMED},
        {Message(UPD_CLIENT_QUERY, Int32(1)), UPD_READ_MALFORMED},
        {Message(UPD_RELAY_REQUEST, Int32(5) + "no end"), UPD_READ_MALFORMED},
        {Message(UPD_RELAY_REQUEST, Int32(5) + std::string(RELAY_TEXT_SIZE, 'x') + '\0'),
         UPD_READ_MALFORMED},
        {Message(UPD_RELAY_DOWNLOAD, Int32(0)), UPD_READ_MALFORMED},
        {Message(UPD_GATEWAY_SETTINGS), UPD_READ_MALFORMED},
        {Message(UPD_GATEWAY_SETTINGS, Int32(1) + std::string("host\0"
                                                              "7000\0",
                                                              10)),
         UPD_READ_MALFORMED},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Read(c.bytes, &msg), c.result) << testing::PrintToString(c.bytes);
    EXPECT_EQ(ReadUpdateMessage(nullptr, 5, &msg), UPD_READ_IGNORED);
}

TEST(UpdateMessages, GatewaySettingsRelayRequestAndDownload)
{
    UpdateMessage msg;
    const std::string texts = std::string("gw.example\0"
                                          "7100\0"
                                          "first\0"
                                          "second\0"
                                          " 42x\0",
                                          34);
    ASSERT_EQ(Read(Message(UPD_GATEWAY_SETTINGS, Int32(1) + texts), &msg), UPD_READ_OK);
    EXPECT_EQ(msg.gateway.iMode, 1);
    EXPECT_STREQ(msg.gateway.szHost, "gw.example");
    EXPECT_STREQ(msg.gateway.szPort, "7100");
    EXPECT_STREQ(msg.gateway.szIdentity1, "first");
    EXPECT_STREQ(msg.gateway.szIdentity2, "second");
    EXPECT_EQ(msg.gateway.iNumber, 42) << "atoi's reading";
    /* Other modes carry nothing more. */
    ASSERT_EQ(Read(Message(UPD_GATEWAY_SETTINGS, Int32(2)), &msg), UPD_READ_OK);
    EXPECT_EQ(msg.gateway.iMode, 2);

    ASSERT_EQ(Read(Message(UPD_RELAY_REQUEST, Int32(7) + std::string("kit\0", 4)), &msg),
              UPD_READ_OK);
    EXPECT_EQ(msg.iRelayNumber, 7);
    EXPECT_STREQ(msg.szRelayText, "kit");

    ASSERT_EQ(Read(Message(UPD_RELAY_DOWNLOAD, Int32(-1)), &msg), UPD_READ_OK);
    EXPECT_EQ(msg.iRelayMarker, -1);
    const std::string start = Int32(1000) + std::string("Kit.exe\0", 8);
    const std::string first = Message(UPD_RELAY_DOWNLOAD, Int32(0) + Int32(7) + start);
    ASSERT_EQ(Read(first, &msg), UPD_READ_OK);
    int iSize = 0;
    char szName[RELAY_NAME_SIZE];
    ASSERT_EQ(ReadRelayStart(msg.pRelayRest, msg.iRelayRestLen, &iSize, szName, sizeof(szName)),
              UPD_READ_OK);
    EXPECT_EQ(iSize, 1000);
    EXPECT_STREQ(szName, "Kit.exe");
    for (int bad : {0, -5, UPDATE_MAX_TRANSFER_BYTES + 1}) {
        const std::string b = Int32(bad) + std::string("k\0", 2);
        EXPECT_EQ(ReadRelayStart(b.data(), (int)b.size(), &iSize, szName, sizeof(szName)),
                  UPD_READ_MALFORMED)
            << bad;
    }
    const std::string chunk = Int32(3) + "abc";
    const char *p = nullptr;
    int n = 0;
    ASSERT_EQ(ReadRelayChunk(chunk.data(), (int)chunk.size(), &p, &n), UPD_READ_OK);
    EXPECT_EQ(std::string(p, n), "abc");
    /* A length beyond the bytes that came is refused, not read. */
    EXPECT_EQ(ReadRelayChunk(chunk.data(), (int)chunk.size() - 1, &p, &n), UPD_READ_MALFORMED);
    const std::string negative = Int32(-1) + "abc";
    EXPECT_EQ(ReadRelayChunk(negative.data(), (int)negative.size(), &p, &n), UPD_READ_MALFORMED);
}

TEST(UpdateReplies, BytesAsTheServerReadsThem)
{
    char version[UPD_REPLY_VERSION_SIZE];
    ASSERT_EQ(BuildVersionReply(version, 238), 13);
    EXPECT_EQ(std::string(version, 13), std::string("\x01") + Int32(859) + Int32(237) + Int32(238));
    char status[UPD_REPLY_STATUS_SIZE];
    ASSERT_EQ(BuildStatusReply(status, UPD_STATUS_FAILED), 5);
    EXPECT_EQ(std::string(status, 5), std::string("\x03") + Int32(2));
    char ack[UPD_REPLY_END_ACK_SIZE];
    ASSERT_EQ(BuildEndAck(ack), 5);
    EXPECT_EQ(std::string(ack, 5), std::string("\x01") + Int32(0));
    char query[UPD_REPLY_QUERY_SIZE];
    ASSERT_EQ(BuildQueryReply(query, -1, UPD_CONVERTER_QUERY), 9);
    EXPECT_EQ(std::string(query, 9), std::string("\x02") + Int32(-1) + Int32(10));
    char runtime[UPD_REPLY_RUNTIME_SIZE];
    ASSERT_EQ(BuildRuntimeReply(runtime, true), 5);
    EXPECT_EQ(std::string(runtime, 5), std::string("\x03") + Int32(1));
    char relay[UPD_REPLY_RELAY_SIZE];
    ASSERT_EQ(BuildRelayResult(relay, false), 8);
    EXPECT_EQ(std::string(relay, 8), Int32(89) + Int32(0));
}

TEST(UpdateReplies, GatewayRegistrationAndRelayRequest)
{
    char stamp[64];
    GatewayTimeStamp("Wed Jun 30 21:49:08 1993\n", stamp, sizeof(stamp));
    EXPECT_STREQ(stamp, "Wed_Jun_30_21:49:08_1993");
    GatewayRegistration reg = {"id-one", "id-two", "WS1", stamp, 321, "10.0.0.5", 9};
    char out[256];
    const int n = BuildGatewayRegistration(reg, out, sizeof(out));
    const std::string expected = std::string("\x03") + Int32(1) + std::string("id-two\0WS1\0", 11) +
                                 stamp + '\0' + Int32(321) + std::string("10.0.0.5\0id-one\0", 16) +
                                 Int32(9);
    EXPECT_EQ(std::string(out, n), expected);
    EXPECT_EQ(BuildGatewayRegistration(reg, out, 20), 0) << "too small: nothing";
    const int r = BuildRelayRequest(12, "pkg", out, sizeof(out));
    EXPECT_EQ(r, 3 + 10) << "the text's length and ten";
    EXPECT_EQ(std::string(out, r), std::string("\x03") + Int32(55) + Int32(12) + "pkg" + '\0');
    EXPECT_EQ(GatewayNumber("99999999999"), 2147483647);
    EXPECT_EQ(GatewayNumber("-12abc"), -12);
    EXPECT_EQ(GatewayNumber("x"), 0);
}

class UpdateOnDisk : public ::testing::Test {
protected:
    ScratchRoot root;
};

TEST_F(UpdateOnDisk, ConverterVersionComesFromTheFirstLineOfItsFile)
{
    EXPECT_EQ(QueryConverterVersion(), -1) << "no file";
    std::ofstream(root.driveC("Windows/system32/cdintf550.kel")) << "550\r\nsecond line\r\n";
    EXPECT_EQ(QueryConverterVersion(), 550);
    EXPECT_EQ(ParseConverterVersion(" 12 rest"), 12);
    EXPECT_EQ(ParseConverterVersion("v12"), -1);
    EXPECT_EQ(ParseConverterVersion("99999999999999"), 2147483647);
}

TEST_F(UpdateOnDisk, ClientQueryNeedsBothNumbersAndTheFile)
{
    fs::create_directories(root.driveC("novarc/bin2"));
    std::ofstream(root.driveC("novarc/bin2/novarcprint.859.237.exe")) << "x";
    std::ofstream(root.driveC("novarc/bin2/novarcprint.5.0.exe")) << "x";
    EXPECT_EQ(QueryClientInstalled(237, 859), 1);
    EXPECT_EQ(QueryClientInstalled(859, 237), 0) << "b then a in the name";
    EXPECT_EQ(QueryClientInstalled(0, 5), 0) << "a = 0 is never installed";
    EXPECT_EQ(QueryClientInstalled(-237, 859), 0);
}

TEST_F(UpdateOnDisk, ReceivedClientIsNamedByItsOwnVersionRecord)
{
    fs::create_directories(root.driveC("kel"));
    fs::copy_file("/proc/self/exe", root.driveC("kel/recorded.exe"));
    fs::copy_file("/bin/true", root.driveC("kel/plain.exe"));
    fs::copy_file(RECORD_V1_EXE, root.driveC("kel/old.exe"));
    std::ofstream(root.driveC("kel/text.exe")) << "not a program";
    char name[64];
    ClientProgramName("c:\\kel\\recorded.exe", 237, 859, name, sizeof(name));
    EXPECT_STREQ(name, "Novarcprint.7.3.exe") << "minor then major of the record";
    for (const char *file :
         {"c:\\kel\\old.exe", "c:\\kel\\plain.exe", "c:\\kel\\text.exe", "c:\\kel\\none.exe"}) {
        ClientProgramName(file, 237, 859, name, sizeof(name));
        EXPECT_STREQ(name, "Novarcprint.859.237.exe") << file;
    }
}

TEST_F(UpdateOnDisk, RuntimeChecksLookWhereEachInstallLeavesItsMark)
{
    g_Printkeeper.bWin6 = true;
    EXPECT_TRUE(Runtime2005Installed()) << "Windows 6 and later carry the 2005 runtime";
    g_Printkeeper.bWin6 = false;
    EXPECT_FALSE(Runtime2005Installed()) << "no product record, no side-by-side store";
    EXPECT_FALSE(Runtime2008Installed());
    /* The side-by-side store with every assembly of the runtime. */
    for (const char *name : {"x86_microsoft.vc90.atl_1fc8b3b9a1e18e3b_9.0.21022.8",
                             "x86_Microsoft.VC90.CRT_1fc8b3b9a1e18e3b_9.0.21022.8",
                             "x86_Microsoft.VC90.MFC_1fc8b3b9a1e18e3b_9.0.21022.8",
                             "x86_Microsoft.VC90.MFCLOC_1fc8b3b9a1e18e3b_9.0.21022.8"})
        fs::create_directories(root.driveC(std::string("Windows/winsxs/") + name));
    EXPECT_FALSE(Runtime2008Installed()) << "OpenMP still missing";
    fs::create_directories(root.driveC("Windows/winsxs/x86_microsoft.vc90.openmp_1fc8"));
    EXPECT_TRUE(Runtime2008Installed());
    fs::remove_all(root.driveC("Windows/winsxs"));

    /* A product record of one of the 2008 runtime's codes, through msi.dll. */
    HKEY key = NULL;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                              "{9BE518E6-ECC6-35A9-88E4-87755C07200F}",
                              0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExA(key, "WindowsInstaller", 0, REG_DWORD, (const BYTE *)&one, sizeof(one));
    RegCloseKey(key);
    EXPECT_TRUE(Runtime2008Installed());
}

} // namespace
