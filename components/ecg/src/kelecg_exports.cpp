/*
 * "KelEcg.dll", the ECG library: one report at a time, set up by the
 * printer and data-file setters and printed by PrintReport (Holter
 * reports the same way).  The data file is an HL7 annotated ECG (drawn as
 * a 12-lead report) or a PDF report (printed as it is); the device
 * makers' own formats are not read, and such a file prints nothing.
 */
#define KELECG_API extern "C" __attribute__((visibility("default")))
#include <kelecg.h>

#include "aecg.h"
#include "ecg_report.h"
#include "pdf_draw.h"
#include "pdf_files.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace {

struct Report {
    std::mutex lock;
    std::string printer;
    std::string dataFile;
};

Report &Current()
{
    static Report *report = new Report;
    return *report;
}

void Complain(const std::string &text)
{
    std::fprintf(stderr, "KelEcg: %s\n", text.c_str());
}

bool PrintAecg(HDC dc, const ecg::Recording &recording)
{
    if (StartPage(dc) <= 0)
        return false;
    bool drawn = ecg::DrawReport(dc, recording);
    return EndPage(dc) > 0 && drawn;
}

int Print()
{
    Report &r = Current();
    std::lock_guard<std::mutex> guard(r.lock);
    std::string data, error;
    if (r.printer.empty() || !pdfshared::ReadWholeFile(r.dataFile, &data, &error)) {
        Complain(r.printer.empty() ? "no printer set" : error);
        return 0;
    }
    const bool pdf = data.compare(0, 5, "%PDF-") == 0;
    ecg::Recording recording;
    if (!pdf && !ecg::ReadAecg(data, &recording, &error)) {
        Complain("unsupported data file " + r.dataFile + ": " + error);
        return 0;
    }
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmFields = DM_ORIENTATION;
    mode.dmOrientation = DMORIENT_LANDSCAPE;
    HDC dc = CreateDCA(nullptr, r.printer.c_str(), nullptr, pdf ? nullptr : &mode);
    if (!dc) {
        Complain("no printer " + r.printer);
        return 0;
    }
    DOCINFOA info = {sizeof(DOCINFOA), "ECG report", nullptr, nullptr, 0};
    int ok = 0;
    if (StartDocA(dc, &info) > 0) {
        if (pdf) {
            pdfshared::PrintRequest request;
            request.hdc = dc;
            ok = pdfshared::PrintPdf(data, request, &error) > 0;
        } else {
            ok = PrintAecg(dc, recording);
        }
        if (ok)
            ok = EndDoc(dc) > 0;
        else
            AbortDoc(dc);
    }
    DeleteDC(dc);
    if (!ok)
        Complain("the report did not print: " + error);
    return ok;
}

int SetPrinter(const char *printer)
{
    std::lock_guard<std::mutex> guard(Current().lock);
    Current().printer = printer ? printer : "";
    return 1;
}

int SetData(const char *path)
{
    std::lock_guard<std::mutex> guard(Current().lock);
    Current().dataFile = path ? path : "";
    return 1;
}

} // namespace

int WINAPI InitializeErc(void)
{
    SetPrinter(nullptr);
    return SetData(nullptr);
}
int WINAPI ErcSetPrinter(const char *szPrinter)
{
    return SetPrinter(szPrinter);
}
int WINAPI HolterSetPrinter(const char *szPrinter)
{
    return SetPrinter(szPrinter);
}
int WINAPI SetReportDataFromFile(const char *szPath)
{
    return SetData(szPath);
}
int WINAPI HolterSetReportDataFromFile(const char *szPath)
{
    return SetData(szPath);
}
int WINAPI PrintReport(void)
{
    return Print();
}
int WINAPI HolterPrintReport(void)
{
    return Print();
}
