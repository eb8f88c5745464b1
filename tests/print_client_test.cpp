/*
 * The print client end to end: a real Novarcprint takes over a loopback
 * connection and is spoken to as the server speaks to it.  Judged by its
 * replies, the files it writes, its debug log and when it ends.
 */
#include <algorithm>
#include <iterator>
#include <sstream>

#include "client_process.h"

namespace {

const char kAbcSha256[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class PrintClientTest : public ::testing::Test {
protected:
    void SetUp() override { WriteText(root_.driveC("novarc/abc.txt"), "abc"); }
    ScratchRoot root_;
};

size_t PositionOf(const std::string &log, const std::string &text)
{
    size_t at = log.find(text);
    EXPECT_NE(at, std::string::npos) << text;
    return at;
}

TEST_F(PrintClientTest, RequestsRunInArrivalOrderUnderThePrintLock)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(29, Int32(1));                        /* SET_PRINTER_BOLD */
    client.Send(28, Int32(66));                       /* PRINTER_FORM_LENGTH */
    client.Send(8);                                   /* SET_PRINT_SIZE */
    client.Send(111, Int32(1) + Int32(2) + Int32(3)); /* PRINT_FONT_COLOR */
    client.Send(33, Int32(0));                        /* SET_FORMFEED_OPTION */
    client.Send(5, "Hello\r\n");                      /* PRINT_STREAM reads them */
    EXPECT_EQ(client.Checksum("c:\\novarc\\abc.txt"), ChecksumReply(kAbcSha256));

    const std::string log = client.Log();
    size_t order[] = {PositionOf(log, "ThreadSetPrinterBold type<29>"),
                      PositionOf(log, "ThreadPrinterFormLength type<28>"),
                      PositionOf(log, "ThreadSetPrintMode type<8>"),
                      PositionOf(log, "ThreadPrintFontColor type<111>"),
                      PositionOf(log, "ThreadSetFormfeedOption type<33>"),
                      PositionOf(log, "ThreadPrintNovarcStream type<5>"),
                      PositionOf(log, "ThreadSendNamedFileChecksum type<113>")};
    for (size_t i = 1; i < sizeof(order) / sizeof(order[0]); i++)
        EXPECT_LT(order[i - 1], order[i]) << i;
    EXPECT_NE(log.find("PRINT_STREAM WaitForSingleObject(60000)"), std::string::npos);
    EXPECT_NE(log.find("WinMain(Novarcprint.237.859) kellib version"), std::string::npos);

    client.Send(2); /* CLOSE_PRINTER without a printer: the process ends at once */
    EXPECT_EQ(client.WaitExit(20000), 0);
    EXPECT_TRUE(client.WaitForLog("exitFunc( PostQuitMessage() )"));
}

TEST_F(PrintClientTest, WorkerHeldOffByThePrintLockDelaysTheNextMessageByTheWaitInterval)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    /* Another holder of the print lock keeps the worker from releasing the
     * free semaphore, as a worker stuck in a driver would. */
    const std::string lockName = "PRINT_MUTEX" + std::to_string(client.pid());
    HANDLE lock = CreateMutexA(NULL, FALSE, lockName.c_str());
    ASSERT_NE(lock, (HANDLE)NULL);
    ASSERT_EQ(WaitForSingleObject(lock, 0), (DWORD)WAIT_OBJECT_0);
    client.Send(29, Int32(1));
    client.Send(113, Str("c:\\novarc\\abc.txt"));
    EXPECT_TRUE(client.WaitForLog("SET_PRINTER_BOLD dwWait=WAIT_TIMEOUT"));
    EXPECT_EQ(client.Reply(200), "<none>"); /* the checksum worker waits its turn too */
    ReleaseMutex(lock);
    CloseHandle(lock);
    EXPECT_EQ(client.Reply(), ChecksumReply(kAbcSha256));
    /* The timed-out worker still runs its own request; after a time-out the
     * order of the two waiting workers is no longer guaranteed. */
    EXPECT_TRUE(client.WaitForLog("SET_PRINTER_BOLD <1>"));
}

bool HasHandler(int type)
{
    return type != 27 && !(type >= 39 && type <= 43) && !(type >= 52 && type <= 88);
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

TEST_F(PrintClientTest, EveryMessageTypeIsRoutedOrIgnored)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    /* The image cache's special pieces and CompImage signature keep their
     * turn among the other image requests on a worker. */
    const int mainThread[] = {1, 2, 6, 7, 20, 89, 92, 93};
    for (int type = 1; type <= 115; type++) {
        if (type == 2 || type == 7 || type == 89)
            continue; /* they end the job; 89 closes this test */
        client.Send(type, Int32(1) + Int32(2) + Int32(3));
        if (type == 1) { /* the open answers before anything else runs */
            EXPECT_EQ(client.Reply().substr(0, 1), "\x1b");
        }
        /* The cache's questions are answered whatever they asked. */
        if (type == 20) {
            EXPECT_EQ(client.Reply(), '\x14' + Int32(0));
        }
        if (type == 92) { /* the name "\x01" is no cache file name */
            EXPECT_EQ(client.Reply(), std::string("\x27"
                                                  "0\0",
                                                  3));
        }
        if (type == 93) {
            EXPECT_EQ(client.Reply(), std::string("\x27"
                                                  "CACHE DONE\0",
                                                  12));
        }
        if (type == 101 || type == 115) { /* nothing to return: the lone end marker */
            const std::string done("\x27"
                                   "DONE\0",
                                   6);
            EXPECT_EQ(client.Reply(), done) << type;
            EXPECT_EQ(client.Reply(), done) << type;
        }
        if (type == 113) { /* a path of "\x01": no such file */
            EXPECT_EQ(client.Reply(), ChecksumReply(""));
        }
    }
    EXPECT_EQ(client.Checksum("c:\\novarc\\abc.txt"), ChecksumReply(kAbcSha256));
    const std::string log = client.Log();
    for (int type = 2; type <= 115; type++) { /* 1 is checked below */
        bool worker = HasHandler(type) && std::find(std::begin(mainThread), std::end(mainThread),
                                                    type) == std::end(mainThread);
        /* 113 runs twice: the probe above and the final checksum. */
        size_t expected = worker ? (type == 113 ? 2 : 1) : 0;
        EXPECT_EQ(Count(log, " type<" + std::to_string(type) + ">"), expected) << type;
    }
    for (const char *text : {"HandleWebnovNovarcprintMsg OPEN_PRINTER", "Print Document Error",
                             "Is Image File Here", "Special Message Type", "QUERY_FILE_SIZE",
                             "STORE_CACHE_FILE", "COMP_IMAGE_SIGNATURE", "Print Novarc Document"})
        EXPECT_NE(log.find(text), std::string::npos) << text;
    EXPECT_TRUE(client.WaitForLog("ThreadOpenPrinter type<1>")); /* from the open timer */

    client.Send(89, Int32(1) + Int32(0)); /* close with status */
    EXPECT_EQ(client.WaitExit(20000), 0);
    EXPECT_TRUE(client.WaitForLog("ThreadClosePrinter type<89>"));
}

TEST_F(PrintClientTest, ShortIgnoredAndMalformedRequestsLeaveTheClientServing)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.SendRaw(std::string("\x1d\x00\x00", 3)); /* shorter than a type */
    client.Send(27, Int32(1));                      /* a reply type from the server */
    client.Send(200, Int32(1));                     /* unknown */
    client.Send(28, "\x01\x02");                    /* truncated int32 */
    client.Send(111, Int32(1));                     /* two colour values missing */
    client.Send(102, Int32(4) + "c:\\novarc\\x");   /* transfer header cut in the path */
    client.Send(102, Int32(5) + Str("c:\\novarc\\huge.bin") + Int32(0x7fffffff) + Int32(0) +
                         Int32(5) + Int32(1) + "x");
    client.Send(105, std::string(5000, 'a')); /* path with no end */
    client.Send(113, std::string(4000, 'b'));
    EXPECT_EQ(client.Reply(), ChecksumReply(""));
    EXPECT_EQ(client.Checksum("c:\\novarc\\abc.txt"), ChecksumReply(kAbcSha256));

    const std::string log = client.Log();
    EXPECT_EQ(log.find("type<29>"), std::string::npos);
    EXPECT_EQ(log.find("type<27>"), std::string::npos);
    EXPECT_EQ(log.find("type<200>"), std::string::npos);
    EXPECT_NE(log.find("PRINTER_FORM_LENGTH payload too short"), std::string::npos);
    EXPECT_NE(log.find("PRINT_FONT_COLOR payload too short"), std::string::npos);
    EXPECT_NE(log.find("SEND_NAMED_FILE malformed transfer header"), std::string::npos);
    EXPECT_NE(log.find("over limit<67108864> dropped"), std::string::npos);
    EXPECT_NE(log.find("RECEIVE_DELETE_FILE malformed path"), std::string::npos);
    EXPECT_NE(log.find("SEND_NAMED_FILE_CHECKSUM malformed path"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/huge.bin")));
    EXPECT_EQ(client.WaitExit(0), -1);
}

TEST_F(PrintClientTest, NamedFileTransferRestartsOnceAndDeleteRemovesIt)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    auto header = [](int id, int total) {
        return Int32(id) + Str("c:\\novarc\\recv\\r.txt") + Int32(total) + Int32(2);
    };
    client.Send(102, header(1, 8) + Int32(1) + Int32(1) + "stal");
    client.Send(102, header(2, 8) + Int32(2) + Int32(1) + "fres"); /* the server starts over */
    client.Send(102, Int32(2) + Int32(2) + "h!!!");
    client.Checksum("c:\\novarc\\abc.txt");
    EXPECT_EQ(ReadText(root_.driveC("novarc/recv/r.txt")), "fresh!!!");
    EXPECT_NE(client.Log().find("SEND_NAMED_FILE piece out of order, restarting"),
              std::string::npos);

    client.Send(105, Str("c:\\novarc\\recv\\r.txt"));
    client.Checksum("c:\\novarc\\abc.txt");
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/recv/r.txt")));
}

TEST_F(PrintClientTest, LostConnectionEndsTheClientAfterTheDeathTimer)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Checksum("c:\\novarc\\abc.txt");
    /* Reading a message re-arms FD_READ while its body is still unread; a
     * close that meets that stale event reads end of stream and ends the
     * client at once, as any failed receive does.  Let it pass first. */
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    client.CloseConnection();
    EXPECT_TRUE(client.WaitForLog("FD_CLOSE SET DEATH TIMER 300000")) << client.Log();
    /* 300000 ms at the test clock is 3 s: alive well before, gone after. */
    EXPECT_EQ(client.WaitExit(1000), -1);
    EXPECT_EQ(client.WaitExit(30000), 0);
    EXPECT_NE(client.Log().find("WndProc WM_DESTROY"), std::string::npos);
}

TEST_F(PrintClientTest, AbortEndsTheClientAtOnce)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(7);
    EXPECT_EQ(client.WaitExit(20000), 0);
    EXPECT_NE(client.Log().find("ABORT_PRINT_JOB"), std::string::npos);
}

TEST_F(PrintClientTest, DebugLogOnlyWithTheMarkerAndOneFilePerProcess)
{
    {
        ScratchRoot quiet;
        WriteText(quiet.driveC("novarc/abc.txt"), "abc");
        std::filesystem::create_directories(quiet.driveC("novarc/bin"));
        ClientProcess client(quiet, false);
        ASSERT_TRUE(client.Start());
        EXPECT_EQ(client.Checksum("c:\\novarc\\abc.txt"), ChecksumReply(kAbcSha256));
        EXPECT_TRUE(client.LogFiles().empty());
    }
    winport_test_set_root(root_.path().c_str());
    ClientProcess first(root_), second(root_);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    first.Checksum("c:\\novarc\\abc.txt");
    second.Checksum("c:\\novarc\\abc.txt");
    const std::vector<std::string> files = first.LogFiles();
    ASSERT_EQ(files.size(), 2u);
    for (const std::string &file : files) {
        const std::string name = std::filesystem::path(file).filename().string();
        bool own = name.rfind("novarcprint" + std::to_string(first.pid()), 0) == 0 ||
                   name.rfind("novarcprint" + std::to_string(second.pid()), 0) == 0;
        EXPECT_TRUE(own) << name;
        std::istringstream lines(ReadText(file));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.find("type<") != std::string::npos) {
                EXPECT_NE(line.find(" Thread:"), std::string::npos) << line;
            }
        }
    }
}

} // namespace
