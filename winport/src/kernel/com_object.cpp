/*
 * COM objects: CoCreateInstance through the class's registration and its
 * library's DllGetClassObject, the identifiers of the interfaces winport
 * declares, and automation strings and variants.
 */
#include <docobj.h>
#include <exdisp.h>
#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

bool WinportComStarted();

// clang-format off
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const IID IID_IOleCommandTarget = {0xB722BCCB, 0x4E68, 0x101B, {0xA2, 0xBC, 0x00, 0xAA, 0x00, 0x40, 0x47, 0x70}};
const CLSID CLSID_InternetExplorer = {0x0002DF01, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// clang-format on

namespace {

/* The library registered for the class, from
 * HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32's default value. */
bool ClassLibrary(REFCLSID rclsid, char *szPath, DWORD cbPath)
{
    WCHAR wide[40];
    if (StringFromGUID2(rclsid, wide, 40) == 0)
        return false;
    char key[80] = "CLSID\\";
    size_t at = std::strlen(key);
    for (int i = 0; wide[i] && at + 1 < sizeof key; i++)
        key[at++] = static_cast<char>(wide[i]);
    key[at] = 0;
    std::strcat(key, "\\InprocServer32");
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = cbPath - 1;
    LSTATUS rc = RegQueryValueExA(hKey, NULL, NULL, &type, (BYTE *)szPath, &size);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return false;
    szPath[size] = 0;
    return szPath[0] != 0;
}

} // namespace

/***********************************************************************
 *           CoCreateInstance
 * A new object of the class, asked for by interface: the class factory
 * from the library's DllGetClassObject, its CreateInstance, the factory
 * released.  *ppv is NULL on every failure.
 */
HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID *ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = NULL;
    if (!WinportComStarted())
        return CO_E_NOTINITIALIZED;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    if (!(dwClsContext & CLSCTX_SERVER))
        return REGDB_E_CLASSNOTREG;
    char szLibrary[MAX_PATH];
    if (!ClassLibrary(rclsid, szLibrary, sizeof szLibrary))
        return REGDB_E_CLASSNOTREG;
    HMODULE hModule = LoadLibraryA(szLibrary); /* kept, as COM keeps it until freed */
    if (!hModule)
        return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
        reinterpret_cast<void *>(GetProcAddress(hModule, "DllGetClassObject")));
    if (!getClassObject)
        return CO_E_ERRORINDLL;
    IClassFactory *factory = NULL;
    HRESULT hr = getClassObject(rclsid, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (FAILED(hr) || !factory)
        return FAILED(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
    hr = factory->CreateInstance(NULL, riid, ppv);
    factory->Release();
    if (FAILED(hr))
        *ppv = NULL;
    return hr;
}

/***********************************************************************
 *           SysAllocString
 * Windows keeps the length in bytes in the four bytes before the text,
 * and a NUL after it; so does this.
 */
BSTR WINAPI SysAllocString(const OLECHAR *psz)
{
    if (!psz)
        return NULL;
    size_t length = 0;
    while (psz[length])
        length++;
    const size_t bytes = length * sizeof(OLECHAR);
    if (bytes > UINT32_MAX - 2 * sizeof(OLECHAR))
        return NULL;
    auto *block = static_cast<unsigned char *>(
        std::malloc(sizeof(OLECHAR) + bytes + sizeof(OLECHAR))); /* prefix padded to a char */
    if (!block)
        return NULL;
    const uint32_t prefix = static_cast<uint32_t>(bytes);
    std::memcpy(block + sizeof(OLECHAR) - sizeof prefix, &prefix, sizeof prefix);
    BSTR text = reinterpret_cast<BSTR>(block + sizeof(OLECHAR));
    std::memcpy(text, psz, bytes);
    text[length] = 0;
    return text;
}

UINT WINAPI SysStringLen(BSTR pbstr)
{
    if (!pbstr)
        return 0;
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<unsigned char *>(pbstr) - sizeof prefix, sizeof prefix);
    return prefix / sizeof(OLECHAR);
}

void WINAPI SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(reinterpret_cast<unsigned char *>(bstrString) - sizeof(OLECHAR));
}

void WINAPI VariantInit(VARIANT *pvarg)
{
    if (pvarg) {
        std::memset(pvarg, 0, sizeof *pvarg);
        pvarg->vt = VT_EMPTY;
    }
}

HRESULT WINAPI VariantClear(VARIANT *pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    if (pvarg->vt == VT_BSTR)
        SysFreeString(pvarg->bstrVal);
    VariantInit(pvarg);
    return S_OK;
}
