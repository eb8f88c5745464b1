/*
 * RECEIVE_PRINT_URL: a web page printed on the session's printer.  The
 * browser object prints on the default printer, so the session's printer
 * is made the default under the default-printer lock for the print and
 * the previous default put back after it.  Around the print the fax and
 * converter printers end their own document and start a new one, as they
 * do for the office programs.
 *
 * Only http and https pages are loaded: a server that could name file:
 * or javascript: URLs could print any file of the workstation or run
 * script in it.  A page that does not load in time fails this request;
 * the browser is told to quit, which ends the load.
 */
#include <cctype>
#include <cstring>
#include <vector>

#include <kellib/payload.h>

#include "default_printer_lock.h"
#include "documents.h"
#include "office.h"
#include "printer.h"

#include <docobj.h>
#include <exdisp.h>
#include <ole2.h>

namespace {

/* A page loads and prints to PDF in a few seconds; one that has not in
 * this time will not. */
const DWORD kPageLoadMs = 60000;
const DWORD kReadyPollMs = 100;
const DWORD kDefaultPrinterLockMs = 60000;

bool PrefixNoCase(const char *szText, const char *szPrefix)
{
    for (; *szPrefix; szText++, szPrefix++)
        if (tolower((unsigned char)*szText) != *szPrefix)
            return false;
    return true;
}

/* The URL as the browser takes it: "http://" or "https://", a host, and
 * only printable ASCII (a space becomes "%20"); false for anything else. */
bool WebUrl(const char *szUrl, OLECHAR *wszOut, int iSize)
{
    const bool bHttp = PrefixNoCase(szUrl, "http://");
    const bool bHttps = PrefixNoCase(szUrl, "https://");
    const int iHost = bHttp ? 7 : bHttps ? 8 : 0;
    if (iHost == 0 || szUrl[iHost] == 0 || szUrl[iHost] == '/')
        return false;
    int iOut = 0;
    for (const char *p = szUrl; *p; p++) {
        const unsigned char c = (unsigned char)*p;
        if (c < 0x20 || c >= 0x7f || iOut + 4 > iSize)
            return false;
        if (c == ' ') {
            wszOut[iOut++] = '%';
            wszOut[iOut++] = '2';
            wszOut[iOut++] = '0';
        } else {
            wszOut[iOut++] = (OLECHAR)c;
        }
    }
    wszOut[iOut] = 0;
    return true;
}

/* Polls the ready state until the page is complete; false when the browser
 * reports a failure or the page did not complete in time. */
bool WaitForPage(NovarcprintProcess *s, IWebBrowser2 *pBrowser, const char *szUrl)
{
    const DWORD dwStart = GetTickCount();
    for (;;) {
        READYSTATE state = READYSTATE_UNINITIALIZED;
        HRESULT hr = pBrowser->get_ReadyState(&state);
        if (FAILED(hr)) {
            s->Log("ThreadReceivePrintUrl( %s ) the page could not be loaded <0x%08X>", szUrl,
                   (unsigned)hr);
            return false;
        }
        if (state == READYSTATE_COMPLETE)
            return true;
        if (GetTickCount() - dwStart >= kPageLoadMs) {
            s->Log("ThreadReceivePrintUrl( %s ) the page did not complete in %u ms", szUrl,
                   (unsigned)kPageLoadMs);
            return false;
        }
        Sleep(kReadyPollMs);
    }
}

/* Steps 3 and 4: the document printed on the session's printer made the
 * default for the time of the print. */
void PrintPage(NovarcprintProcess *s, IOleCommandTarget *pCommands, const char *szUrl)
{
    PrinterState &p = s->m_Printer;
    DefaultPrinterLock lock;
    const bool bOwnPrinted = p.m_bPrinted;
    EndDocumentForOutsideProgram(s);
    if (s->m_bConverter)
        CloseNovarcPrinter(s); /* the browser prints on it as the default printer */
    if (!lock.Take(s->m_szPrinterName, kDefaultPrinterLockMs)) {
        s->Log("ThreadReceivePrintUrl( %s ) could not make %s the default printer", szUrl,
               s->m_szPrinterName);
    } else {
        HRESULT hr =
            pCommands->Exec(NULL, OLECMDID_PRINT, OLECMDEXECOPT_DONTPROMPTUSER, NULL, NULL);
        if (SUCCEEDED(hr))
            p.m_bPrinted = true;
        else
            s->Log("ThreadReceivePrintUrl( %s ) printing the page FAILED <0x%08X>", szUrl,
                   (unsigned)hr);
    }
    ResumeAfterOutsideProgram(s);
    /* On any other printer the page is a job of its own: the job's
     * document holds what it held before, and an empty one taken for
     * printed would come out at the close as a blank sheet. */
    if (!s->m_bFax && !s->m_bConverter)
        p.m_bPrinted = bOwnPrinted;
    lock.Release();
}

/* Step 2 to 5: the browser object, the page, its document. */
void PrintUrlWithBrowser(NovarcprintProcess *s, const char *szUrl, const OLECHAR *wszUrl)
{
    IWebBrowser2 *pBrowser = NULL;
    HRESULT hr = CoCreateInstance(CLSID_InternetExplorer, NULL, CLSCTX_LOCAL_SERVER,
                                  IID_IWebBrowser2, (void **)&pBrowser);
    if (FAILED(hr) || !pBrowser) {
        s->Log("ThreadReceivePrintUrl() CoCreateInstance FAILED <0x%08X>", (unsigned)hr);
        return;
    }
    pBrowser->put_Visible(VARIANT_FALSE);
    pBrowser->put_Silent(VARIANT_TRUE);
    VARIANT vEmpty;
    VariantInit(&vEmpty);
    BSTR bstrUrl = SysAllocString(wszUrl);
    hr = bstrUrl ? pBrowser->Navigate(bstrUrl, &vEmpty, &vEmpty, &vEmpty, &vEmpty) : E_OUTOFMEMORY;
    SysFreeString(bstrUrl);
    IDispatch *pDocument = NULL;
    IOleCommandTarget *pCommands = NULL;
    if (FAILED(hr))
        s->Log("ThreadReceivePrintUrl( %s ) Navigate FAILED <0x%08X>", szUrl, (unsigned)hr);
    else if (WaitForPage(s, pBrowser, szUrl) &&
             (FAILED(pBrowser->get_Document(&pDocument)) || !pDocument ||
              FAILED(pDocument->QueryInterface(IID_IOleCommandTarget, (void **)&pCommands)) ||
              !pCommands))
        s->Log("ThreadReceivePrintUrl( %s ) the page has no document to print", szUrl);
    if (pCommands) {
        PrintPage(s, pCommands, szUrl);
        pCommands->Release();
    }
    if (pDocument)
        pDocument->Release();
    pBrowser->Quit();
    pBrowser->Release();
}

} // namespace

int HandleReceivePrintUrl(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    char szUrl[PRINT_URL_SIZE];
    KelPayload in = KelPayload::Of(pMsg->szBuf, pMsg->iLen);
    if (!pMsg->szBuf || !in.String(szUrl, sizeof(szUrl))) {
        s->Log("ThreadReceivePrintUrl() malformed request iLen<%d>", pMsg->iLen);
        return 0;
    }
    s->Log("ThreadReceivePrintUrl( %s )", szUrl);
    std::vector<OLECHAR> wszUrl(PRINT_URL_SIZE * 3);
    if (!WebUrl(szUrl, wszUrl.data(), (int)wszUrl.size())) {
        s->Log("ThreadReceivePrintUrl( %s ) REFUSED: only http and https pages are printed", szUrl);
        return 0;
    }
    if (FAILED(OleInitialize(NULL))) {
        s->Log("ThreadReceivePrintUrl() OleInitialize FAILED");
        return 0;
    }
    PrintUrlWithBrowser(s, szUrl, wszUrl.data());
    OleUninitialize();
    return 1;
}
