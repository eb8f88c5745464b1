/*
 * MessageBoxA, headless: the box goes to the process's error log and is
 * answered by a scripted answer or its default button.  Also the message-box
 * test hooks of winport_test.h.
 */
#include "user/error_log.h"

#include <winport_test.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

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

} // namespace
} // namespace winport

/* MessageBoxA: headless.  Writes "<caption>: <text>" to the process's error
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
    std::lock_guard<std::mutex> guard(state.lock);
    state.last = shown;
    state.count++;
    if (!state.answers.empty()) {
        int answer = state.answers.front();
        state.answers.pop_front();
        return answer;
    }
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
