/*
 * GetOpenFileNameA without a display: the file offered first is taken as
 * if the user pressed Open at once; the structure's bounds and errors.
 */
#include <commdlg.h>
#include <windows.h>

#include "scratch_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

class OpenFileHeadless : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("WINPORT_HEADLESS", "1", 1);
        std::filesystem::create_directories(root_.driveC("Logs"));
        std::ofstream(root_.driveC("Logs/today.log")) << "x";
        std::memset(&ofn_, 0, sizeof ofn_);
        ofn_.lStructSize = sizeof ofn_;
        ofn_.lpstrFilter = "Logs\0*.log\0\0";
        ofn_.lpstrFile = file_;
        ofn_.nMaxFile = sizeof file_;
        ofn_.lpstrInitialDir = "c:\\logs";
        ofn_.Flags = OFN_FILEMUSTEXIST;
    }
    ScratchRoot root_;
    OPENFILENAMEA ofn_;
    char file_[MAX_PATH] = "";
};

TEST_F(OpenFileHeadless, TakesTheOfferedFileWithItsOffsets)
{
    std::strcpy(file_, "TODAY.LOG");
    char title[8];
    ofn_.lpstrFileTitle = title;
    ofn_.nMaxFileTitle = sizeof title;
    ASSERT_TRUE(GetOpenFileNameA(&ofn_));
    EXPECT_STREQ(file_, "C:\\Logs\\today.log") << "as the file is spelled on disk";
    EXPECT_EQ(ofn_.nFileOffset, 8);
    EXPECT_EQ(ofn_.nFileExtension, 14);
    EXPECT_STREQ(title, "today.l") << "the title is cut to its buffer";

    std::strcpy(file_, "C:\\Logs\\today.log"); // a full path ignores the folder
    ofn_.lpstrInitialDir = "C:\\elsewhere";
    EXPECT_TRUE(GetOpenFileNameA(&ofn_));
}

TEST_F(OpenFileHeadless, NothingOfferedOrGoneIsACancel)
{
    EXPECT_FALSE(GetOpenFileNameA(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    std::strcpy(file_, "gone.log");
    EXPECT_FALSE(GetOpenFileNameA(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
}

TEST_F(OpenFileHeadless, BadStructuresAndSmallBuffers)
{
    std::strcpy(file_, "today.log");
    ofn_.nMaxFile = 10; // "C:\Logs\today.log" needs 18
    EXPECT_FALSE(GetOpenFileNameA(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    WORD needed = 0;
    std::memcpy(&needed, file_, sizeof needed);
    EXPECT_EQ(needed, 18);

    ofn_.nMaxFile = sizeof file_;
    ofn_.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameA(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    ofn_.lStructSize = OPENFILENAME_SIZE_VERSION_400A; // the older size is fine
    ofn_.lpstrFile = nullptr;
    EXPECT_FALSE(GetOpenFileNameA(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
}

} // namespace
