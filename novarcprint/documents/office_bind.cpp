/*
 * The office and ECG libraries bound by name (see office_bind.h).  A
 * library is loaded for each use, as its maker wants: an office program
 * updated in between is found at the next print.
 */
#include "office_bind.h"

#include <cstdio>
#include <string>
#include <type_traits>

#include <kelecg.h>

namespace {

/* A loaded library for one use. */
class Library {
public:
    explicit Library(const char *szPath) : m_hModule(LoadLibraryA(szPath)) {}
    ~Library()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    bool Loaded() const { return m_hModule != NULL; }

    /* The function named szName with the signature of its declaration Fn;
     * a result-type zero (after the quit message) when it is missing. */
    template <typename Fn, typename... A> auto Call(const char *szName, A... args)
    {
        using R = std::invoke_result_t<Fn *, A...>;
        auto generic = reinterpret_cast<void (*)(void)>(GetProcAddress(m_hModule, szName));
        if (!generic) {
            PostQuitMessage(0);
            return R();
        }
        return reinterpret_cast<Fn *>(generic)(args...);
    }

private:
    HMODULE m_hModule;
};

std::string OfficeLibraryPath()
{
    char szSystem[MAX_PATH] = "";
    GetSystemDirectoryA(szSystem, sizeof(szSystem));
    char szPath[MAX_PATH + 16];
    snprintf(szPath, sizeof(szPath), "%s\\%s", szSystem, "KelWord.dll");
    return szPath;
}

} // namespace

int KelWordInstalled(const char *szFunction, char *szMessage)
{
    Library lib(OfficeLibraryPath().c_str());
    if (!lib.Loaded())
        return 0;
    return lib.Call<decltype(WordInstalled)>(szFunction, szMessage);
}

int KelWordPrint(const char *szFunction, const char *szPrinter, const char *szPath,
                 const char *szText1, const char *szText2, char *szMessage)
{
    Library lib(OfficeLibraryPath().c_str());
    if (!lib.Loaded())
        return 0;
    return lib.Call<decltype(PrintWordDocument)>(szFunction, szPrinter, szPath, szText1, szText2,
                                                 szMessage);
}

bool KelEcgPrintReport(int iKind, const char *szPrinter, const char *szPath)
{
    Library lib(KELECG_FOLDER "\\KelEcg.dll");
    if (!lib.Loaded())
        return false;
    lib.Call<decltype(InitializeErc)>("InitializeErc");
    if (iKind == ECG_KIND_HOLTER) {
        lib.Call<decltype(HolterSetPrinter)>("HolterSetPrinter", szPrinter);
        lib.Call<decltype(HolterSetReportDataFromFile)>("HolterSetReportDataFromFile", szPath);
        lib.Call<decltype(HolterPrintReport)>("HolterPrintReport");
    } else {
        lib.Call<decltype(ErcSetPrinter)>("ErcSetPrinter", szPrinter);
        lib.Call<decltype(SetReportDataFromFile)>("SetReportDataFromFile", szPath);
        lib.Call<decltype(PrintReport)>("PrintReport");
    }
    return true;
}
