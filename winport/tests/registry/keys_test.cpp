/*
 * Conformance tests: opening, creating, closing and deleting keys; paths,
 * names, predefined keys, access rights and handles to deleted keys.
 */
#include "reg_test_util.h"

namespace {

using RegKeys = RegistryTest;

const HKEY kBogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x0badf00c));

TEST_F(RegKeys, CreateReportsNewKeyThenExistingKey)
{
    HKEY key = nullptr;
    DWORD disposition = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Novarc", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "registry functions leave the last error alone";
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\NOVARC", 0, nullptr, 0, KEY_READ,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
}

TEST_F(RegKeys, CreateMakesEveryMissingKeyOnThePath)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SYSTEM\\A\\B\\C");
    RegCloseKey(key);
    for (const char *path : {"SYSTEM\\A", "SYSTEM\\A\\B", "SYSTEM\\A\\B\\C"}) {
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS)
            << path;
        RegCloseKey(key);
    }
}

TEST_F(RegKeys, OpeningAMissingKeyFailsAndClearsTheResult)
{
    HKEY key = kBogus;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND)
        << "a failed open must not create the key";
}

TEST_F(RegKeys, InvalidHandlesFailAndLeaveTheResultAlone)
{
    HKEY key = kBogus;
    EXPECT_EQ(RegOpenKeyExA(nullptr, "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(nullptr, "", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(kBogus, "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key, kBogus);
    EXPECT_EQ(RegCreateKeyExA(kBogus, "x", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(kBogus, "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(kBogus), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(kBogus, "v", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Query(kBogus, "v"), "<error 6>");
}

TEST_F(RegKeys, MissingResultPointerIsRejected)
{
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_READ, nullptr,
                              nullptr, nullptr),
              ERROR_BADKEY);
}

TEST_F(RegKeys, ClosedHandleIsInvalid)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(key, "v", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS) << "predefined keys close quietly";
}

TEST_F(RegKeys, EmptySubkeyOfAPredefinedKeyIsThatKey)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CLASSES_ROOT);
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, nullptr, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
}

TEST_F(RegKeys, EmptySubkeyOfAnOpenKeyIsANewHandle)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software");
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_NE(again, key);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegKeys, PredefinedKeysUseOnlyTheirLow32Bits)
{
    HKEY key = nullptr;
    auto wide =
        reinterpret_cast<HKEY>(reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE) & 0xffffffffu);
    ASSERT_EQ(RegOpenKeyExA(wide, "SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegKeys, LeadingBackslashIsABadPath)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "\\x", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
        ERROR_BAD_PATHNAME);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\", 0, KEY_READ, &key), ERROR_SUCCESS)
        << "HKEY_CLASSES_ROOT accepts one leading backslash";
    RegCloseKey(key);
}

TEST_F(RegKeys, TrailingAndDoubledBackslashesAreIgnored)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\\\Novarc\\\\"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Novarc", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegKeys, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, "Drucker B\xfcro")); // ü in 1252
    DWORD disposition = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "DRUCKER B\xdcRO", 0, nullptr, 0, KEY_READ,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    char name[64];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Drucker B\xfcro");
}

TEST_F(RegKeys, KeyNamesAreLimitedTo255Characters)
{
    const std::string longest(255, 'k'), tooLong(256, 'k');
    RegCloseKey(Create(HKEY_CURRENT_USER, longest.c_str()));
    HKEY key = kBogus;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                              &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, tooLong.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeys, KeyWithSubkeysCannotBeDeleted)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Parent\\Child"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegKeys, DeleteWithEmptyNameDeletesTheHandlesOwnKey)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\DeleteMe");
    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\DeleteMe", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeys, HandleToADeletedKeyReportsKeyDeleted)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Gone");
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Gone"), ERROR_SUCCESS);
    // A new key of the same name is another key: the old handle stays dead.
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Gone"));
    HKEY sub = nullptr;
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(SetDword(key, "v", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(Query(key, "v"), "<error 1018>");
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExA(key, "sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegKeys, MachineHiveHasFixedTopLevelKeys)
{
    HKEY key = nullptr;
    for (const char *top : {"SOFTWARE", "SYSTEM", "HARDWARE", "SOFTWARE\\Classes"}) {
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, top, 0, KEY_READ, &key), ERROR_SUCCESS) << top;
        RegCloseKey(key);
    }
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Novarc", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_ACCESS_DENIED)
        << "no new key beside SOFTWARE and SYSTEM";
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "HARDWARE"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegKeys, CurrentControlSetIsControlSet001)
{
    HKEY printer =
        Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Label");
    ASSERT_EQ(SetDword(printer, "Attributes", 0x40), ERROR_SUCCESS);
    RegCloseKey(printer);
    HKEY same = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\Label", 0, KEY_READ,
                            &same),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(same, "Attributes"), std::string("\x40\0\0\0", 4));
    RegCloseKey(same);
}

TEST_F(RegKeys, ClassesRootIsMachineSoftwareClasses)
{
    HKEY cls = Create(HKEY_CLASSES_ROOT, ".pdf");
    ASSERT_EQ(SetString(cls, "", "AcroExch.Document"), ERROR_SUCCESS);
    RegCloseKey(cls);
    HKEY same = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.PDF", 0, KEY_READ, &same),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(same, nullptr), std::string("AcroExch.Document\0", 18));
    RegCloseKey(same);
}

TEST_F(RegKeys, HandleRightsGateValueAccess)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Rights"));
    HKEY reader = nullptr, writer = nullptr, lister = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights", 0, KEY_READ | KEY_WOW64_64KEY,
                            &reader),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights", 0, KEY_SET_VALUE, &writer),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_QUERY_VALUE, &lister),
              ERROR_SUCCESS);
    EXPECT_EQ(SetDword(reader, "v", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(writer, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(Query(writer, "v"), "<error 5>");
    EXPECT_EQ(Query(reader, "v"), std::string("\1\0\0\0", 4));
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(lister, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    // Creating below a key ignores the rights of the handle it starts from.
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(reader, "Child", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    for (HKEY key : {reader, writer, lister, child})
        RegCloseKey(key);
}

TEST_F(RegKeys, GenericRightsMapToKeyRights)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, GENERIC_WRITE, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "v", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "v"), "<error 5>") << "a handle opened with no rights reads nothing";
    RegCloseKey(key);
}

TEST_F(RegKeys, HkeyUsersIsNotProvided)
{
    // Known gap: only HKLM, HKCU and HKCR exist here.
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, ".DEFAULT", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegKeys, SwitchingTheRootSwitchesThePredefinedKeys)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\FirstRoot");
    ScratchRoot other; // now the current root
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\FirstRoot", 0, KEY_READ, &probe),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(key, "v", 1), ERROR_SUCCESS) << "an open handle stays with its hive";
    RegCloseKey(key);
    winport_test_set_root(root_.path().c_str());
}

} // namespace
