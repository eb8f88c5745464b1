/*
 * The "CompImage" printer: a job printed on a TIFF file port is returned by
 * the close timer, enciphered, once the close has ended the document; the
 * client then ends, which frees the printer's machine-wide lock.
 */
#include <thread>

#include "documents_fixture.h"
#include "kellib/protect.h"

namespace {

class CompImageTest : public DocumentsTest {
protected:
    void SetUp() override
    {
        DocumentsTest::SetUp();
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                  "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\CompImage",
                                  0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        const std::string port = "FILE:c:\\novarc\\CompImage\\CompImage.tif";
        RegSetValueExA(h, "Port", 0, REG_SZ, (const BYTE *)port.c_str(), (DWORD)port.size() + 1);
        const DWORD one = 1, dpi = 100;
        RegSetValueExA(h, "ImagePrinter", 0, REG_DWORD, (const BYTE *)&one, sizeof one);
        RegSetValueExA(h, "Resolution", 0, REG_DWORD, (const BYTE *)&dpi, sizeof dpi);
        RegCloseKey(h);
        std::filesystem::create_directories(root_.driveC("novarc/CompImage"));
    }
    static bool LockIsFree()
    {
        DWORD dwWait = WAIT_FAILED;
        std::thread other([&] {
            HANDLE h = CreateMutexA(NULL, FALSE, "CompImage_MUTEX");
            dwWait = WaitForSingleObject(h, 0);
            if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
                ReleaseMutex(h);
            CloseHandle(h);
        });
        other.join();
        return dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
    }
};

TEST_F(CompImageTest, TheCloseTimerReturnsTheOutputEndsTheClientAndFreesTheLock)
{
    ASSERT_EQ(Open("CompImage"), 1);
    EXPECT_FALSE(LockIsFree());
    PrintPage("Workers compensation form");

    /* Before the close has ended the document the timer leaves it alone. */
    session_->m_iWorkerCount++;
    HandlePrinterCloseTimerProc(session_.get());
    session_->m_iWorkerCount--;
    EXPECT_TRUE(Returned().empty());

    MsgBuf none = MsgBuf();
    HandleClosePrinterWork(session_.get(), &none, CLOSE_PRINTER);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, mainWnd_, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        << "a CompImage job ends with its return, not its close";
    HandlePrinterCloseTimerProc(session_.get());

    std::vector<ReturnedFile> files = Returned();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name.substr(0, 3), "Img");
    EXPECT_EQ(files[0].name.substr(files[0].name.size() - 8), ".tif.x2m");
    ASSERT_GT(files[0].data.size(), (size_t)KEL_FILE_IV_SIZE);
    std::string tiff = files[0].data.substr(KEL_FILE_IV_SIZE);
    KelFileKeyCrypt((const unsigned char *)files[0].data.data(), 0, tiff.data(), tiff.size());
    EXPECT_EQ(tiff.substr(0, 4), std::string("II*\0", 4)) << "a TIFF, enciphered on the wire";
    EXPECT_TRUE(std::filesystem::is_empty(root_.driveC("novarc/CompImage")));

    EXPECT_TRUE(PeekMessageA(&msg, mainWnd_, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    session_->HandleWMDestroy();
    EXPECT_TRUE(LockIsFree());
}

} // namespace
