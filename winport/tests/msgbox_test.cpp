/*
 * Conformance tests: MessageBoxA (headless), GetActiveWindow, GetClassNameA.
 */
#include <gtest/gtest.h>

#include "posix_files.h"
#include "scratch_root.h"

#include <winport_test.h>

#include <algorithm>
#include <string>
#include <unistd.h>

namespace {

class MessageBox : public ::testing::Test {
protected:
    void SetUp() override { winport_test_reset_msgboxes(); }
    void TearDown() override { winport_test_reset_msgboxes(); }
    std::string LogText() const
    {
        return ReadText(root_.path() + "/winport/log/winport_user_test.log");
    }
    ScratchRoot root_;
};

struct DefaultCase {
    UINT type;
    int answer;
};

TEST_F(MessageBox, UnscriptedBoxesTakeTheirDefaultButton)
{
    const DefaultCase cases[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_ABORTRETRYIGNORE, IDABORT},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
        {MB_YESNOCANCEL, IDYES},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNO | MB_DEFBUTTON3, IDYES}, // no third button: the first
        {MB_RETRYCANCEL, IDRETRY},
        {MB_RETRYCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_CANCELTRYCONTINUE, IDCANCEL},
        {MB_CANCELTRYCONTINUE | MB_DEFBUTTON2, IDTRYAGAIN},
        {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE},
        {MB_OK | MB_DEFBUTTON2, IDOK},
        {MB_YESNO | MB_ICONWARNING | MB_SYSTEMMODAL, IDYES},
    };
    for (const DefaultCase &c : cases)
        EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", c.type), c.answer) << std::hex << c.type;
}

TEST_F(MessageBox, ScriptedAnswersComeFirstInOrder)
{
    winport_test_push_msgbox_answer(IDNO);
    winport_test_push_msgbox_answer(IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "c", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "b", "c", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "c", "c", MB_YESNO), IDYES); // queue used up
}

TEST_F(MessageBox, PushingZeroClearsTheScript)
{
    winport_test_push_msgbox_answer(IDNO);
    winport_test_push_msgbox_answer(0);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "c", MB_YESNO), IDYES);
}

TEST_F(MessageBox, TheLastBoxAndTheCountAreRecorded)
{
    EXPECT_EQ(winport_test_msgbox_count(), 0);
    EXPECT_STREQ(winport_test_last_msgbox(), "");
    MessageBoxA(nullptr, "first", "ERROR", MB_OK);
    MessageBoxA(nullptr, "UNABLE TO LINK WITH recv", "ERROR", MB_OK);
    EXPECT_EQ(winport_test_msgbox_count(), 2);
    EXPECT_STREQ(winport_test_last_msgbox(), "ERROR: UNABLE TO LINK WITH recv");
    winport_test_reset_msgboxes();
    EXPECT_EQ(winport_test_msgbox_count(), 0);
    EXPECT_STREQ(winport_test_last_msgbox(), "");
}

TEST_F(MessageBox, ANullCaptionIsError)
{
    MessageBoxA(nullptr, "text", nullptr, MB_OK);
    EXPECT_STREQ(winport_test_last_msgbox(), "Error: text");
}

TEST_F(MessageBox, BoxesAreAppendedToTheProcessErrorLog)
{
    MessageBoxA(nullptr, "ERROR!\n\nError 10061 in KELconnect()", "Error", MB_ICONWARNING);
    MessageBoxA(nullptr, "second", "Caption", MB_OK);
    const std::string log = LogText();
    const std::string pid = "[" + std::to_string(getpid()) + "] ";
    EXPECT_NE(log.find(pid + "Error: ERROR!\\n\\nError 10061 in KELconnect()\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(pid + "Caption: second\n"), std::string::npos) << log;
    // "yyyy-mm-dd hh:mm:ss [pid] ..." : one line per box
    ASSERT_GE(log.size(), 20u);
    EXPECT_EQ(log[4], '-');
    EXPECT_EQ(log[10], ' ');
    EXPECT_EQ(log[13], ':');
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST_F(MessageBox, AnInvalidBoxTypeFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", 7), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_MSGBOX_STYLE);
    EXPECT_EQ(winport_test_msgbox_count(), 0);
}

TEST(NoWindowsYet, ThereIsNoActiveWindowYet)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

TEST(NoWindowsYet, GetClassNameOfNoWindowFailsWithInvalidWindowHandle)
{
    char name[64] = "unchanged";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetClassNameA(nullptr, name, sizeof name), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetClassNameA(reinterpret_cast<HWND>(0x10010), name, sizeof name), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_STREQ(name, "unchanged");
}

} // namespace
