/*
 * Conformance: MsiQueryProductStateA of the module "msi.dll", answered from
 * the product records installers write under the uninstall key.
 */
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include "scratch_root.h"

namespace {

constexpr const char *kCode = "{FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4}";

class MsiProductState : public ::testing::Test {
protected:
    ScratchRoot root;
    HMODULE msi = nullptr;
    decltype(&MsiQueryProductStateA) query = nullptr;
    void SetUp() override
    {
        msi = LoadLibraryA("msi.dll");
        ASSERT_NE(msi, nullptr);
        query = reinterpret_cast<decltype(&MsiQueryProductStateA)>(
            reinterpret_cast<void *>(GetProcAddress(msi, "MsiQueryProductStateA")));
        ASSERT_NE(query, nullptr);
    }
    void TearDown() override
    {
        if (msi)
            FreeLibrary(msi);
    }
    /* What an installer writes for its product. */
    void Register(const char *code, bool windowsInstaller, DWORD mark = 1)
    {
        std::string path =
            std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + code;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const char name[] = "Runtime 2008";
        RegSetValueExA(key, "DisplayName", 0, REG_SZ, (const BYTE *)name, sizeof name);
        if (windowsInstaller)
            RegSetValueExA(key, "WindowsInstaller", 0, REG_DWORD, (const BYTE *)&mark, sizeof mark);
        RegCloseKey(key);
    }
};

TEST_F(MsiProductState, RegisteredProductIsInstalledForTheMachine)
{
    EXPECT_EQ(query(kCode), INSTALLSTATE_UNKNOWN);
    Register(kCode, true);
    EXPECT_EQ(query(kCode), INSTALLSTATE_DEFAULT);
    /* Product codes are GUIDs: their hex digits in either case. */
    EXPECT_EQ(query("{ff66e9f6-83e7-3a3e-af14-8de9a809a6a4}"), INSTALLSTATE_DEFAULT);
    EXPECT_EQ(query("{AD8A2FA1-06E7-4B0D-927d-6E54B3D31028}"), INSTALLSTATE_UNKNOWN);
}

TEST_F(MsiProductState, EntriesOfOtherInstallersAreUnknown)
{
    Register(kCode, false);
    EXPECT_EQ(query(kCode), INSTALLSTATE_UNKNOWN);
    Register(kCode, true, 0);
    EXPECT_EQ(query(kCode), INSTALLSTATE_UNKNOWN);
}

TEST_F(MsiProductState, MalformedProductCodesAreInvalidArguments)
{
    for (const char *code :
         {"", "FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4", "{FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4",
          "{FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4}x", "{GF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4}",
          "{FF66E9F6_83E7-3A3E-AF14-8DE9A809A6A4}", "{..\\..\\Run}"})
        EXPECT_EQ(query(code), INSTALLSTATE_INVALIDARG) << code;
    EXPECT_EQ(query(nullptr), INSTALLSTATE_INVALIDARG);
}

} // namespace
