/*
 * Message boxes and the open-file dialog on a display: Xvfb of the test's
 * own, the dialogs answered as a user would, through XTest keys.  Every
 * case runs a dialog on a thread of its own and presses keys at it.
 */
#include <commdlg.h>
#include <windows.h>
#include <winport_test.h>

#include "scratch_root.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

/* Xvfb on a display it picks itself (no clash with other test runs). */
class VirtualScreen {
public:
    VirtualScreen()
    {
        for (int attempt = 0; attempt < 3 && name_.empty(); attempt++)
            Start();
    }
    /* Not stopped before the program ends (see Start). */
    ~VirtualScreen() = default;
    const std::string &name() const { return name_; }

private:
    void Start()
    {
        Stop();
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            // The toolkit ends a process whose display goes away: the
            // screen lives exactly as long as this test program.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(fds[1], 3); // without close-on-exec, unlike the original
            execlp(XVFB_EXE, "Xvfb", "-displayfd", "3", "-screen", "0", "800x600x24", "-nolisten",
                   "tcp", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        ssize_t n;
        while ((n = read(fds[0], &c, 1)) != 0 && number.size() < 8) { // once it listens
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (!number.empty())
            name_ = ":" + number;
    }
    void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    pid_t pid_ = -1;
    std::string name_;
};

/* The user: finds a window by its title, gives it the keyboard, presses. */
class User {
public:
    explicit User(const std::string &display) : dpy_(XOpenDisplay(display.c_str())) {}
    ~User()
    {
        if (dpy_)
            XCloseDisplay(dpy_);
    }
    bool ok() const { return dpy_ != nullptr; }

    /* Waits (a few seconds at most) for a shown top-level window titled
     * `title` and focuses it. */
    bool Focus(const std::string &title)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Window w = Find(title)) {
                std::this_thread::sleep_for(200ms); // drawn and ready for keys
                XSetInputFocus(dpy_, w, RevertToParent, CurrentTime);
                XSync(dpy_, False);
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    bool Shown(const std::string &title) { return Find(title) != 0; }
    void Key(KeySym sym, bool alt = false)
    {
        const KeyCode altCode = XKeysymToKeycode(dpy_, XK_Alt_L);
        if (alt)
            XTestFakeKeyEvent(dpy_, altCode, True, CurrentTime);
        const KeyCode code = XKeysymToKeycode(dpy_, sym);
        XTestFakeKeyEvent(dpy_, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy_, code, False, 30);
        if (alt)
            XTestFakeKeyEvent(dpy_, altCode, False, 30);
        XSync(dpy_, False);
    }

private:
    Window Find(const std::string &title)
    {
        Window rootOut, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(dpy_, DefaultRootWindow(dpy_), &rootOut, &parent, &children, &count))
            return 0;
        for (unsigned i = 0; i < count && !found; i++) {
            XWindowAttributes a;
            char *name = nullptr;
            if (XGetWindowAttributes(dpy_, children[i], &a) && a.map_state == IsViewable &&
                XFetchName(dpy_, children[i], &name) && name) {
                if (title == name)
                    found = children[i];
                XFree(name);
            }
        }
        if (children)
            XFree(children);
        return found;
    }
    Display *dpy_;
};

class DialogsOnDisplay : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        screen_ = new VirtualScreen;
        // Before winport first looks for a display; no session bus here.
        setenv("DISPLAY", screen_->name().c_str(), 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("GIO_USE_VFS", "local", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
    }
    void SetUp() override
    {
        ASSERT_FALSE(screen_->name().empty()) << "Xvfb did not start";
        winport_test_reset_msgboxes();
    }
    /* MessageBoxA on a thread of its own while `act` plays the user. */
    int Box(const char *text, const char *caption, UINT type,
            const std::function<void(User &)> &act)
    {
        auto answer = std::async(std::launch::async,
                                 [=] { return MessageBoxA(nullptr, text, caption, type); });
        User user(screen_->name());
        EXPECT_TRUE(user.ok());
        EXPECT_TRUE(user.Focus(caption)) << "no box titled " << caption;
        act(user);
        EXPECT_EQ(answer.wait_for(10s), std::future_status::ready) << caption << " stayed open";
        return answer.get();
    }
    static VirtualScreen *screen_;
    ScratchRoot root_;
};
VirtualScreen *DialogsOnDisplay::screen_ = nullptr;

TEST_F(DialogsOnDisplay, MessageBoxAnswersTheButtonPressed)
{
    // Return is the default button: the second one here.
    EXPECT_EQ(Box("Keep it?", "Second Is Default", MB_YESNOCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION,
                  [](User &u) { u.Key(XK_Return); }),
              IDNO);
    EXPECT_EQ(Box("Keep it?", "Escape Cancels", MB_YESNOCANCEL, [](User &u) { u.Key(XK_Escape); }),
              IDCANCEL);
    EXPECT_EQ(Box("Sure?", "Escape Is Not An Answer", MB_YESNO | MB_ICONWARNING | MB_TOPMOST,
                  [](User &u) {
                      u.Key(XK_Escape); // a Yes/No box has no way out but its buttons
                      std::this_thread::sleep_for(300ms);
                      EXPECT_TRUE(u.Shown("Escape Is Not An Answer"));
                      u.Key(XK_y, true);
                  }),
              IDYES);
    EXPECT_EQ(Box("Done.", "Escape Is OK", MB_OK, [](User &u) { u.Key(XK_Escape); }), IDOK);
    EXPECT_EQ(
        Box("x", "Retry", MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, [](User &u) { u.Key(XK_r, true); }),
        IDRETRY);
    // A log's worth of text, with bytes that are not UTF-8, is shown scrolled.
    const std::string log = std::string(30000, 'a') + "\xff\xfe" + "THE END";
    EXPECT_EQ(Box(log.c_str(), "Long Text", MB_OK, [](User &u) { u.Key(XK_Return); }), IDOK);
    EXPECT_EQ(winport_test_msgbox_count(), 6);

    // A scripted answer still wins, with no window.
    winport_test_push_msgbox_answer(IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "Scripted", MB_OKCANCEL), IDCANCEL);
}

TEST_F(DialogsOnDisplay, OpenFileOffersTheGivenFileAndCancels)
{
    std::filesystem::create_directories(root_.driveC("logs"));
    for (const char *name : {"a.log", "b.log", "c.txt"})
        std::ofstream(root_.driveC(std::string("logs/") + name)) << name;
    char file[MAX_PATH] = "b.log";
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = "Logs (*.log)\0*.log\0Everything\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = "C:\\logs";
    ofn.lpstrTitle = "Pick A Log";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    const auto run = [&](KeySym key, bool alt) {
        auto chosen = std::async(std::launch::async, [&] { return GetOpenFileNameA(&ofn); });
        User user(screen_->name());
        EXPECT_TRUE(user.Focus("Pick A Log"));
        std::this_thread::sleep_for(500ms); // the folder listed
        user.Key(key, alt);
        EXPECT_EQ(chosen.wait_for(10s), std::future_status::ready) << "the dialog stayed open";
        return chosen.get();
    };
    ASSERT_TRUE(run(XK_o, true)); // Open
    EXPECT_STREQ(file, "C:\\logs\\b.log");
    EXPECT_EQ(ofn.nFileOffset, 8);
    EXPECT_EQ(ofn.nFileExtension, 10);

    EXPECT_FALSE(run(XK_Escape, false));
    EXPECT_EQ(CommDlgExtendedError(), 0u) << "a cancel";
}

} // namespace
