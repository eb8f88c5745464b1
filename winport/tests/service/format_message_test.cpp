/*
 * FormatMessageA: system texts, buffers, inserts and the errors.
 */
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string SystemText(DWORD code, DWORD flags = 0)
{
    char buf[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, code, 0, buf, sizeof buf,
                             nullptr);
    return n ? std::string(buf, n) : "(failed " + std::to_string(GetLastError()) + ")";
}

DWORD FromString(char *buf, DWORD size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, format, 0, 0, buf, size, &args);
    va_end(args);
    return n;
}

} // namespace

TEST(FormatMessage, SystemTextsAreWindowsOwnWithTheirLineBreak)
{
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED), "Access is denied.\r\n");
    EXPECT_EQ(SystemText(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT),
              "The service process could not connect to the service controller.\r\n");
    EXPECT_EQ(SystemText(WSAECONNREFUSED),
              "No connection could be made because the target machine actively refused it.\r\n");
    // Inserts stay as they are with FORMAT_MESSAGE_IGNORE_INSERTS.
    EXPECT_EQ(SystemText(ERROR_BAD_EXE_FORMAT, FORMAT_MESSAGE_IGNORE_INSERTS),
              "%1 is not a valid Win32 application.\r\n");
    // FORMAT_MESSAGE_MAX_WIDTH_MASK: the text's line breaks become spaces.
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, FORMAT_MESSAGE_MAX_WIDTH_MASK), "Access is denied. ");
}

TEST(FormatMessage, UnknownCodesAndLanguagesFail)
{
    char buf[64];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x2345678, 0, buf, sizeof buf, nullptr),
        0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED,
                             MAKELANGID(0x07, SUBLANG_DEFAULT), buf, sizeof buf, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buf, sizeof buf,
                             nullptr),
              19u);
}

TEST(FormatMessage, BufferRules)
{
    char small[19]; // "Access is denied.\r\n" is 19 characters, without room for the NUL
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, small,
                             sizeof small, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char exact[20];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, exact,
                             sizeof exact, nullptr),
              19u);
    EXPECT_STREQ(exact, "Access is denied.\r\n");

    LPSTR allocated = nullptr;
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<LPSTR>(&allocated),
                             0, nullptr),
              44u);
    ASSERT_NE(allocated, nullptr);
    EXPECT_STREQ(allocated, "The system cannot find the file specified.\r\n");
    EXPECT_EQ(LocalFree(allocated), nullptr);
}

TEST(FormatMessage, InsertsFromArraysAndArgumentLists)
{
    char buf[128];
    DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>("x.exe"), 42, 0xBEEF};
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             "%1 got %2!d! (%3!04X!), 100%% done%n%0 ignored", 0, 0, buf,
                             sizeof buf, reinterpret_cast<va_list *>(array)),
              0u);
    EXPECT_STREQ(buf, "x.exe got 42 (BEEF), 100% done\r\n");
    EXPECT_EQ(FromString(buf, sizeof buf, "%2!u!-%1", "a", 7), 3u);
    EXPECT_STREQ(buf, "7-a");
    // A format that would make printf read or write something else.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1!n!", 0,
                             0, buf, sizeof buf, reinterpret_cast<va_list *>(array)),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // An insert without arguments.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_BAD_EXE_FORMAT, 0, buf,
                             sizeof buf, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
