/*
 * MessageBoxA: the box goes to the process's error log; with a display it is
 * a real modal box, headless it is answered by its default button.  A
 * scripted answer wins over both, so tests behave the same on a desktop.
 * Also the message-box test hooks of winport_test.h.
 */
#include "user/error_log.h"
#include "user/modal_loop.h"
#include "user/shell_display.h"

#include <winport_test.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#ifndef MB_ICONMASK
#define MB_ICONMASK 0x000000F0L
#endif

namespace winport {
namespace {

struct MessageBoxState {
    std::mutex lock;
    std::deque<int> answers; // guarded by lock
    std::string last;        // guarded by lock
    int count = 0;           // guarded by lock
};

MessageBoxState &State()
{
    static MessageBoxState *state = new MessageBoxState;
    return *state;
}

/* The buttons of a box type, left to right; empty for an invalid type. */
std::vector<int> Buttons(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK:
        return {IDOK};
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE:
        return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default:
        return {};
    }
}

/* MB_DEFBUTTON2/3 pick the second/third button; a default button the box
 * does not have falls back to the first, as Windows does. */
int DefaultButton(const std::vector<int> &buttons, UINT type)
{
    size_t index = 0;
    if ((type & MB_DEFMASK) == MB_DEFBUTTON2)
        index = 1;
    else if ((type & MB_DEFMASK) == MB_DEFBUTTON3)
        index = 2;
    return buttons[index < buttons.size() ? index : 0];
}

const char *Label(int id)
{
    switch (id) {
    case IDOK:
        return "_OK";
    case IDCANCEL:
        return "_Cancel";
    case IDABORT:
        return "_Abort";
    case IDRETRY:
        return "_Retry";
    case IDIGNORE:
        return "_Ignore";
    case IDYES:
        return "_Yes";
    case IDNO:
        return "_No";
    case IDTRYAGAIN:
        return "_Try Again";
    default:
        return "_Continue";
    }
}

/* What closing the box answers: Cancel where the box has it, OK for a
 * box with OK alone; Yes/No and Abort/Retry/Ignore boxes close only
 * through a button. */
int CloseAnswer(const std::vector<int> &buttons)
{
    for (int id : buttons)
        if (id == IDCANCEL)
            return IDCANCEL;
    return buttons.size() == 1 ? buttons[0] : 0;
}

int IconOf(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return kShellIconError;
    case MB_ICONQUESTION:
        return kShellIconQuestion;
    case MB_ICONEXCLAMATION:
        return kShellIconWarning;
    case MB_ICONASTERISK:
        return kShellIconInfo;
    default:
        return kShellIconNone;
    }
}

/* The box on the display, the calling thread's messages dispatched while
 * it is open. */
int ShowOnDisplay(const ShellDisplay &display, HWND owner, const char *text, const char *caption,
                  UINT type, const std::vector<int> &buttons)
{
    std::vector<ShellButton> shown;
    for (int id : buttons)
        shown.push_back({id, Label(id)});
    ModalLoop loop(owner && IsWindow(owner) ? owner : nullptr);
    const int answer =
        display.message(caption ? caption : "Error", text ? text : "", IconOf(type),
                        (type & MB_TOPMOST) != 0, shown.data(), static_cast<int>(shown.size()),
                        DefaultButton(buttons, type), CloseAnswer(buttons), PumpModal, &loop);
    loop.End();
    return answer;
}

} // namespace
} // namespace winport

/* MessageBoxA:  Writes "<caption>: <text>" to the process's error
 * log (and stderr when it is a terminal) and returns the next scripted
 * answer, else the default button, without waiting.  The owner window is
 * not checked.  An invalid box type fails with 0 and
 * ERROR_INVALID_MSGBOX_STYLE. */
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    using namespace winport;
    (void)hWnd;
    const std::vector<int> buttons = Buttons(uType);
    if (buttons.empty()) {
        SetLastError(ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    const std::string shown =
        std::string(lpCaption ? lpCaption : "Error") + ": " + (lpText ? lpText : "");
    WriteErrorLog(shown);

    MessageBoxState &state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.last = shown;
        state.count++;
        if (!state.answers.empty()) {
            int answer = state.answers.front();
            state.answers.pop_front();
            return answer;
        }
    }
    if (const ShellDisplay *display = Display())
        return ShowOnDisplay(*display, hWnd, lpText, lpCaption, uType, buttons);
    return DefaultButton(buttons, uType);
}

/* winport_test_push_msgbox_answer: queues an answer; 0 clears the queue. */
void winport_test_push_msgbox_answer(int answer)
{
    auto &state = winport::State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (answer == 0)
        state.answers.clear();
    else
        state.answers.push_back(answer);
}

/* winport_test_last_msgbox: "caption: text" of the last box ("" if none);
 * the text stays valid until this thread's next call. */
const char *winport_test_last_msgbox(void)
{
    static thread_local std::string copy;
    auto &state = winport::State();
    std::lock_guard<std::mutex> guard(state.lock);
    copy = state.last;
    return copy.c_str();
}

/* winport_test_msgbox_count: boxes shown since the last reset. */
int winport_test_msgbox_count(void)
{
    auto &state = winport::State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.count;
}

/* winport_test_reset_msgboxes: forgets the boxes and the scripted answers. */
void winport_test_reset_msgboxes(void)
{
    auto &state = winport::State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.answers.clear();
    state.last.clear();
    state.count = 0;
}
