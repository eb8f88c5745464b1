/*
 * "KelBrowser.dll": the web browser object behind the browser's class
 * identifier.  Navigate loads the page and prints it to PDF on a thread of
 * its own (headless Chromium, bounded in time); the ready state is
 * complete once the PDF is there and the document then prints it on the
 * default printer through IOleCommandTarget::Exec(OLECMDID_PRINT).
 * A page that fails to load makes get_ReadyState fail, so the caller
 * stops waiting; Quit (or the last Release) stops a load still running
 * and kills Chromium.
 */
#include "page_print.h"

#include <docobj.h>
#include <exdisp.h>
#include <ole2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace browser {
namespace {

/* A page that has not loaded in this time never will; the caller's own
 * wait is shorter and ends the load through Quit. */
const int kPageSeconds = 180;

template <class Base> class RefCounted : public Base {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }
    virtual ~RefCounted() = default;

private:
    std::atomic<ULONG> refs_{1};
};

/* The loaded page (a dispatch object that answers IOleCommandTarget):
 * prints its PDF when told to. */
class WebDocument final : public IDispatch, public IOleCommandTarget {
public:
    WebDocument(std::string pdf, std::string title) : pdf_(std::move(pdf)), title_(std::move(title))
    {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch)
            *ppv = static_cast<IDispatch *>(this);
        else if (riid == IID_IOleCommandTarget)
            *ppv = static_cast<IOleCommandTarget *>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }
    /* Printing never prompts here: there is no one to ask. */
    HRESULT STDMETHODCALLTYPE Exec(const GUID *group, DWORD command, DWORD, VARIANT *,
                                   VARIANT *) override
    {
        if (group)
            return OLECMDERR_E_UNKNOWNGROUP;
        if (command != OLECMDID_PRINT)
            return OLECMDERR_E_NOTSUPPORTED;
        return PrintOnDefaultPrinter(pdf_, title_) > 0 ? S_OK : E_FAIL;
    }

private:
    std::atomic<ULONG> refs_{1};
    const std::string pdf_;
    const std::string title_;
};

class WebBrowser final : public RefCounted<IWebBrowser2> {
public:
    ~WebBrowser() override { Stop(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser2)
            *ppv = static_cast<IWebBrowser2 *>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Navigate(BSTR URL, VARIANT *, VARIANT *, VARIANT *,
                                       VARIANT *) override
    {
        std::string url;
        for (UINT i = 0, n = SysStringLen(URL); i < n; i++) {
            if (URL[i] <= 0x20 || URL[i] >= 0x7f)
                return E_INVALIDARG; /* a URL the caller did not encode */
            url += static_cast<char>(URL[i]);
        }
        if (!IsWebUrl(url))
            return E_INVALIDARG;
        Stop();
        std::lock_guard<std::mutex> guard(lock_);
        state_ = READYSTATE_LOADING;
        failed_ = false;
        pdf_.clear();
        stop_ = false;
        loader_ = std::thread([this, url] {
            std::string pdf;
            const bool ok = RenderPage(url, kPageSeconds, stop_, &pdf);
            std::lock_guard<std::mutex> guard(lock_);
            pdf_ = std::move(pdf);
            url_ = url;
            failed_ = !ok;
            state_ = ok ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch **ppDisp) override
    {
        if (!ppDisp)
            return E_POINTER;
        *ppDisp = nullptr;
        std::lock_guard<std::mutex> guard(lock_);
        if (state_ != READYSTATE_COMPLETE)
            return E_FAIL;
        *ppDisp = static_cast<IDispatch *>(new WebDocument(pdf_, url_));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Quit() override
    {
        Stop();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE *plReadyState) override
    {
        if (!plReadyState)
            return E_POINTER;
        std::lock_guard<std::mutex> guard(lock_);
        *plReadyState = state_;
        return failed_ ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL) override { return S_OK; }

private:
    /* Ends a load still running (Chromium is killed) and waits for it. */
    void Stop()
    {
        stop_ = true;
        if (loader_.joinable())
            loader_.join();
    }

    std::mutex lock_;
    std::thread loader_;
    std::atomic<bool> stop_{false};
    READYSTATE state_ = READYSTATE_UNINITIALIZED;
    bool failed_ = false;
    std::string pdf_;
    std::string url_;
};

class BrowserFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = (riid == IID_IUnknown || riid == IID_IClassFactory) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; } /* lives as long as the library */
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        WebBrowser *browser = new WebBrowser;
        HRESULT hr = browser->QueryInterface(riid, ppv);
        browser->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

BrowserFactory g_factory;

} // namespace
} // namespace browser

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_InternetExplorer)
        return CLASS_E_CLASSNOTAVAILABLE;
    return browser::g_factory.QueryInterface(riid, ppv);
}
