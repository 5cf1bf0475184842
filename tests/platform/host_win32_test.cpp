// The Win32 host under Wine: the Application Error dialog's size, frame,
// hidden and disabled controls and its answers, message boxes' symbols and
// buttons, and a failing handler. A second thread drives the windows while the
// test's thread runs the modal loop. Last, the real tamberlin-demo.exe driven
// from another process, for what the terminal runs cannot see: a dialog
// disables the main window. What each action does is covered through the
// terminal.
#include <windows.h>

#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
#include "tests/support/app_state.h"
#include "tests/support/failing_form.h"
#include "tests/support/test_env.h"
#include "tests/support/win32_driver.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace {

using namespace tamberlin::ui;
using namespace tamberlin::testing;

// The Win32 host as the current host.
class Win32HostTest : public AppStateTest {
protected:
    Win32HostTest() { SetHost(host_.get()); }

    std::unique_ptr<Host> host_ = MakeGraphicalHost();
};

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Runs `act` on a second thread once the window titled `title` is shown with
// the focus in it (a click before that races its activation), while `show`
// runs the modal loop here and returns what it returns. `act` must close the
// window, else it is closed for it; a loop that still does not end ends the
// process.
int Drive(const std::string& title, const std::function<void(HWND)>& act,
          const std::function<int()>& show) {
    const Watchdog watchdog(30s, "the modal loop of \"" + title + "\" had not ended");
    std::thread driver([&] {
        HWND window = WaitForWindow(GetCurrentProcessId(), title);
        const bool shown = window && WaitUntil([&] { return IsChild(window, FocusOf(window)); });
        if (shown)
            act(window);
        if (!shown || !WaitUntil([&] { return !IsWindow(window); }, 5s)) {
            ADD_FAILURE() << (shown ? "the window stayed open" : "no window titled " + title);
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    });
    const int result = show();
    driver.join();
    return result;
}

// Boxes show the system symbol asked for and the buttons, and answer the one
// pressed.
TEST_F(Win32HostTest, MessageBoxesShowTheirSymbolAndAnswerTheButtonPressed) {
    const std::tuple<Buttons, Icon, int, LPCSTR> cases[] = {
        {Buttons::kRetryCancel, Icon::kWarning, kIdRetry, IDI_EXCLAMATION},
        {Buttons::kRetryCancel, Icon::kCritical, kIdCancel, IDI_HAND},
        {Buttons::kOK, Icon::kInformation, kIdOk, IDI_ASTERISK},
        {Buttons::kOK, Icon::kNone, kIdOk, nullptr}};
    for (const auto& [buttons, icon, press, system_icon] : cases) {
        const auto check_and_press = [&](HWND box) {
            HICON shown = nullptr;
            for (HWND c = nullptr; (c = FindWindowExA(box, c, "Static", nullptr));)
                if (IsWindowVisible(c) && (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                    shown = reinterpret_cast<HICON>(SendMessageA(c, STM_GETICON, 0, 0));
            EXPECT_EQ(shown, system_icon ? LoadIconA(nullptr, system_icon) : nullptr);
            EXPECT_EQ(IsWindowVisible(GetDlgItem(box, IDCANCEL)), buttons == Buttons::kRetryCancel);
            EXPECT_TRUE(Click(GetDlgItem(box, press)));
        };
        const auto ask = [&] { return host_->MsgBox("Disk not ready.", "Box", buttons, icon); };
        EXPECT_EQ(Drive("Box", check_and_press, ask), press);
    }
}

const char* const kAbort = "Abort and close application";
const char* const kEmail = "&Email Quillfern";
const char* const kIncludeData = "Include current project data";

// The Application Error dialog: its design size at the screen's dpi in a fixed
// frame with a close box; without the e-mail part it ends at the separator,
// 2775 twips outside, and the controls left out or cut off are hidden and out
// of the tab order. It answers 3 for abort, 4 for a retry (a double-click on
// the message) and 0 when closed without a button, by the close box or Esc.
TEST_F(Win32HostTest, ErrorDialogSizeFrameAndAnswers) {
    modQFAllData::strAppTitle = "Host Test";
    const auto show = [](bool full, const std::function<void(HWND)>& act) {
        return Drive("Host Test Error", act, [&] {
            return modQFCriticalErrorHandler::ShowErrorDialog("Line one", full, full);
        });
    };
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto full_abort_and_ok = [&](HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, MulDiv(5670, dpi, 1440));  // 378 at 96 dpi
        EXPECT_EQ(client.bottom, MulDiv(3285, dpi, 1440)); // 219 at 96 dpi
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
        EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
        Click(ButtonOf(window, kAbort));
        Click(ButtonOf(window, "OK"));
    };
    const auto cut_off_double_click = [&](HWND window) {
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_NEAR((outer.bottom - outer.top) * 1440 / dpi, 2775, 1440 / dpi);
        for (const char* hidden : {kAbort, kEmail, kIncludeData})
            EXPECT_FALSE(IsWindowVisible(ButtonOf(window, hidden))) << hidden;
        // Tab visits only what is shown: the message and OK.
        HWND message = FindWindowExA(window, nullptr, "Edit", nullptr), focus = FocusOf(window);
        for (int i = 0; i < 4; ++i) {
            focus = GetNextDlgTabItem(window, focus, FALSE);
            EXPECT_TRUE(focus == ButtonOf(window, "OK") ||
                        GetDlgCtrlID(focus) == GetDlgCtrlID(message))
                << GetDlgCtrlID(focus);
        }
        PostMessageW(message, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    };
    EXPECT_EQ(show(true, full_abort_and_ok), 3);
    EXPECT_EQ(show(false, cut_off_double_click), 4);
    EXPECT_EQ(show(true, [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }), 0);
    // Esc is the close box, from the message (a multi-line text box, which
    // keeps most keys for itself) as from a button.
    for (const char* from : {"the message", "OK"}) {
        const auto escape = [&](HWND window) {
            HWND control = from == std::string("OK") ? ButtonOf(window, from) : FocusOf(window);
            PostMessageW(control, WM_KEYDOWN, VK_ESCAPE, 1);
        };
        EXPECT_EQ(show(true, escape), 0) << from;
    }
}

// A disabled control shows greyed; the close box unloads the form.
TEST_F(Win32HostTest, DisabledControlsShowAndTheCloseBoxUnloads) {
    frmQFCriticalErrorHandler form;
    Load(form);
    form.caption = "Host Test Form";
    form.cmdEmail().enabled = false;
    const auto check_and_close = [](HWND window) {
        HWND email = ButtonOf(window, kEmail);
        EXPECT_TRUE(IsWindowVisible(email) && !IsWindowEnabled(email));
        PostMessageW(window, WM_CLOSE, 0, 0);
    };
    EXPECT_FALSE(
        Drive(form.caption, check_and_close, [&] { return ShowModal(form), IsLoaded(form); }));
}

// The handler's error closes the window, unloads the form and is logged once;
// it never crosses the window procedure.
TEST_F(Win32HostTest, AFailingHandlerUnloadsItsFormAndIsLoggedOnce) {
    const CapturedLog log;
    FailingForm form;
    const auto press = [](HWND window) { Click(ButtonOf(window, "Fail")); };
    EXPECT_FALSE(Drive(form.caption, press, [&] { return ShowModal(form), IsLoaded(form); }));
    EXPECT_EQ(log.Entries(),
              std::vector<std::string>{"frmFailing.cmdFail_Click, 51, the handler failed"});
}

// The demo with its graphical host, in a job that ends it when the test
// ends, however the test ends.
class Demo {
public:
    Demo() {
        std::string path = TAMBERLIN_DEMO;
        std::replace(path.begin(), path.end(), '/', '\\');
        std::string command = "\"" + (path[0] == '\\' ? "Z:" + path : path) + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
        limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limit, sizeof limit);
        const EnvironmentOverride gui("TAMBERLIN_UI", "gui");
        started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                 nullptr, nullptr, &startup, &process_) &&
                  AssignProcessToJobObject(job_, process_.hProcess) &&
                  ResumeThread(process_.hThread) != static_cast<DWORD>(-1);
    }
    ~Demo() {
        CloseHandle(job_);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    // The exit status once the demo has ended; STILL_ACTIVE after 10 s.
    DWORD Status() const {
        DWORD status = 0;
        WaitForSingleObject(process_.hProcess, 10000);
        GetExitCodeProcess(process_.hProcess, &status);
        return status;
    }
    HWND Window(const std::string& caption) const {
        return WaitForWindow(process_.dwProcessId, caption);
    }

    bool started = false;

private:
    HANDLE job_ = CreateJobObjectA(nullptr, nullptr);
    PROCESS_INFORMATION process_{};
};

// The main window is disabled while a dialog is open and enabled again after
// it; Exit ends the demo with status 0.
TEST(DemoWin32Test, ADialogIsModalToTheMainWindow) {
    const Watchdog watchdog(100s, "the demo was still being driven");
    const Demo demo;
    ASSERT_TRUE(demo.started) << "could not start " << TAMBERLIN_DEMO;
    HWND window = demo.Window("Tamberlin");
    ASSERT_NE(window, nullptr) << "the main window did not appear";
    ASSERT_TRUE(Click(ButtonOf(window, "Divide by zero")));
    HWND dialog = demo.Window("Tamberlin Error");
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(window)) << "the main window stays usable under the dialog";
    ASSERT_TRUE(Click(ButtonOf(dialog, "OK")));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(window) != FALSE; }));
    ASSERT_TRUE(Click(ButtonOf(window, "E&xit")));
    EXPECT_EQ(demo.Status(), 0u);
}

} // namespace
