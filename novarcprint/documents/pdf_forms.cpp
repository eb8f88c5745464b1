/*
 * Fillable PDF forms from the cache: the fields the message carries are set
 * on the engine's form object, which then prints the form on the job's
 * document (all pages, or a page range) or saves it to be returned to the
 * server.  Every payload is read within its length; a malformed one fails
 * its request with a log line.  Under the print lock.
 */
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "documents.h"
#include "images.h"
#include "pdf_bind.h"
#include "printer.h"

namespace {

#define FORM_RESOURCES "C:\\novarc\\bin\\PdfTron\\resources"
#define FIELD_FLAG_SET_VALUE 1
#define FORM_SAVE_LINEARIZED 16
#define FORM_ALL_PAGES -1

struct FormField {
    int iFlags;
    std::string name, value;
};

struct FormRequest {
    std::string name;
    int iFirst = 0, iLast = 0;
    std::vector<FormField> fields;
};

/* A NUL-terminated text within the payload. */
bool TakeText(MsgBuf *pMsg, std::string *pOut)
{
    if (pMsg->iLen <= 0)
        return false;
    const void *pEnd = memchr(pMsg->szBuf, 0, (size_t)pMsg->iLen);
    if (!pEnd)
        return false;
    const int n = (int)((const char *)pEnd - pMsg->szBuf);
    pOut->assign(pMsg->szBuf, (size_t)n);
    pMsg->szBuf += n + 1;
    pMsg->iLen -= n + 1;
    return true;
}

bool TakeInt32(MsgBuf *pMsg, int *pValue)
{
    if (pMsg->iLen < 4)
        return false;
    *pValue = TakeInt(pMsg);
    return true;
}

bool TakeFields(MsgBuf *pBlock, int iCount, bool bFlagged, std::vector<FormField> *pFields)
{
    if (iCount < 0)
        return false;
    for (int i = 0; i < iCount; i++) {
        FormField field{FIELD_FLAG_SET_VALUE, "", ""};
        if (bFlagged && !TakeInt32(pBlock, &field.iFlags))
            return false;
        if (!TakeText(pBlock, &field.name) || !TakeText(pBlock, &field.value))
            return false;
        pFields->push_back(field);
    }
    return true;
}

/* The field block: A plain fields, then, when 4 bytes follow, B flagged. */
bool ParseFieldBlock(MsgBuf block, std::vector<FormField> *pFields)
{
    int iCount = 0;
    if (!TakeInt32(&block, &iCount) || !TakeFields(&block, iCount, false, pFields))
        return false;
    if (block.iLen < 4)
        return true;
    return TakeInt32(&block, &iCount) && TakeFields(&block, iCount, true, pFields);
}

bool ParseFormRequest(MsgBuf msg, bool bRange, FormRequest *pRequest)
{
    int iBlock = 0;
    if (!TakeText(&msg, &pRequest->name))
        return false;
    if (bRange && (!TakeInt32(&msg, &pRequest->iFirst) || !TakeInt32(&msg, &pRequest->iLast)))
        return false;
    if (!TakeInt32(&msg, &iBlock) || iBlock < 0 || iBlock > msg.iLen)
        return false;
    MsgBuf block = msg;
    block.iLen = iBlock;
    return ParseFieldBlock(block, &pRequest->fields);
}

/* The form's path in the cache, when the name is a plain file name there
 * and the file exists. */
bool FindForm(NovarcprintProcess *s, const std::string &name, char *szPath, int iSize)
{
    if (!KELPeerFileInFolder(IMAGE_CACHE_FOLDER, name.c_str(), KEL_PATH_READ, szPath, iSize)) {
        s->Log("PDF form refused <%s>: %s", name.c_str(), KELPeerPathReason(GetLastError()));
        return false;
    }
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA(szPath, &found);
    if (hFind == INVALID_HANDLE_VALUE) {
        s->Log("PDF form <%s> not in the cache", szPath);
        return false;
    }
    FindClose(hFind);
    return true;
}

/* The engine and a form object with the request's fields set; NULL when
 * the form cannot be opened (the engine is then terminated again). */
KelPdfCompFormObject *FillForm(NovarcprintProcess *s, const char *szPath,
                               const FormRequest &request)
{
    KelPdfTron_Initialize(FORM_RESOURCES);
    KelPdfCompFormObject *pForm = KelPdfTron_CreateFormObject();
    if (!pForm || !pForm->OpenForm(szPath)) {
        s->Log("PDF form OpenForm( %s ) FAILED", szPath);
        if (pForm)
            KelPdfTron_DeleteFormObject(pForm);
        KelPdfTron_Terminate();
        return NULL;
    }
    for (const FormField &field : request.fields)
        if (!pForm->SetField(field.name.c_str(), field.value.c_str(), field.iFlags))
            s->Log("PDF form SetField( %s ) FAILED", field.name.c_str());
    pForm->PrepareForm();
    return pForm;
}

void ReleaseForm(KelPdfCompFormObject *pForm)
{
    KelPdfTron_DeleteFormObject(pForm);
    KelPdfTron_Terminate();
}

} // namespace

int HandlePrintPdfCompForm(NovarcprintProcess *s, MsgBuf *pMsg, int iType)
{
    PrinterState &p = s->m_Printer;
    const bool bRange = iType == PRINT_PDF_COMP_FORM_PAGE_RANGE;
    FormRequest request;
    if (!ParseFormRequest(*pMsg, bRange, &request)) {
        s->Log("PRINT_PDF_COMP_FORM malformed payload iLen<%d>", pMsg->iLen);
        return 0;
    }
    char szPath[MAX_PATH];
    if (!FindForm(s, request.name, szPath, sizeof(szPath)))
        return 0;
    p.m_bPrinted = true;
    KelPdfCompFormObject *pForm = FillForm(s, szPath, request);
    if (!pForm)
        return 0;
    char szError[KELPDFTRON_ERROR_TEXT_SIZE] = "";
    if (!bRange)
        pForm->PrintForm(p.m_hPrinterDc, FORM_ALL_PAGES, szError);
    else if (request.iFirst > 0)
        for (int i = request.iFirst; i <= request.iLast; i++)
            if (!pForm->PrintForm(p.m_hPrinterDc, i, szError))
                break; /* past the form's last page: a huge range ends here */
    if (szError[0])
        s->Log("PDF form PrintForm( %s ) %s", szPath, szError);
    if (p.m_hPrinterDc) {
        EndDoc(p.m_hPrinterDc);
        /* The close must not end it a second time. */
        p.m_bDocumentEnded = true;
        p.m_bPageEnded = true;
        NoteDocumentEnded(s);
    }
    ReleaseForm(pForm);
    return 1;
}

int HandleReceiveReturnFilledPdfForm(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    FormRequest request;
    char szPath[MAX_PATH];
    KelPdfCompFormObject *pForm = NULL;
    if (!ParseFormRequest(*pMsg, false, &request)) {
        s->Log("RECEIVE_RETURN_FILLED_PDF_FORM malformed payload iLen<%d>", pMsg->iLen);
    } else if (FindForm(s, request.name, szPath, sizeof(szPath))) {
        pForm = FillForm(s, szPath, request);
    }
    if (!pForm) {
        SendLoneEndMarker(s);
        return 0;
    }
    char szName[OPEN_NAME_SIZE], szSaved[MAX_PATH];
    char szError[KELPDFTRON_ERROR_TEXT_SIZE] = "";
    MakeUniqueFileName(szName, sizeof(szName), "Img", "pdf");
    FormatName(szSaved, sizeof(szSaved), "%s\\%s", IMAGE_CACHE_FOLDER, szName);
    bool bSent = false;
    if (!pForm->SaveForm(szSaved, FORM_SAVE_LINEARIZED, szError)) {
        s->Log("PDF form SaveForm( %s ) FAILED %s", szSaved, szError);
        DeleteFileA(szSaved);
    } else if (!CompressForReturn(s, szSaved)) {
        s->Log("RECEIVE_RETURN_FILLED_PDF_FORM(KelZipPlus(FAILED))");
        DeleteFileA(szSaved);
    } else
        bSent = s->SendWholeFile(s->m_sockReply, szName, szSaved, 0) != 0;
    if (!bSent) /* nothing (whole) is coming: the server is told so at once */
        SendLoneEndMarker(s);
    ReleaseForm(pForm);
    return bSent ? 1 : 0;
}
