/*
 * PrintDlgA, headless: the dialog is answered at once.  OK takes the
 * default printer (or the printer named by the caller's DEVNAMES) with the
 * caller's device mode, returning DEVMODE and DEVNAMES handles and, with
 * PD_RETURNDC, a DC; cancel (scripted by tests, or when there is no
 * printer) returns FALSE with CommDlgExtendedError() 0.
 */
#include <commdlg.h>
#include <winport_test.h>

#include "spool/spool_private.h"
#include "user/common_dialog.h"

#include <cstring>
#include <deque>

namespace {

thread_local DWORD dialogError = 0;

std::deque<int> &answers()
{
    static std::deque<int> queue;
    return queue;
}

int nextAnswer()
{
    std::lock_guard<std::recursive_mutex> guard(winport::spool::SpoolLock());
    if (answers().empty())
        return IDOK;
    int a = answers().front();
    answers().pop_front();
    return a;
}

HGLOBAL copyToGlobal(const void *data, std::size_t size)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    if (h) {
        std::memcpy(GlobalLock(h), data, size);
        GlobalUnlock(h);
    }
    return h;
}

HGLOBAL makeDevNames(const std::string &device, const std::string &port, bool isDefault)
{
    const std::string driver = "winspool";
    std::vector<BYTE> buf(sizeof(DEVNAMES));
    auto add = [&](const std::string &s) {
        WORD offset = WORD(buf.size());
        buf.insert(buf.end(), s.begin(), s.end());
        buf.push_back(0);
        return offset;
    };
    DEVNAMES names{};
    names.wDriverOffset = add(driver);
    names.wDeviceOffset = add(device);
    names.wOutputOffset = add(port);
    names.wDefault = isDefault ? DN_DEFAULTPRN : 0;
    std::memcpy(buf.data(), &names, sizeof names);
    return copyToGlobal(buf.data(), buf.size());
}

/* The printer the caller's DEVNAMES names, else the default. */
std::string chosenPrinter(const PRINTDLGA &pd)
{
    if (pd.hDevNames && !(pd.Flags & PD_RETURNDEFAULT)) {
        auto *names = static_cast<const DEVNAMES *>(GlobalLock(pd.hDevNames));
        std::string device;
        if (names && names->wDeviceOffset < GlobalSize(pd.hDevNames))
            device.assign(reinterpret_cast<const char *>(names) + names->wDeviceOffset,
                          strnlen(reinterpret_cast<const char *>(names) + names->wDeviceOffset,
                                  GlobalSize(pd.hDevNames) - names->wDeviceOffset));
        GlobalUnlock(pd.hDevNames);
        if (!device.empty() && winport::spool::LoadPrinter(device))
            return device;
    }
    return winport::spool::DefaultPrinterName();
}

} // namespace

void winport_test_push_printdlg_answer(int answer)
{
    std::lock_guard<std::recursive_mutex> guard(winport::spool::SpoolLock());
    if (answer == 0)
        answers().clear();
    else
        answers().push_back(answer);
}

/* The open-file dialog (user/open_file.cpp) reports through the same
 * per-thread code. */
void winport::SetCommonDialogError(DWORD error)
{
    dialogError = error;
}

/***********************************************************************
 *           CommDlgExtendedError
 */
DWORD WINAPI CommDlgExtendedError(void)
{
    return dialogError;
}

/***********************************************************************
 *           PrintDlgA
 * No window is shown.  PD_RETURNDEFAULT with no default printer gives
 * PDERR_NODEFAULTPRN; otherwise a missing printer answers as a cancel.
 * PD_RETURNIC is treated as PD_RETURNDC.
 */
BOOL WINAPI PrintDlgA(LPPRINTDLGA pd)
{
    using namespace winport::spool;
    dialogError = 0;
    if (!pd || pd->lStructSize != sizeof(PRINTDLGA)) {
        dialogError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if ((pd->Flags & PD_RETURNDEFAULT) && (pd->hDevMode || pd->hDevNames)) {
        dialogError = CDERR_INITIALIZATION; /* must come in empty */
        return FALSE;
    }
    std::string name = chosenPrinter(*pd);
    auto printer = name.empty() ? std::nullopt : LoadPrinter(name);
    if (!printer) {
        dialogError = (pd->Flags & PD_RETURNDEFAULT) ? PDERR_NODEFAULTPRN : 0;
        return FALSE;
    }
    if (!(pd->Flags & PD_RETURNDEFAULT) && nextAnswer() != IDOK)
        return FALSE;
    DevMode dm = DefaultDevMode(*printer);
    if (pd->hDevMode) { /* the caller's earlier choice, kept */
        auto *given = static_cast<const DEVMODEA *>(GlobalLock(pd->hDevMode));
        if (FitsIn(reinterpret_cast<const BYTE *>(given), GlobalSize(pd->hDevMode)))
            if (auto copy = CopyDevMode(given))
                MergeDevMode(*printer, dm, AsDevMode(*copy));
        GlobalUnlock(pd->hDevMode);
        GlobalFree(pd->hDevMode);
    }
    if (pd->hDevNames)
        GlobalFree(pd->hDevNames);
    pd->hDevMode = copyToGlobal(dm.data(), dm.size());
    pd->hDevNames =
        makeDevNames(printer->name, printer->port, SameName(printer->name, DefaultPrinterName()));
    if (!pd->hDevMode || !pd->hDevNames) {
        dialogError = CDERR_MEMALLOCFAILURE;
        return FALSE;
    }
    if (pd->Flags & (PD_RETURNDC | PD_RETURNIC)) {
        pd->hDC = CreateDCA("WINSPOOL", printer->name.c_str(), nullptr, &AsDevMode(dm));
        if (!pd->hDC) {
            dialogError = PDERR_CREATEICFAILURE;
            return FALSE;
        }
    }
    /* With PD_USEDEVMODECOPIESANDCOLLATE the copies live in the DEVMODE. */
    pd->nCopies = (pd->Flags & PD_USEDEVMODECOPIESANDCOLLATE) ? 1 : WORD(AsDevMode(dm).dmCopies);
    return TRUE;
}
