// The Win32 host under Wine: the Application Error dialog's size, frame,
// hidden and disabled controls and its answers, message boxes' symbols and
// buttons, and a failing handler. A second thread drives the windows while the
// test's thread runs the modal loop. Last, what the terminal runs cannot
// see: a dialog disables the window below it. What each action does is
// covered through the terminal.
#include <windows.h>

#include "errors/consent_form.h"
#include "platform/text_win32.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
#include "tests/support/app_state.h"
#include "tests/support/failing_form.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <oleacc.h>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace tamberlin::ui;
using namespace tamberlin::testing;
using namespace std::chrono_literals;
using tamberlin::platform::win32::Utf8FromWide;
using tamberlin::platform::win32::WideFromUtf8;

// The windows are driven the way a user does, from another thread or
// process: found by caption, buttons clicked with messages, texts read with
// messages. Every wait is bounded.

// Polls `condition` until it holds or `limit` has passed; answers whether it
// held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Sleep(20);
    }
    return true;
}

// The window's text as UTF-8, asked for with WM_GETTEXT so that the windows
// of another process answer too.
std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return "<no answer>";
    std::wstring text(length + 1, L'\0');
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &length);
    text.resize(length);
    return Utf8FromWide(text);
}

// Waits for a visible top-level window of `process` with that caption; null
// after 10 s.
HWND WaitForWindow(DWORD process, const std::string& caption) {
    HWND found = nullptr;
    WaitUntil([&] {
        for (found = GetTopWindow(nullptr); found; found = GetWindow(found, GW_HWNDNEXT)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == process && IsWindowVisible(found) && TextOf(found) == caption)
                return true;
        }
        return false;
    });
    return found;
}

// The child button with that caption (null when there is none).
HWND ButtonOf(HWND parent, const std::string& caption) {
    return FindWindowExW(parent, nullptr, L"Button", WideFromUtf8(caption).c_str());
}

// Posts a click to the button, since a sent one would not return before the
// modal windows it opens had closed; answers whether there was a button.
bool Click(HWND button) {
    return button && PostMessageW(button, BM_CLICK, 0, 0);
}

// The control's rectangle in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What a screen reader adds after the window's name (or, given
// get_accName, the name), asked the way it asks.
std::string DescriptionOf(HWND window, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(
                                           VARIANT, BSTR*) = &IAccessible::get_accDescription) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string out = "<no accessible object>";
    IAccessible* object = nullptr;
    // Loaded, not linked: oleacc's import library defines IID_IAccessible again.
    using FromWindow = HRESULT WINAPI(HWND, DWORD, REFIID, void**);
    auto* from_window = reinterpret_cast<FromWindow*>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryW(L"oleacc.dll"), "AccessibleObjectFromWindow")));
    if (from_window && SUCCEEDED(from_window(window, static_cast<DWORD>(OBJID_CLIENT),
                                             IID_IAccessible, reinterpret_cast<void**>(&object)))) {
        VARIANT self{}; // CHILDID_SELF
        self.vt = VT_I4;
        BSTR text = nullptr;
        out = (object->*get)(self, &text) == S_OK && text ? Utf8FromWide(text) : "<none>";
        SysFreeString(text);
        object->Release();
    }
    return out;
}

// Whether this system's annotation service keeps a description that a
// screen reader then reads (under Wine 8 SetHwndPropStr is a stub answering
// E_NOTIMPL): the descriptions are checked only where it does.
bool AnnotationsAreRead() {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccPropServices* services = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
        services->SetHwndPropStr(probe, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                 PROPID_ACC_DESCRIPTION, L"probe");
        services->Release();
    }
    const bool read = DescriptionOf(probe) == "probe";
    DestroyWindow(probe);
    return read;
}

// Ends the test's process, telling `what` on standard error, unless
// destroyed within `limit`.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, std::string what)
        : thread_([=, done = done_.get_future()] {
              if (done.wait_for(limit) == std::future_status::ready)
                  return;
              std::fprintf(stderr, "watchdog: %s after %d s\n", what.c_str(),
                           static_cast<int>(limit.count()));
              std::fflush(stderr);
              TerminateProcess(GetCurrentProcess(), 3);
          }) {}
    ~Watchdog() {
        done_.set_value();
        thread_.join();
    }

private:
    std::promise<void> done_;
    std::thread thread_;
};

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

// The Application Error dialog: in a fixed frame with a close box, its
// controls described for screen readers; without the e-mail part it ends at
// the separator, and the controls left out or cut off are hidden and out of
// the tab order. It answers 3 for abort, 4 for a retry (a double-click on
// the message) and 0 when closed without a button, by the close box or Esc.
TEST_F(Win32HostTest, ErrorDialogSizeFrameAndAnswers) {
    modQFAllData::strAppTitle = "Host Test";
    const auto show = [](bool full, const std::function<void(HWND)>& act) {
        return Drive("Host Test Error", act, [&] {
            return modQFCriticalErrorHandler::ShowErrorDialog("Line one", full, full);
        });
    };
    const bool annotations = AnnotationsAreRead();
    const auto full_abort_and_ok = [&](HWND window) {
        // What a screen reader adds: the dialog's is its message's first
        // sentence, the message's how to retry, the check box's what OK does.
        HWND message = FindWindowExA(window, nullptr, "Edit", nullptr);
        if (annotations) {
            EXPECT_EQ(DescriptionOf(window), "Line one");
            EXPECT_EQ(DescriptionOf(message), kRetryHint);
            EXPECT_EQ(DescriptionOf(message, &IAccessible::get_accName), "Error details");
            EXPECT_EQ(DescriptionOf(ButtonOf(window, kAbort)),
                      "When checked, OK closes the application.");
        }
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
        EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
        // Just before the button it names: a screen reader's label for it.
        wchar_t label[64] = {};
        GetWindowTextW(GetWindow(ButtonOf(window, kEmail), GW_HWNDPREV), label, 64);
        EXPECT_STREQ(label, L"Email Quillfern information about this error:");
        Click(ButtonOf(window, kAbort));
        Click(ButtonOf(window, "OK"));
    };
    const auto cut_off_double_click = [&](HWND window) {
        // Cut off between OK and the separator, whatever the font.
        RECT client{};
        GetClientRect(window, &client);
        const RECT ok = ChildRect(window, ButtonOf(window, "OK"));
        EXPECT_GT(client.bottom, ok.bottom);
        EXPECT_LT(client.bottom, ok.bottom + (ok.bottom - ok.top));
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
    // Ctrl+R retries, as the double-click does.
    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    EXPECT_EQ(show(true, [](HWND window) { PostMessageW(FocusOf(window), WM_KEYDOWN, 'R', 1); }),
              4);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
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

// The dialogs are laid out in the message font: a larger one grows them, and
// every caption still fits its control, inside the window, with no two
// controls overlapping. The error dialog, then the report question and the
// report it shows.
TEST_F(Win32HostTest, TheDialogsGrowWithTheMessageFont) {
    modQFAllData::strAppTitle = "Host Test";
    NONCLIENTMETRICSW original{};
    original.cbSize = sizeof original;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof original, &original, 0));
    std::map<std::string, LONG> widths_before;
    for (const double factor : {1.0, 1.5, 2.5}) {
        NONCLIENTMETRICSW metrics = original;
        metrics.lfMessageFont.lfHeight =
            static_cast<LONG>(std::lround(original.lfMessageFont.lfHeight * factor));
        ASSERT_TRUE(SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
        const auto check = [&](HWND window) {
            RECT client{};
            GetClientRect(window, &client);
            EXPECT_GT(client.right, std::exchange(widths_before[TextOf(window)], client.right))
                << TextOf(window) << " at " << factor;
            std::vector<std::pair<HWND, RECT>> shown;
            for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                if (IsWindowVisible(c))
                    shown.emplace_back(c, ChildRect(window, c));
            for (const auto& [control, r] : shown) {
                const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
                LOGFONTW used{};
                GetObjectW(font, sizeof used, &used);
                EXPECT_EQ(used.lfHeight, metrics.lfMessageFont.lfHeight) << TextOf(control);
                HDC dc = GetDC(control); // a caption fits on one line, but the message's wraps
                SelectObject(dc, font);
                RECT text{};
                DrawTextW(dc, WideFromUtf8(TextOf(control)).c_str(), -1, &text,
                          DT_CALCRECT | DT_SINGLELINE);
                ReleaseDC(control, dc);
                EXPECT_TRUE(control == FindWindowExA(window, nullptr, "Edit", nullptr) ||
                            (text.right <= r.right - r.left && text.bottom <= r.bottom - r.top))
                    << TextOf(control) << " at " << factor;
                RECT inside{};
                EXPECT_TRUE(IntersectRect(&inside, &r, &client) && EqualRect(&inside, &r))
                    << TextOf(control) << " sticks out at " << factor;
                for (const auto& [other, o] : shown) {
                    RECT both{};
                    EXPECT_TRUE(other == control || !IntersectRect(&both, &r, &o))
                        << TextOf(control) << " overlaps " << TextOf(other) << " at " << factor;
                }
            }
        };
        const auto check_and_close = [&](HWND window) {
            check(window);
            PostMessageW(window, WM_CLOSE, 0, 0);
        };
        Drive("Host Test Error", check_and_close,
              [] { return modQFCriticalErrorHandler::ShowErrorDialog("Line one", true, true); });
        // The report opens over the question.
        const auto question_and_report = [&](HWND window) {
            check(window);
            EXPECT_TRUE(Click(ButtonOf(window, "&Show what is sent")));
            HWND report = WaitForWindow(GetCurrentProcessId(), "What is sent");
            EXPECT_TRUE(report && WaitUntil([&] { return IsChild(report, FocusOf(report)); }));
            // Read-only, scrolled, and Tab goes from OK to it and back.
            HWND text = FindWindowExA(report, nullptr, "Edit", nullptr),
                 ok = ButtonOf(report, "OK");
            const LONG style = ES_READONLY | WS_VSCROLL | WS_TABSTOP;
            EXPECT_EQ(GetWindowLongA(text, GWL_STYLE) & style, style);
            EXPECT_EQ(GetNextDlgTabItem(report, ok, FALSE), text);
            EXPECT_EQ(GetNextDlgTabItem(report, text, FALSE), ok);
            check_and_close(report);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(report); }));
            PostMessageW(window, WM_CLOSE, 0, 0);
        };
        frmReportConsent question;
        question.WhatIsSent = [] { return std::string(40, '{') + "\nFiles attached: log.txt"; };
        Drive(question.caption, question_and_report, [&] { return ShowModal(question), 0; });
    }
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof original, &original, 0);
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

// A window whose button raises an error, as the demo's main window does.
struct RaisingForm final : Form {
    RaisingForm() : Form("frmRaising") {
        caption = "Host Test Main";
        client_width = 2400;
        client_height = 1000;
        controls = {
            Control::Make("cmdRaise", ControlKind::kCommandButton, 120, 120, 1200, 375, 0, "Raise"),
            Control::Make("cmdOff", ControlKind::kCommandButton, 1440, 120, 800, 375, 1, "Off")};
        controls[0].command = "raise";
        controls[1].enabled = false;
        commands = {"raise"};
    }
    void Raise(std::string_view, Event) override {
        modQFCriticalErrorHandler::HandleCriticalError({11, "x", "y", 0}, "dividing");
    }
};

// A disabled control shows greyed. The window below is disabled while the
// dialog is open, enabled again after; the close box unloads its form.
TEST_F(Win32HostTest, ADialogIsModalToTheWindowBelowIt) {
    const CapturedLog log;
    modQFAllData::strAppTitle = "Host Test";
    RaisingForm form;
    const auto raise_and_answer = [](HWND window) {
        HWND off = ButtonOf(window, "Off");
        EXPECT_TRUE(IsWindowVisible(off) && !IsWindowEnabled(off));
        ASSERT_TRUE(Click(ButtonOf(window, "Raise")));
        HWND dialog = WaitForWindow(GetCurrentProcessId(), "Host Test Error");
        EXPECT_FALSE(IsWindowEnabled(window));
        Click(ButtonOf(dialog, "OK"));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(window) != FALSE; }));
        PostMessageW(window, WM_CLOSE, 0, 0);
    };
    EXPECT_FALSE(
        Drive(form.caption, raise_and_answer, [&] { return ShowModal(form), IsLoaded(form); }));
}

} // namespace
