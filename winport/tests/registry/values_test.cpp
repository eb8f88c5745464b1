/*
 * Conformance tests: setting, querying and deleting values; sizes,
 * ERROR_MORE_DATA, string termination, names and limits, the 16-bit era
 * RegSetValueA and RegQueryValueA.
 */
#include "reg_test_util.h"

namespace {

class RegValues : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        key_ = Create(HKEY_CURRENT_USER, "Software\\Values");
    }
    void TearDown() override
    {
        RegCloseKey(key_);
        RegistryTest::TearDown();
    }

    LSTATUS Set(const char *name, DWORD type, const std::string &data)
    {
        return RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE *>(data.data()),
                              static_cast<DWORD>(data.size()));
    }

    HKEY key_ = nullptr;
};

TEST_F(RegValues, EveryTypeRoundTripsThroughTheFile)
{
    const struct {
        const char *name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"Sz", REG_SZ, std::string("FILE:\0", 6)},
        {"Expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15)},
        {"Dword", REG_DWORD, std::string("\x0a\0\0\0", 4)},
        {"Qword", REG_QWORD, std::string("\1\2\3\4\5\6\7\x80", 8)},
        {"Binary", REG_BINARY, std::string("\0\xff\n\"\\", 5)},
        {"Multi", REG_MULTI_SZ, std::string("Upper\0Lower\0\0", 13)},
        {"EmptyMulti", REG_MULTI_SZ, std::string("\0", 1)},
        {"Empty", REG_BINARY, ""},
        {"Unterminated", REG_SZ, "abc"},
        {"InnerNul", REG_SZ, std::string("a\0b\0", 4)},
        {"OddDword", REG_DWORD, "\1\2"},
        {"Custom", 0x12345, "xyz"},
        {"Quote \"and\\ back\\slash\n", REG_SZ, std::string("\t\"\x7f\xe9\0", 5)},
    };
    for (const auto &c : cases)
        ASSERT_EQ(Set(c.name, c.type, c.data), ERROR_SUCCESS) << c.name;
    // Forget everything in memory: what follows is read back from the file.
    RegCloseKey(key_);
    winport::reg::ResetRegistryForTests();
    key_ = Create(HKEY_CURRENT_USER, "Software\\Values");
    for (const auto &c : cases) {
        DWORD type = 0;
        EXPECT_EQ(Query(key_, c.name, &type), c.data) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
}

TEST_F(RegValues, SizeQueryWithoutABufferGivesTheSize)
{
    ASSERT_EQ(SetString(key_, "Port", "LPT1:"), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key_, "Port", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(RegQueryValueExA(key_, "Port", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
        << "both NULL only asks whether the value exists";
}

TEST_F(RegValues, ShortBufferGivesMoreDataAndTheNeededSize)
{
    ASSERT_EQ(SetString(key_, "Port", "LPT1:"), ERROR_SUCCESS);
    BYTE buf[8];
    memset(buf, 0xbd, sizeof buf);
    DWORD type = 0, size = 5;
    EXPECT_EQ(RegQueryValueExA(key_, "Port", nullptr, &type, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(buf[0], 0xbd) << "the buffer is left alone";
    size = 6;
    EXPECT_EQ(RegQueryValueExA(key_, "Port", nullptr, &type, buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(buf), "LPT1:");
}

TEST_F(RegValues, MissingValueIsFileNotFound)
{
    BYTE buf[4];
    DWORD size = 0xdeadbeef;
    EXPECT_EQ(RegQueryValueExA(key_, "Nope", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 0u) << "a size query for a missing value reports 0";
    size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(key_, "Nope", nullptr, nullptr, buf, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, sizeof buf);
    EXPECT_EQ(RegDeleteValueA(key_, "Nope"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegValues, BadArgumentsAreRejected)
{
    DWORD reserved = 0, size = 4;
    BYTE buf[4];
    EXPECT_EQ(RegQueryValueExA(key_, "v", &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key_, "v", nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key_, "v", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExA(key_, "v", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(Query(key_, "v"), "");
}

TEST_F(RegValues, DefaultValueIsNamedByNullOrEmpty)
{
    ASSERT_EQ(SetString(key_, nullptr, "default"), ERROR_SUCCESS);
    EXPECT_EQ(Query(key_, ""), std::string("default\0", 8));
    ASSERT_EQ(RegDeleteValueA(key_, ""), ERROR_SUCCESS);
    EXPECT_EQ(Query(key_, nullptr), "<error 2>") << "a key has no default value until set";
}

TEST_F(RegValues, StringStoredWithoutNulIsTerminatedOnlyWhenThereIsRoom)
{
    ASSERT_EQ(Set("s", REG_SZ, "FullStrin"), ERROR_SUCCESS);
    BYTE buf[16];
    DWORD size = 9;
    memset(buf, 0xbd, sizeof buf);
    ASSERT_EQ(RegQueryValueExA(key_, "s", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(buf[9], 0xbd) << "no room: no terminator written";
    size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(key_, "s", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 9u) << "the added terminator is not counted";
    EXPECT_EQ(buf[9], 0);
    ASSERT_EQ(Set("bin", REG_BINARY, "ab"), ERROR_SUCCESS);
    size = sizeof buf;
    memset(buf, 0xbd, sizeof buf);
    ASSERT_EQ(RegQueryValueExA(key_, "bin", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(buf[2], 0xbd) << "binary data is never terminated";
}

TEST_F(RegValues, NamesIgnoreCaseAndKeepPositionAndSpelling)
{
    ASSERT_EQ(SetDword(key_, "Copies", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key_, "Duplex", 2), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key_, "COPIES", "now a string"), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(Query(key_, "copies", &type), std::string("now a string\0", 13));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    char name[32];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumValueA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Copies");
}

TEST_F(RegValues, ValueNamesAreLimitedTo16383Characters)
{
    const std::string longest(16383, 'v'), tooLong(16384, 'v');
    EXPECT_EQ(SetDword(key_, longest.c_str(), 1), ERROR_SUCCESS);
    EXPECT_EQ(Query(key_, longest.c_str()), std::string("\1\0\0\0", 4));
    EXPECT_EQ(SetDword(key_, tooLong.c_str(), 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Query(key_, tooLong.c_str()), "<error 2>");
}

TEST_F(RegValues, DataOverOneMegabyteIsRefused)
{
    // Deliberate limit: Windows accepts more, but it bounds what a damaged
    // file can make a reader allocate.
    std::string big(1024 * 1024 + 1, 'x');
    EXPECT_EQ(Set("big", REG_BINARY, big), ERROR_NOT_ENOUGH_MEMORY);
    big.pop_back();
    EXPECT_EQ(Set("big", REG_BINARY, big), ERROR_SUCCESS);
}

TEST_F(RegValues, SetValueACreatesTheSubkeyAndStoresTheWholeString)
{
    EXPECT_EQ(RegSetValueA(key_, "Sub", REG_SZ, "data", 2), ERROR_SUCCESS) << "cbData is ignored";
    EXPECT_EQ(RegSetValueA(key_, nullptr, REG_BINARY, "data", 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueA(key_, nullptr, REG_SZ, nullptr, 0), ERROR_INVALID_PARAMETER);
    char buf[16];
    LONG size = sizeof buf;
    EXPECT_EQ(RegQueryValueA(key_, "Sub", buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "data");
    EXPECT_EQ(size, 5);
    size = 2;
    EXPECT_EQ(RegQueryValueA(key_, "Sub", buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(RegQueryValueA(key_, "Sub", buf, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegValues, QueryValueAReadsAMissingDefaultAsEmpty)
{
    char buf[8] = "xxxxxxx";
    LONG size = sizeof buf;
    EXPECT_EQ(RegQueryValueA(key_, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(size, 1);
    EXPECT_EQ(RegQueryValueA(key_, "NoSuchKey", buf, &size), ERROR_FILE_NOT_FOUND);
}

} // namespace
