/*
 * Helpers for the spooler tests: a fresh root per test, printers written
 * to the registry as an operator would, and poppler's tools to read PDFs.
 */
#ifndef WINPORT_TESTS_SPOOL_TEST_UTIL_H
#define WINPORT_TESTS_SPOOL_TEST_UTIL_H

#include <posix_files.h>
#include <windows.h>
#include <winspool.h>

#include "scratch_root.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace spooltest {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr const char *kEmbedded = "Workstation PDF";

inline void setString(HKEY key, const char *name, const std::string &v)
{
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(v.c_str()),
                             DWORD(v.size() + 1)));
}

inline void setDword(HKEY key, const char *name, DWORD v)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD,
                                            reinterpret_cast<const BYTE *>(&v), sizeof v));
}

/* Writes a printer key; values not given keep the spooler's defaults. */
inline void addPrinter(const std::string &name, const std::map<std::string, std::string> &strings,
                       const std::map<std::string, DWORD> &dwords = {})
{
    std::string path = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + name;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    for (const auto &[k, v] : strings)
        setString(key, k.c_str(), v);
    for (const auto &[k, v] : dwords)
        setDword(key, k.c_str(), v);
    RegCloseKey(key);
}

/* A 300 dpi folder printer with three papers, two bins, margins. */
inline void addFolderPrinter(const std::string &name, const std::string &folder)
{
    addPrinter(name,
               {{"Printer Driver", "Test Laser"},
                {"Port", "FOLDER:" + folder},
                {"Papers", "1:2159x2794:Letter;5:2159x3556:Legal;9:2100x2970:A4"},
                {"Bins", "1:Upper Tray;4:Manual Feed"},
                {"Margins", "0,0,0,0"},
                {"Resolutions", "150"}},
               {{"Resolution", 300}, {"Color", 1}});
}

class SpoolTest : public ::testing::Test {
protected:
    /* No CUPS server unless a test starts its own: queues of the machine's
     * server would show up among the printers. */
    SpoolTest() { setenv("CUPS_SERVER", "/nonexistent/winport-test-cups.sock", 1); }
    ScratchRoot root;
};

/* pdfinfo's "Pages:" and each page's "Page N size:" lines. */
inline std::string pdfInfo(const std::string &path, int firstPage = 0, int lastPage = 0)
{
    std::string cmd = std::string(WINPORT_PDFINFO) + " ";
    if (firstPage)
        cmd += "-f " + std::to_string(firstPage) + " -l " + std::to_string(lastPage) + " ";
    return RunCommand(cmd + "'" + path + "' 2>&1");
}

inline std::string pdfText(const std::string &path)
{
    return RunCommand(std::string(WINPORT_PDFTOTEXT) + " -layout '" + path + "' - 2>&1");
}

inline std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> filesIn(const std::string &dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(dir, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/* An open printer handle, closed at scope end. */
struct OpenedPrinter {
    HANDLE h = nullptr;
    explicit OpenedPrinter(const std::string &name)
    {
        OpenPrinterA(const_cast<char *>(name.c_str()), &h, nullptr);
    }
    ~OpenedPrinter()
    {
        if (h)
            ClosePrinter(h);
    }
};

inline PRINTER_INFO_2A *printerInfo2(HANDLE h, std::vector<BYTE> &buf)
{
    DWORD needed = 0;
    GetPrinterA(h, 2, nullptr, 0, &needed);
    buf.assign(needed, 0);
    if (!GetPrinterA(h, 2, buf.data(), needed, &needed))
        return nullptr;
    return reinterpret_cast<PRINTER_INFO_2A *>(buf.data());
}

} // namespace spooltest

#endif /* WINPORT_TESTS_SPOOL_TEST_UTIL_H */
