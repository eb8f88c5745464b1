/*
 * A print session with the real PDF components installed (the engine, the
 * converter and its installer), a loopback reply socket, and the returned
 * files read back off the wire: names, blocks, end markers, inflated.
 */
#ifndef NOVARCPRINT_DOCUMENTS_TESTS_FIXTURE_H
#define NOVARCPRINT_DOCUMENTS_TESTS_FIXTURE_H

#include <zlib.h>

#include <winport_test.h>

#include <filesystem>
#include <vector>

#include "component_fixture.h"
#include "documents.h"
#include "handoff.h"
#include "images.h"
#include "imaging_bind.h"
#include "pdf_bind.h"
#include "printer.h"
#include "session_fixture.h"

/* One file of a return, or the lone end marker (name "DONE", no data). */
struct ReturnedFile {
    std::string name;
    std::string data; /* inflated */
    bool whole = false;
};

inline std::string Inflate(const std::string &packed)
{
    std::string out;
    z_stream z = z_stream();
    if (inflateInit(&z) != Z_OK)
        return out;
    z.next_in = (Bytef *)packed.data();
    z.avail_in = (uInt)packed.size();
    char chunk[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = (Bytef *)chunk;
        z.avail_out = sizeof(chunk);
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof(chunk) - z.avail_out);
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string("<corrupt stream>");
}

class DocumentsTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        ASSERT_EQ(NovarcStartWinsock(), 1);
        ASSERT_EQ(NovarcLoopbackPair(&server_, &reply_), 1);
        session_->m_sockReply = reply_;
        ASSERT_TRUE(winport_test_install_module(KELPDFTRON_DLL_NAME, KELPDFTRON_FOLDER));
        ASSERT_TRUE(winport_test_install_module(CDINTF_DLL_NAME, "C:\\Windows\\system32"));
        std::filesystem::copy_file(CDINSTALL_PATH, root_.driveC("Windows/system32/cdinstall.exe"));
    }
    void TearDown() override
    {
        WaitForWorkers();
        if (session_ && session_->m_Printer.m_hConverter)
            KelAmyuni_DriverEnd(session_->m_Printer.m_hConverter);
        KelUnloadPdfTron();
        KelUnloadAmyuni();
        closesocket(server_);
        closesocket(reply_);
        SessionTest::TearDown();
    }

    static std::string Str(const std::string &s) { return s + '\0'; }
    static std::string Record(const std::string &printer, int options = 0)
    {
        return Str(printer) + Str("Novarc PDF Converter") + Int32(66) + Int32(0) + Str("") +
               Int32(0) + Int32(0) + Int32(options) + Int32(0) + Str("Dr Test");
    }

    /* The open as timer 5 and the open worker do it: the gate, then the open. */
    int Open(const std::string &printer, int options = 0)
    {
        const std::string record = Record(printer, options);
        FreeMsgBuf(&session_->m_OpenRecord);
        session_->m_OpenRecord = MsgBuf();
        AppendBytes(&session_->m_OpenRecord, record.data(), (int)record.size());
        if (!GetNovarcPrinterMutex(session_.get()))
            return -1;
        return OpenNovarcPrinter(session_.get(), &session_->m_OpenRecord);
    }

    /* One page with one line of text on the open document. */
    void PrintPage(const char *szText)
    {
        HDC hdc = session_->m_Printer.m_hPrinterDc;
        ASSERT_NE(hdc, nullptr);
        StartPage(hdc);
        TextOutA(hdc, 300, 300, szText, (int)strlen(szText));
        EndPage(hdc);
        session_->m_Printer.m_bPrinted = true;
    }

    /* A new document of the same job (what an orientation change does). */
    void NextDocument()
    {
        CloseNovarcPrinter(session_.get());
        ASSERT_TRUE(ReopenNovarcPrinter(session_.get()));
    }

    std::string Dir() { return root_.driveC("novarc/convert_pdf"); }
    std::string PartPath(int part)
    {
        return Dir() + "/Part" + std::to_string(part) + session_->m_Printer.m_szConverterFileName;
    }

    /* Every file returned so far, in order. */
    std::vector<ReturnedFile> Returned()
    {
        std::vector<ReturnedFile> files;
        std::string msg;
        ReturnedFile *pOpen = nullptr;
        const std::string done("\x27"
                               "DONE\0",
                               6);
        while (NovarcReceiveReply(server_, &msg, 200)) {
            if (msg.empty() || msg[0] != '\x27')
                continue;
            if (!pOpen) {
                files.push_back(ReturnedFile{msg.substr(1, msg.find('\0', 1) - 1), "", false});
                pOpen = &files.back();
                continue;
            }
            if (msg == done) {
                pOpen->whole = true;
                pOpen = nullptr;
                continue;
            }
            pOpen->data += msg.substr(1);
            if (msg.size() - 1 < FILE_BLOCK_SIZE) {
                pOpen->whole = true;
                pOpen = nullptr;
            }
        }
        for (ReturnedFile &f : files)
            if (f.name != "DONE")
                f.data = Inflate(f.data);
        return files;
    }
    /* The text of a returned PDF, through a file in the root. */
    std::string TextOf(const ReturnedFile &file)
    {
        const std::string path = root_.driveC("returned.pdf");
        samples::WriteFile(path, file.data);
        return PdfToText(path);
    }
    int PagesOf(const ReturnedFile &file)
    {
        const std::string path = root_.driveC("returned.pdf");
        samples::WriteFile(path, file.data);
        return PdfPages(path);
    }

    SOCKET server_ = INVALID_SOCKET;
};

#endif
