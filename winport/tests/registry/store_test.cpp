/*
 * The registry files: their text, several processes sharing them, writers
 * killed mid-write, and damaged files.  Other processes are the reg_helper
 * program, run with this test's root.
 */
#include "reg_test_util.h"

#include "registry/hive_format.h"

#include <signal.h>

#include <chrono>
#include <thread>

namespace {

using RegStore = RegistryTest;
using winport::reg::ParseHive;
using winport::reg::ParseReport;

/* Starts reg_helper without waiting; its stdout is a pipe. */
pid_t SpawnHelper(const std::vector<std::string> &env, const std::vector<std::string> &args,
                  int &stdoutFd)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char *> argv{const_cast<char *>(REG_HELPER)}, envp;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    for (const std::string &entry : env)
        envp.push_back(const_cast<char *>(entry.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, REG_HELPER, &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    stdoutFd = fds[0];
    return pid;
}

/* ",00" repeated: a hex list one byte longer than `bytes` with its "00". */
std::string HexList(size_t bytes)
{
    std::string list;
    for (size_t i = 0; i < bytes; ++i)
        list += ",00";
    return list;
}

int WaitExit(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(RegStore, FileIsReadableText)
{
    HKEY printer = Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\"
                                              "Printers\\Label [2]");
    ASSERT_EQ(SetString(printer, "Port", "C:\\out\\"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(printer, "Copies", 10), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(printer, "Bins", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE *>("Upper\0Lower\0"), 13),
              ERROR_SUCCESS);
    RegCloseKey(printer);
    const std::string text = ReadFile(RegistryFolder() + "/HKLM.reg");
    EXPECT_EQ(text.rfind("WINPORT REGISTRY 1\n", 0), 0u);
    EXPECT_NE(text.find("\n[SYSTEM\\ControlSet001\\Control\\Print\\Printers\\Label %5b2%5d] "),
              std::string::npos);
    EXPECT_NE(text.find("\n\"Port\"=\"C:\\\\out\\\\\"\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Copies\"=dword:0000000a\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Bins\"=multi:\"Upper\",\"Lower\"\n"), std::string::npos);
}

TEST_F(RegStore, TextFormatKeepsEveryByte)
{
    winport::reg::Tree tree(1);
    winport::reg::Key &key = tree.AddChild(tree.root(), "we\x01ird]%[\xff name", 5);
    key.SetValue("", REG_SZ, std::string("x\0", 2));
    key.SetValue("\"q\"\\ \xe9\n", REG_MULTI_SZ, std::string("a\0\0b\0\0", 6)); // not clean
    key.SetValue("hexes", 0xffffffffu, std::string("\0\1", 2));
    key.SetValue("qw", REG_QWORD, std::string("12345678", 8));
    tree.AddChild(key, "child", 7);
    const std::string text = SerializeHive(tree, "test");
    ParseReport report;
    winport::reg::Tree back = ParseHive(text, winport::reg::HiveKind::User, 99, report);
    EXPECT_EQ(report.damagedLines, 0u);
    EXPECT_EQ(SerializeHive(back, "test"), text);
    const winport::reg::Key *read = back.root().Child("WE\x01IRD]%[\x9f NAME");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->id(), key.id()) << "ids survive, so handles survive a re-read";
    EXPECT_EQ(read->lastWrite(), 5u);
    EXPECT_EQ(read->FindValue("\"Q\"\\ \xc9\n")->data, std::string("a\0\0b\0\0", 6));
}

TEST_F(RegStore, AnotherProcessReadsWhatThisOneWrote)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared");
    ASSERT_EQ(SetDword(key, "Printer", 7), ERROR_SUCCESS);
    Run run = RunProgram(REG_HELPER, {"get", "Shared", "printer"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "7\n");
    RegCloseKey(key);
}

TEST_F(RegStore, ThisProcessSeesAnotherProcesssChange)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared");
    ASSERT_EQ(SetDword(key, "Printer", 1), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Printer"), std::string("\1\0\0\0", 4)); // now cached
    ASSERT_EQ(RunProgram(REG_HELPER, {"set", "Shared", "Printer", "2"}).exitCode, 0);
    EXPECT_EQ(Query(key, "Printer"), std::string("\2\0\0\0", 4));
    ASSERT_EQ(RunProgram(REG_HELPER, {"set", "Shared", "Other", "3"}).exitCode, 0);
    ASSERT_EQ(SetDword(key, "Mine", 4), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Other"), std::string("\3\0\0\0", 4)) << "a write must not undo it";
    RegCloseKey(key);
}

TEST_F(RegStore, KeyDeletedByAnotherProcessIsDeletedHere)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed");
    ASSERT_EQ(RunProgram(REG_HELPER, {"delete", "Doomed"}).exitCode, 0);
    EXPECT_EQ(SetDword(key, "v", 1), ERROR_KEY_DELETED);
    RegCloseKey(key);
}

TEST_F(RegStore, ConcurrentWritersInTwoProcessesLoseNothing)
{
    const int kEach = 150;
    int outA = -1, outB = -1;
    pid_t a = SpawnHelper(ChildEnvironment(), {"fill", "Race", "A", std::to_string(kEach)}, outA);
    pid_t b = SpawnHelper(ChildEnvironment(), {"fill", "Race", "B", std::to_string(kEach)}, outB);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(WaitExit(a), 0);
    EXPECT_EQ(WaitExit(b), 0);
    close(outA);
    close(outB);
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Race");
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u * kEach);
    for (int i = 0; i < kEach; i += 37) {
        DWORD want = static_cast<DWORD>(i);
        EXPECT_EQ(Query(key, ("A" + std::to_string(i)).c_str()),
                  std::string(reinterpret_cast<char *>(&want), 4));
        EXPECT_EQ(Query(key, ("B" + std::to_string(i)).c_str()),
                  std::string(reinterpret_cast<char *>(&want), 4));
    }
    RegCloseKey(key);
}

TEST_F(RegStore, ConcurrentWritersInOneProcessLoseNothing)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            HKEY key = Create(HKEY_CURRENT_USER, ("Threads\\T" + std::to_string(t)).c_str());
            for (int i = 0; i < 40; ++i)
                EXPECT_EQ(SetDword(key, ("v" + std::to_string(i)).c_str(), i), ERROR_SUCCESS);
            RegCloseKey(key);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    winport::reg::ResetRegistryForTests(); // count what the file holds
    HKEY key = Create(HKEY_CURRENT_USER, "Threads\\T3");
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 40u);
    RegCloseKey(key);
}

/* A writer killed at random moments leaves a file that reads cleanly and
 * holds one of the states the writer committed: the blob of round n is
 * written after the counter of round n. */
TEST_F(RegStore, WriterKilledMidWriteLeavesAConsistentFile)
{
    for (int round = 0; round < 3; ++round) {
        int out = -1;
        pid_t pid = SpawnHelper(ChildEnvironment(), {"churn", "Crash"}, out);
        ASSERT_GT(pid, 0);
        char ready[8] = {};
        ASSERT_EQ(read(out, ready, 6), 6) << "the writer never got going";
        std::this_thread::sleep_for(std::chrono::milliseconds(15 + 40 * round));
        kill(pid, SIGKILL);
        EXPECT_EQ(WaitExit(pid), 128 + SIGKILL);
        close(out);

        ParseReport report;
        ParseHive(ReadFile(RegistryFolder() + "/HKLM.reg"), winport::reg::HiveKind::Machine, 0,
                  report);
        EXPECT_EQ(report.damagedLines, 0u);
        winport::reg::ResetRegistryForTests();
        testing::internal::CaptureStderr();
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash");
        DWORD counter = 0, size = sizeof counter;
        ASSERT_EQ(RegQueryValueExA(key, "Counter", nullptr, nullptr,
                                   reinterpret_cast<BYTE *>(&counter), &size),
                  ERROR_SUCCESS);
        std::string blob(128 * 1024, '\0');
        size = static_cast<DWORD>(blob.size());
        ASSERT_EQ(RegQueryValueExA(key, "Blob", nullptr, nullptr,
                                   reinterpret_cast<BYTE *>(blob.data()), &size),
                  ERROR_SUCCESS);
        blob.resize(size);
        RegCloseKey(key);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_GE(blob.size(), 8u);
        uint64_t blobRound = 0;
        memcpy(&blobRound, blob.data(), 8);
        EXPECT_TRUE(blobRound == counter || blobRound + 1 == counter)
            << "counter " << counter << ", blob of round " << blobRound;
        for (size_t k = 8; k < blob.size(); k += 4099)
            ASSERT_EQ(static_cast<unsigned char>(blob[k]), (blobRound * 7 + k) & 0xff);
    }
}

TEST_F(RegStore, LeftoverTemporaryFileIsIgnoredAndReplaced)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software");
    ASSERT_EQ(SetDword(key, "before", 1), ERROR_SUCCESS);
    // What a writer killed before its rename leaves behind.
    WriteFile(RegistryFolder() + "/HKCU.reg.tmp", "WINPORT REGISTRY 1\n[Software] 9 9\n\"x\"=dwo");
    RegCloseKey(key);
    winport::reg::ResetRegistryForTests();
    key = Create(HKEY_CURRENT_USER, "Software");
    EXPECT_EQ(Query(key, "before"), std::string("\1\0\0\0", 4));
    EXPECT_EQ(Query(key, "x"), "<error 2>");
    ASSERT_EQ(SetDword(key, "after", 2), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_NE(access((RegistryFolder() + "/HKCU.reg").c_str(), F_OK), -1);
    EXPECT_EQ(access((RegistryFolder() + "/HKCU.reg.tmp").c_str(), F_OK), -1)
        << "the next write renames its own temporary file away";
}

TEST_F(RegStore, DamagedFileKeepsWhatIsIntactAndIsSavedBeforeReplacing)
{
    const std::string damaged = "WINPORT REGISTRY 1\n"
                                "#generation 3\n"
                                "[Software] 2 1\n"
                                "\"Good\"=dword:00000001\n"
                                "\"Bad\"=dword:zz\n"
                                "garbage \x01\x02 line\n"
                                "[Software\\Lost] oops\n"
                                "\"InLost\"=\"x\"\n"
                                "[Software\\Kept] 4 1\n"
                                "\"AlsoGood\"=\"yes\"\n"
                                "\"Huge\"=hex:00" +
                                HexList(1024 * 1024) + "\n";
    WriteFile(RegistryFolder() + "/HKCU.reg", damaged);
    testing::internal::CaptureStderr();
    HKEY soft = nullptr, kept = nullptr, lost = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &soft),
              ERROR_SUCCESS);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("HKCU.reg is damaged: 5 line(s) skipped"), std::string::npos) << log;
    EXPECT_EQ(Query(soft, "Good"), std::string("\1\0\0\0", 4));
    EXPECT_EQ(Query(soft, "Bad"), "<error 2>");
    ASSERT_EQ(RegOpenKeyExA(soft, "Kept", 0, KEY_READ, &kept), ERROR_SUCCESS);
    EXPECT_EQ(Query(kept, "AlsoGood"), std::string("yes\0", 4));
    EXPECT_EQ(Query(kept, "Huge"), "<error 2>") << "over-long data is refused, not allocated";
    EXPECT_EQ(RegOpenKeyExA(soft, "Lost", 0, KEY_READ, &lost), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(SetDword(soft, "Repaired", 1), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(RegistryFolder() + "/HKCU.reg.damaged"), damaged);
    ParseReport report;
    ParseHive(ReadFile(RegistryFolder() + "/HKCU.reg"), winport::reg::HiveKind::User, 0, report);
    EXPECT_EQ(report.damagedLines, 0u);
    RegCloseKey(kept);
    RegCloseKey(soft);
}

TEST_F(RegStore, GarbageOrTruncatedFilesNeverCrashTheReader)
{
    std::string noise;
    for (int i = 0; i < 20000; ++i)
        noise += static_cast<char>((i * 7919 + (i >> 3)) & 0xff);
    const std::string truncated = "WINPORT REGISTRY 1\n[Software] 2 1\n\"Whole\"=dword:00000001\n"
                                  "\"Cut\"=dword:000000";
    for (const std::string &text : {noise, truncated, std::string("[[[[\n]]]]\n@\n\"\n")}) {
        WriteFile(RegistryFolder() + "/HKCU.reg", text);
        winport::reg::ResetRegistryForTests();
        testing::internal::CaptureStderr();
        HKEY key = Create(HKEY_CURRENT_USER, "Software");
        EXPECT_EQ(SetDword(key, "Works", 1), ERROR_SUCCESS);
        if (text == truncated) {
            EXPECT_EQ(Query(key, "Whole"), std::string("\1\0\0\0", 4));
            EXPECT_EQ(Query(key, "Cut"), "<error 2>") << "a cut line is not half-read";
        }
        RegCloseKey(key);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("damaged"), std::string::npos);
    }
}

} // namespace
