/*
 * The module behind "msi.dll" (libwp_msi.so): MsiQueryProductStateA.
 *
 * Windows Installer keeps its own product database; here an installer
 * registers a product the way every installer also does on Windows, with a
 * key named by its product code under
 * HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall,
 * and marks it as a Windows Installer product with the DWORD value
 * "WindowsInstaller" = 1.  Such a product is installed for the machine
 * (INSTALLSTATE_DEFAULT); an uninstall entry without the mark belongs to
 * some other installer, which Windows Installer does not know either.
 */
#include <windows.h>
#include <msi.h>

namespace {

constexpr const char *kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

/* "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", hex digits of either case. */
bool IsProductCode(const char *code)
{
    static const char kPattern[] = "{........-....-....-....-............}";
    for (int i = 0; kPattern[i]; i++) {
        const char want = kPattern[i];
        if (!code[i] || (want == '.' ? !IsHex(code[i]) : code[i] != want))
            return false;
    }
    return code[sizeof kPattern - 1] == '\0';
}

} // namespace

/* MsiQueryProductStateA: INSTALLSTATE_DEFAULT for a product registered by
 * its installer (above), INSTALLSTATE_UNKNOWN for any other well-formed
 * product code, INSTALLSTATE_INVALIDARG for NULL or a malformed code. */
extern "C" INSTALLSTATE WINAPI MsiQueryProductStateA(LPCSTR szProduct)
{
    if (!szProduct || !IsProductCode(szProduct))
        return INSTALLSTATE_INVALIDARG;
    char path[160];
    wsprintfA(path, "%s\\%s", kUninstallKey, szProduct);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return INSTALLSTATE_UNKNOWN;
    DWORD value = 0, type = 0, size = sizeof value;
    const LSTATUS status = RegQueryValueExA(key, "WindowsInstaller", nullptr, &type,
                                            reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || value != 1)
        return INSTALLSTATE_UNKNOWN;
    return INSTALLSTATE_DEFAULT;
}
