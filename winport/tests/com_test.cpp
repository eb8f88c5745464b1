/*
 * Conformance tests: CoCreateInstance through a class's registration and
 * its library, OleInitialize, BSTRs and variants.
 */
#include <gtest/gtest.h>

#include "scratch_root.h"

#include <docobj.h>
#include <exdisp.h>
#include <ole2.h>
#include <windows.h>
#include <winport_test.h>

#include <cstdlib>
#include <cwchar>
#include <thread>

namespace {

const char kClassKey[] = "CLSID\\{0002DF01-0000-0000-C000-000000000046}\\InprocServer32";

class CoCreateInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("WINPORT_MODULE_PATH", WINPORT_FAKE_COM_DIR, 1);
        winport_test_map_module("FakeClass.dll", "libwinport_fake_com_class.so", TRUE);
        ASSERT_TRUE(winport_test_install_module("FakeClass.dll", "C:\\Windows\\system32"));
        ASSERT_EQ(OleInitialize(NULL), S_OK);
    }
    void TearDown() override
    {
        OleUninitialize();
        unsetenv("WINPORT_MODULE_PATH");
    }
    void Register(const char *szLibrary)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                  &key, NULL),
                  ERROR_SUCCESS);
        RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)szLibrary, strlen(szLibrary) + 1);
        RegCloseKey(key);
    }
    int Alive()
    {
        HMODULE m = LoadLibraryA("FakeClass.dll");
        auto alive = reinterpret_cast<int (*)()>(
            reinterpret_cast<void *>(GetProcAddress(m, "FakeComObjectsAlive")));
        int n = alive ? alive() : -1;
        FreeLibrary(m);
        return n;
    }
    ScratchRoot root_;
};

TEST_F(CoCreateInstanceTest, CreatesTheRegisteredClassByInterfaceAndReleaseEndsIt)
{
    Register("C:\\Windows\\system32\\FakeClass.dll");
    for (DWORD context : {(DWORD)CLSCTX_LOCAL_SERVER, (DWORD)CLSCTX_INPROC_SERVER}) {
        IWebBrowser2 *browser = NULL;
        ASSERT_EQ(CoCreateInstance(CLSID_InternetExplorer, NULL, context, IID_IWebBrowser2,
                                   (void **)&browser),
                  S_OK);
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(Alive(), 1);
        READYSTATE state = READYSTATE_UNINITIALIZED;
        EXPECT_EQ(browser->get_ReadyState(&state), S_OK);
        EXPECT_EQ(state, READYSTATE_COMPLETE);
        IUnknown *unknown = NULL;
        EXPECT_EQ(browser->QueryInterface(IID_IUnknown, (void **)&unknown), S_OK);
        EXPECT_EQ(browser->Release(), 1u);
        EXPECT_EQ(unknown->Release(), 0u);
        EXPECT_EQ(Alive(), 0);
    }
    /* An interface the object lacks: E_NOINTERFACE and no object left. */
    void *target = (void *)1;
    EXPECT_EQ(CoCreateInstance(CLSID_InternetExplorer, NULL, CLSCTX_SERVER, IID_IOleCommandTarget,
                               &target),
              E_NOINTERFACE);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(Alive(), 0);
}

TEST_F(CoCreateInstanceTest, FailsWithoutObjectWhenTheClassCannotBeServed)
{
    void *object = (void *)1;
    /* Not registered. */
    EXPECT_EQ(
        CoCreateInstance(CLSID_InternetExplorer, NULL, CLSCTX_SERVER, IID_IWebBrowser2, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    /* Registered, but its library is not there. */
    Register("C:\\Windows\\system32\\Missing.dll");
    object = (void *)1;
    EXPECT_EQ(
        CoCreateInstance(CLSID_InternetExplorer, NULL, CLSCTX_SERVER, IID_IWebBrowser2, &object),
        CO_E_DLLNOTFOUND);
    EXPECT_EQ(object, nullptr);
    /* A library without the class entry point. */
    winport_test_map_module("NoEntry.dll", "libwp_ws2_32.so", FALSE);
    Register("NoEntry.dll");
    EXPECT_EQ(
        CoCreateInstance(CLSID_InternetExplorer, NULL, CLSCTX_SERVER, IID_IWebBrowser2, &object),
        CO_E_ERRORINDLL);
    EXPECT_EQ(object, nullptr);
    Register("C:\\Windows\\system32\\FakeClass.dll");
    EXPECT_EQ(CoCreateInstance(CLSID_InternetExplorer, (IUnknown *)&object, CLSCTX_SERVER,
                               IID_IWebBrowser2, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_InternetExplorer, NULL, CLSCTX_SERVER, IID_IWebBrowser2, NULL),
              E_POINTER);
    /* A thread that never started COM. */
    HRESULT other = S_OK;
    std::thread([&] {
        void *p = NULL;
        other = CoCreateInstance(CLSID_InternetExplorer, NULL, CLSCTX_SERVER, IID_IWebBrowser2, &p);
    }).join();
    EXPECT_EQ(other, CO_E_NOTINITIALIZED);
    EXPECT_EQ(Alive(), 0);
}

TEST(OleTest, OleInitializeCountsWithCoInitialize)
{
    EXPECT_EQ(OleInitialize((void *)1), E_INVALIDARG);
    EXPECT_EQ(OleInitialize(NULL), S_OK);
    EXPECT_EQ(CoInitialize(NULL), S_FALSE);
    CoUninitialize();
    OleUninitialize();
    EXPECT_EQ(OleInitialize(NULL), S_OK); /* the count went back to none */
    OleUninitialize();
}

TEST(OleTest, StringsKeepTheirLengthAndVariantsFreeThem)
{
    EXPECT_EQ(SysAllocString(NULL), nullptr);
    EXPECT_EQ(SysStringLen(NULL), 0u);
    SysFreeString(NULL);
    BSTR empty = SysAllocString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);

    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"https://example.test/page");
    ASSERT_NE(v.bstrVal, nullptr);
    EXPECT_EQ(SysStringLen(v.bstrVal), 25u);
    EXPECT_EQ(std::wcscmp(v.bstrVal, L"https://example.test/page"), 0);
    /* The length is the byte count before the text, as Windows keeps it. */
    uint32_t prefix;
    memcpy(&prefix, reinterpret_cast<char *>(v.bstrVal) - 4, 4);
    EXPECT_EQ(prefix, 25u * sizeof(OLECHAR));
    EXPECT_EQ(VariantClear(&v), S_OK); /* frees the string (ASan would see a leak) */
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(NULL), E_INVALIDARG);
}

} // namespace
