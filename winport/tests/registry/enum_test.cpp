/*
 * Conformance tests: enumerating subkeys and values, and RegQueryInfoKeyA,
 * as the spooler's printer enumeration uses them.
 */
#include "reg_test_util.h"

namespace {

using RegEnum = RegistryTest;

std::vector<std::string> SubkeyNames(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        LSTATUS err = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (err != ERROR_SUCCESS) {
            EXPECT_EQ(err, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, size);
    }
}

std::vector<std::string> ValueNames(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        LSTATUS err = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (err != ERROR_SUCCESS) {
            EXPECT_EQ(err, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, size);
    }
}

TEST_F(RegEnum, SubkeysComeInCaseInsensitiveOrder)
{
    HKEY printers = Create(HKEY_CURRENT_USER, "Printers");
    for (const char *name : {"b", "Zebra", "A", "B2", "\xc4rzte"}) // Ärzte sorts after Z
        RegCloseKey(Create(printers, name));
    EXPECT_EQ(SubkeyNames(printers),
              (std::vector<std::string>{"A", "b", "B2", "Zebra", "\xc4rzte"}));
    RegCloseKey(printers);
}

TEST_F(RegEnum, EnumeratingAnEmptyKeyEndsAtOnce)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Empty");
    char name[8];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(RegEnum, ShortNameBufferGivesMoreDataAndKeepsTheSize)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Parent");
    RegCloseKey(Create(key, "Label"));
    char name[8];
    memset(name, 'x', sizeof name);
    DWORD size = 5; // "Label" needs 6 with its NUL
    FILETIME written = {0, 0};
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, &written),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(name[0], 'x');
    EXPECT_NE(written.dwHighDateTime, 0u) << "the time comes back even then";
    size = 6;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(name, "Label");
    DWORD reserved = 0;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, &reserved, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegEnum, ValuesComeInTheOrderTheyWereFirstSet)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Order");
    for (const char *name : {"A", "C", "D", "B"})
        ASSERT_EQ(SetDword(key, name, 0), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "c", 1), ERROR_SUCCESS); // replaced in place
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"A", "C", "D", "B"}));
    ASSERT_EQ(RegDeleteValueA(key, "C"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"A", "D", "B"}));
    RegCloseKey(key);
}

TEST_F(RegEnum, ValueThatDoesNotFitCopiesNothing)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Overflow");
    ASSERT_EQ(SetString(key, "Test", "foobar"), ERROR_SUCCESS);
    char name[16] = "xxxxxxxxxx", data[16] = "xxxxxxxxxx";
    DWORD nameSize = 4, dataSize = sizeof data, type = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE *>(data),
                            &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 4u);
    EXPECT_EQ(dataSize, 7u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(name, "xxxxxxxxxx");
    nameSize = sizeof name;
    dataSize = 2;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE *>(data),
                            &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 7u);
    EXPECT_STREQ(data, "xxxxxxxxxx");
    nameSize = sizeof name;
    dataSize = sizeof data;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE *>(data),
                            &dataSize),
              ERROR_SUCCESS);
    EXPECT_EQ(nameSize, 4u);
    EXPECT_STREQ(name, "Test");
    EXPECT_STREQ(data, "foobar");
    EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegEnum, QueryInfoKeyGivesCountsAndLongestLengths)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Info");
    DWORD subkeys = 9, maxSubkey = 9, values = 9, maxName = 9, maxData = 9, maxClass = 9;
    FILETIME created = {0, 0};
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, &maxClass,
                               &values, &maxName, &maxData, nullptr, &created),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys + maxSubkey + values + maxName + maxData + maxClass, 0u);
    EXPECT_NE(created.dwHighDateTime, 0u);
    RegCloseKey(Create(key, "subsubkey"));
    RegCloseKey(Create(key, "x"));
    ASSERT_EQ(SetString(key, nullptr, "data"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "value one", "second value data"), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr,
                               &values, &maxName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(maxSubkey, 9u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxName, 9u);
    EXPECT_EQ(maxData, 18u);
    char cls[4] = "xx";
    DWORD clsSize = sizeof cls;
    EXPECT_EQ(RegQueryInfoKeyA(key, cls, &clsSize, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(clsSize, 0u);
    EXPECT_STREQ(cls, "");
    EXPECT_EQ(RegQueryInfoKeyA(key, cls, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryInfoKeyA(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    RegCloseKey(key);
}

TEST_F(RegEnum, PrinterListingAsTheSpoolerDoesIt)
{
    HKEY printers =
        Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers");
    const std::vector<std::string> wanted = {"Fax", "HP LaserJet 4050 Series PCL6", "Label Zebra",
                                             "receipt"};
    for (const std::string &name : wanted) {
        HKEY printer = Create(printers, name.c_str());
        ASSERT_EQ(SetString(printer, "Port", "FILE:"), ERROR_SUCCESS);
        RegCloseKey(printer);
    }
    DWORD count = 0, longest = 0;
    ASSERT_EQ(RegQueryInfoKeyA(printers, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(count, wanted.size());
    std::vector<char> name(longest + 1);
    std::vector<std::string> seen;
    for (DWORD i = 0; i < count; ++i) {
        DWORD size = longest + 1;
        ASSERT_EQ(
            RegEnumKeyExA(printers, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
        seen.emplace_back(name.data(), size);
    }
    EXPECT_EQ(seen, wanted);
    RegCloseKey(printers);
}

} // namespace
