/*
 * A stand-in COM class library for the COM tests: DllGetClassObject
 * serves one class (the browser's CLSID) whose objects answer
 * IWebBrowser2 and count the objects alive, so a test can tell a
 * released object was destroyed.
 */
#include <exdisp.h>
#include <ole2.h>
#include <windows.h>

namespace {

int g_alive = 0;

struct FakeBrowser final : public IWebBrowser2 {
    ULONG refs = 1;
    FakeBrowser() { g_alive++; }
    ~FakeBrowser() { g_alive--; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser2) {
            *ppv = static_cast<IWebBrowser2 *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Navigate(BSTR, VARIANT *, VARIANT *, VARIANT *, VARIANT *) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch **) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE Quit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE *state) override
    {
        *state = READYSTATE_COMPLETE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL) override { return S_OK; }
};

struct Factory final : public IClassFactory {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        *ppv = (riid == IID_IUnknown || riid == IID_IClassFactory) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        FakeBrowser *object = new FakeBrowser;
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid, void **ppv)
{
    *ppv = nullptr;
    if (rclsid != CLSID_InternetExplorer)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) int FakeComObjectsAlive(void)
{
    return g_alive;
}
