/*
 * A print session with the imaging library installed (the seven DLL names
 * in the root's system folder, found beside libwinport.so), the server's
 * end of a loopback connection for the replies, and the sample images made
 * by outside tools (tests/image_samples.py).  Tests only.
 */
#ifndef NOVARCPRINT_TESTS_IMAGES_FIXTURE_H
#define NOVARCPRINT_TESTS_IMAGES_FIXTURE_H

#include <gdi_record.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "handoff.h"
#include "image_job.h"
#include "images.h"
#include "imaging_bind.h"
#include "printer.h"
#include "session_fixture.h"
#include <registry_printer.h>

/* The sample images, made once per build folder. */
inline std::string Sample(const std::string &name)
{
    static const bool made = [] {
        int status = 0;
        const std::string out = RunCommand("/usr/bin/python3 " SOURCE_DIR
                                           "/tests/image_samples.py " IMAGE_SAMPLES_DIR " 2>&1",
                                           &status);
        EXPECT_EQ(status, 0) << out;
        return status == 0;
    }();
    (void)made;
    return std::string(IMAGE_SAMPLES_DIR) + "/" + name;
}

inline std::string Deflated(const std::string &data)
{
    uLongf size = compressBound((uLong)data.size());
    std::string out(size, '\0');
    compress2((Bytef *)out.data(), &size, (const Bytef *)data.data(), (uLong)data.size(),
              Z_DEFAULT_COMPRESSION);
    out.resize(size);
    return out;
}

/* The plain bytes of an enciphered cache file, as its format says: the
 * counter block, then the data under the file key. */
inline std::string Deciphered(const std::string &file)
{
    if (file.size() < KEL_FILE_IV_SIZE)
        return std::string();
    std::string data = file.substr(KEL_FILE_IV_SIZE);
    KelFileKeyCrypt((const unsigned char *)file.data(), 0, data.data(), data.size());
    return data;
}

class ImagesTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        ASSERT_EQ(NovarcStartWinsock(), 1);
        ASSERT_EQ(NovarcLoopbackPair(&server_, &reply_), 1);
        session_->m_sockReply = reply_;
        const char *const dlls[] = {"ltkrnu.dll", "ltfilu.dll",    "lttwnu.dll",   "LTDISU.DLL",
                                    "ltannu.dll", "Ltimgefxu.dll", "ltimgcoru.dll"};
        for (const char *dll : dlls)
            WriteText(root_.driveC(std::string("Windows/system32/") + dll), "");
        ASSERT_EQ(KELLoadImagingLibrary(), 1);
    }
    void TearDown() override
    {
        SessionTest::TearDown();
        KELUnloadImagingLibrary();
        closesocket(server_);
        closesocket(reply_);
    }

    /* One request straight to its handler, as its worker runs it. */
    int Run(RequestHandler handler, int type, const std::string &payload = std::string())
    {
        MsgBuf msg = MsgBuf();
        if (!payload.empty())
            AppendBytes(&msg, payload.data(), (int)payload.size());
        const int result = handler(session_.get(), &msg, type);
        FreeMsgBuf(&msg);
        return result;
    }
    /* A whole transfer as the server sends it, piece by piece. */
    void Transfer(int pieceType, int endType, int mode, const std::string &head,
                  const std::string &data, int pieceSize = 2000)
    {
        std::vector<JobStep> steps;
        AppendTransfer(pieceType, endType, mode, head, data, pieceSize, &steps);
        for (const JobStep &step : steps)
            Run(HandleTransferPiece, step.type, step.payload);
    }
    void SendImage(const std::string &name, const std::string &bytes, int mode, int page = 1,
                   int pieceSize = 2000)
    {
        Transfer(PRINT_IMAGE, PRINT_END_IMAGE, mode, name + '\0' + Int32(page),
                 (mode & 0x10) ? bytes : Deflated(bytes), pieceSize);
    }
    std::string Cached(const std::string &name)
    {
        return root_.driveC("novarc/RecentScans/" + name);
    }
    bool Exists(const std::string &name) { return std::filesystem::exists(Cached(name)); }
    /* Every reply waiting on the server's end. */
    std::vector<std::string> Replies()
    {
        std::vector<std::string> all;
        std::string reply;
        while (NovarcReceiveReply(server_, &reply, 300))
            all.push_back(reply);
        return all;
    }

    SOCKET server_ = INVALID_SOCKET;
};

/* The same on a 600-dpi registry printer whose DC records what it draws. */
class ImagePrinterTest : public ImagesTest {
protected:
    /* margins: unprintable left, top, right, bottom in 0.1 mm (none:
     * the driver's own) */
    void Open(DWORD dpi = 600, const char *margins = nullptr)
    {
        AddRegistryPrinter("Scan Laser", {{"Printer Driver", "Generic Laser"}, {"Port", "NUL:"}},
                           {{"Resolution", dpi}});
        if (margins)
            AddRegistryPrinter("Scan Laser", {{"Margins", margins}});
        const std::string record = std::string("Scan Laser") + std::string(1, '\0') +
                                   "Generic Laser" + std::string(1, '\0') + Int32(66) + Int32(0) +
                                   std::string(1, '\0') + Int32(1);
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, record.data(), (int)record.size());
        OpenNovarcPrinter(session_.get(), &msg);
        FreeMsgBuf(&msg);
        ASSERT_TRUE(session_->m_bOpenedPrinter);
        ASSERT_TRUE(winport::gdi::SetRecording(Dc(), true));
    }
    void TearDown() override
    {
        /* The page's pictures may hold the library's bytes until the PDF
         * is written: the document goes before the library does. */
        if (session_ && Dc()) {
            AbortDoc(Dc());
            DeleteDC(Dc());
            session_->m_Printer.m_hPrinterDc = NULL;
        }
        ImagesTest::TearDown();
    }
    HDC Dc() { return session_->m_Printer.m_hPrinterDc; }
    int Caps(int index) { return GetDeviceCaps(Dc(), index); }
    std::vector<winport::gdi::RecBitmap> Bitmaps()
    {
        return winport::gdi::Only<winport::gdi::RecBitmap>(winport::gdi::GetRecord(Dc()));
    }
    std::vector<winport::gdi::RecText> Texts()
    {
        return winport::gdi::Only<winport::gdi::RecText>(winport::gdi::GetRecord(Dc()));
    }
    int PagesEnded()
    {
        int n = 0;
        for (const auto &page :
             winport::gdi::Only<winport::gdi::RecPage>(winport::gdi::GetRecord(Dc())))
            n += page.event == winport::gdi::RecPage::End;
        return n;
    }
    /* A sample stored (mode 4), then printed from the cache as
     * PRINT_LOCAL_IMAGE does. */
    void PrintLocal(const std::string &sample, const std::string &name, int mode, int page = 1)
    {
        SendImage(name, ReadText(Sample(sample)), 4);
        Run(HandlePrintLocalImage, PRINT_LOCAL_IMAGE,
            std::string(1, (char)mode) + name + std::string(1, '\0') + Int32(page));
    }
};

#endif
