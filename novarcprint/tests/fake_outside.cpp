/*
 * A stand-in for the office library and the ECG library in the client's
 * tests: every call is appended, with its arguments, to C:\calls.txt of
 * the test's root, so a test reads back what the client asked for.  A
 * file path containing "fail" makes the office prints fail with a message.
 */
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#define KELWORD_API extern "C" __attribute__((visibility("default")))
#define KELECG_API extern "C" __attribute__((visibility("default")))
#include <kelecg.h>
#include <kelword.h>

namespace {

void Note(const std::string &line)
{
    HANDLE h = CreateFileA("C:\\calls.txt", FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    std::string text = line + "\n";
    WriteFile(h, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(h);
}

int Print(const char *fn, const char *printer, const char *path, const char *t1, const char *t2,
          char *message)
{
    Note(std::string(fn) + "|" + printer + "|" + path + "|" + t1 + "|" + t2);
    if (strstr(path, "fail")) {
        snprintf(message, KELWORD_MESSAGE_SIZE, "%s", "the document cannot be opened");
        return 0;
    }
    return 1;
}

} // namespace

int WINAPI WordInstalled(char *message)
{
    Note("WordInstalled");
    snprintf(message, KELWORD_MESSAGE_SIZE, "%s", "stand-in");
    return 1;
}
int WINAPI ExcelInstalled(char *message)
{
    Note("ExcelInstalled");
    message[0] = 0;
    return 0;
}
int WINAPI PrintWordDocument(const char *p, const char *f, const char *a, const char *b, char *m)
{
    return Print("PrintWordDocument", p, f, a, b, m);
}
int WINAPI PrintExcelDocument(const char *p, const char *f, const char *a, const char *b, char *m)
{
    return Print("PrintExcelDocument", p, f, a, b, m);
}
int WINAPI PrintAcrobatDocument(const char *p, const char *f, const char *a, const char *b, char *m)
{
    return Print("PrintAcrobatDocument", p, f, a, b, m);
}

int WINAPI InitializeErc(void)
{
    Note("InitializeErc");
    return 1;
}
int WINAPI ErcSetPrinter(const char *printer)
{
    Note(std::string("ErcSetPrinter|") + printer);
    return 1;
}
int WINAPI HolterSetPrinter(const char *printer)
{
    Note(std::string("HolterSetPrinter|") + printer);
    return 1;
}
/* The data file must exist while the library reads it. */
int WINAPI SetReportDataFromFile(const char *path)
{
    Note(std::string("SetReportDataFromFile|") + path + "|" +
         (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? "present" : "missing"));
    return 1;
}
int WINAPI HolterSetReportDataFromFile(const char *path)
{
    Note(std::string("HolterSetReportDataFromFile|") + path);
    return 1;
}
int WINAPI PrintReport(void)
{
    Note("PrintReport");
    return 1;
}
int WINAPI HolterPrintReport(void)
{
    Note("HolterPrintReport");
    return 1;
}
