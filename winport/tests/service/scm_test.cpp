/*
 * The service control manager: the service record, handles and their
 * rights, and the errors of installing, opening and deleting services.
 */
#include "service_test_util.h"

TEST_F(ServiceTest, OpenSCManagerAcceptsOnlyTheLocalActiveDatabase)
{
    ASSERT_NE(scm_, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenSCManagerA("\\\\elsewhere-host", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenSCManagerA(nullptr, "NoSuchDatabase", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    SC_HANDLE active = OpenSCManagerA("", SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT);
    ASSERT_NE(active, nullptr);
    EXPECT_TRUE(CloseServiceHandle(active));
}

TEST_F(ServiceTest, CreateServiceWritesTheRecordWhereWindowsKeepsIt)
{
    SC_HANDLE service =
        CreateServiceA(scm_, "Rec Svc", "Record Service", SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_AUTO_START,
                       SERVICE_ERROR_NORMAL, "\"c:\\Program Files\\x.exe\" -s", nullptr, nullptr,
                       "Tcpip\0Afd\0", nullptr, nullptr);
    ASSERT_NE(service, nullptr) << GetLastError();
    EXPECT_EQ(RegString("Rec Svc", "ImagePath"), "\"c:\\Program Files\\x.exe\" -s");
    EXPECT_EQ(RegString("Rec Svc", "DisplayName"), "Record Service");
    EXPECT_EQ(RegString("Rec Svc", "ObjectName"), "LocalSystem");
    EXPECT_EQ(RegString("Rec Svc", "DependOnService"), std::string("Tcpip\0Afd", 9));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\rec svc", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    for (auto [name, expected] : {std::pair<const char *, DWORD>{"Type", 0x110},
                                  {"Start", SERVICE_AUTO_START},
                                  {"ErrorControl", SERVICE_ERROR_NORMAL}}) {
        DWORD value = 0, size = sizeof value, type = 0;
        ASSERT_EQ(
            RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
            ERROR_SUCCESS)
            << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(value, expected) << name;
    }
    RegCloseKey(key);
    EXPECT_TRUE(CloseServiceHandle(service));
}

TEST_F(ServiceTest, NamesAreUniqueWithoutRegardToCaseAndDisplayNamesToo)
{
    SC_HANDLE first = Install("Unique", SERVICE_DEMAND_START, "c:\\bin\\a.exe", "Shown Name");
    ASSERT_NE(first, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Install("UNIQUE"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Install("Other", SERVICE_DEMAND_START, "c:\\bin\\a.exe", "shown name"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DUPLICATE_SERVICE_NAME));
    SC_HANDLE opened = OpenServiceA(scm_, "uNiQuE", SERVICE_QUERY_STATUS);
    EXPECT_NE(opened, nullptr);
    CloseServiceHandle(opened);
    CloseServiceHandle(first);
}

TEST_F(ServiceTest, CreateServiceRefusesWhatWindowsRefuses)
{
    struct Case {
        const char *name;
        DWORD type, start;
        const char *image;
        DWORD error;
    } cases[] = {
        {"bad\\name", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "c:\\x.exe",
         ERROR_INVALID_NAME},
        {"", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "c:\\x.exe", ERROR_INVALID_NAME},
        {"Driver", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "c:\\x.sys",
         ERROR_INVALID_PARAMETER},
        {"Boot", SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START, "c:\\x.exe",
         ERROR_INVALID_PARAMETER},
        {"NoImage", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr,
         ERROR_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(CreateServiceA(scm_, c.name, nullptr, SERVICE_ALL_ACCESS, c.type, c.start,
                                 SERVICE_ERROR_NORMAL, c.image, nullptr, nullptr, nullptr, nullptr,
                                 nullptr),
                  nullptr)
            << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateServiceA(scm_, "Account", nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "c:\\x.exe", nullptr, nullptr, nullptr, ".\\someone", "pw"),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_ACCOUNT));
}

TEST_F(ServiceTest, HandlesCarryTheirRightsAndTheirKind)
{
    SC_HANDLE connectOnly = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateServiceA(connectOnly, "X", nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "c:\\x.exe", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(connectOnly);

    CloseServiceHandle(Install());
    SC_HANDLE queryOnly = OpenServiceA(scm_, kTestServiceName, SERVICE_QUERY_STATUS);
    ASSERT_NE(queryOnly, nullptr);
    SERVICE_STATUS status{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteService(queryOnly));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(queryOnly, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(queryOnly, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(QueryServiceStatus(queryOnly, &status));

    // The wrong kind of handle, and handles already closed.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(queryOnly, kTestServiceName, SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryServiceStatus(scm_, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseServiceHandle(reinterpret_cast<SC_HANDLE>(event)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_TRUE(CloseServiceHandle(queryOnly));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseServiceHandle(queryOnly));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ServiceTest, DeleteRemovesTheRecordOnce)
{
    SC_HANDLE service = Install();
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(DeleteService(service));
    EXPECT_EQ(RegString(kTestServiceName, "ImagePath"), "(no key)");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_TRUE(CloseServiceHandle(service));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(scm_, kTestServiceName, SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    service = Install(); // the name is free again
    EXPECT_NE(service, nullptr);
    CloseServiceHandle(service);
}

TEST_F(ServiceTest, AServiceThatNeverRanIsStopped)
{
    SC_HANDLE service = Install();
    SERVICE_STATUS status{};
    status.dwCurrentState = 0xdead;
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    status = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_SHUTDOWN, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseServiceHandle(service);
}

TEST_F(ServiceTest, StartFailsForDisabledMissingAndDispatcherlessPrograms)
{
    SC_HANDLE disabled = Install("Off", SERVICE_DISABLED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(disabled, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
    SC_HANDLE missing = Install("Missing", SERVICE_DEMAND_START, "c:\\bin\\nothere.exe");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(missing, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // A program that ends without reaching its dispatcher.
    std::filesystem::create_symlink("/bin/true", root_.driveC("bin/quits.exe"));
    SC_HANDLE quits = Install("Quits", SERVICE_DEMAND_START, "c:\\bin\\quits.exe");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(quits, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    for (SC_HANDLE h : {disabled, missing, quits})
        CloseServiceHandle(h);
}
