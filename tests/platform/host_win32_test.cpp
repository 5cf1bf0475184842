// The Win32 host under Wine: real message boxes, answered from a CBT hook in
// the test's thread, and real form windows, driven through their controls
// from a second thread while the test's thread runs the modal loop.
#include <windows.h>

#include "app/all_data.h"
#include "errors/critical_error_handler.h"
#include "ui/form.h"
#include "ui/host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tamberlin::ui;

// The Win32 host as the current host (the test main's scripted host comes
// back at the end), and a watchdog that ends the process when a window nobody
// answered keeps a test waiting.
class Win32HostTest : public ::testing::Test {
protected:
    Win32HostTest() : host_(MakeGraphicalHost()), previous_(&CurrentHost()) {
        SetHost(host_.get());
        watchdog_ = std::thread([done = done_.get_future()] {
            if (done.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
                std::fputs("watchdog: a window was left open for 20 s\n", stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        });
    }
    ~Win32HostTest() override {
        SetHost(previous_);
        done_.set_value();
        watchdog_.join();
    }

    std::unique_ptr<Host> host_;
    Host* previous_;
    std::promise<void> done_;
    std::thread watchdog_;
};

// --- message boxes ----------------------------------------------------------

struct SeenBox {
    HWND window = nullptr;
    std::wstring caption, text;
    std::vector<int> buttons;
    HICON icon = nullptr;
};

SeenBox g_box;
int g_press = 0;

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM) {
    char name[16] = {};
    GetClassNameA(child, name, sizeof name);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (!(style & WS_VISIBLE))
        return TRUE;
    if (lstrcmpiA(name, "Button") == 0)
        g_box.buttons.push_back(GetDlgCtrlID(child));
    else if (lstrcmpiA(name, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
        g_box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return TRUE;
}

// The box is activated before its dialog procedure fills it in, so a timer
// of this thread reads and answers it from the box's own message loop.
void CALLBACK ReadAndAnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    wchar_t text[256] = {};
    GetWindowTextW(g_box.window, text, 256);
    g_box.caption = text;
    GetDlgItemTextW(g_box.window, 0xFFFF, text, 256);
    g_box.text = text;
    EnumChildWindows(g_box.window, ReadBoxChild, 0);
    std::sort(g_box.buttons.begin(), g_box.buttons.end());
    PostMessageW(g_box.window, WM_COMMAND, static_cast<WPARAM>(g_press), 0);
}

LRESULT CALLBACK WatchForBox(int code, WPARAM wparam, LPARAM lparam) {
    char name[16] = {};
    if (code == HCBT_ACTIVATE && !g_box.window &&
        GetClassNameA(reinterpret_cast<HWND>(wparam), name, sizeof name) &&
        lstrcmpA(name, "#32770") == 0) {
        g_box.window = reinterpret_cast<HWND>(wparam);
        SetTimer(nullptr, 0, 10, ReadAndAnswerBox);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Shows a box through the host and presses `press` on it.
int Ask(Host& host, std::string_view text, Buttons buttons, Icon icon, int press) {
    g_box = {};
    g_press = press;
    HHOOK hook = SetWindowsHookExA(WH_CBT, WatchForBox, nullptr, GetCurrentThreadId());
    const int answer = host.MsgBox(text, "Tamberlin", buttons, icon);
    UnhookWindowsHookEx(hook);
    return answer;
}

TEST_F(Win32HostTest, MessageBoxShowsTextTitleButtonsAndIconAndAnswersTheButtonPressed) {
    EXPECT_EQ(Ask(*host_, "Le disque n'est pas pr\xc3\xaat.", Buttons::kRetryCancel, Icon::kWarning,
                  IDRETRY),
              kIdRetry);
    EXPECT_EQ(g_box.caption, L"Tamberlin");
    EXPECT_EQ(g_box.text, L"Le disque n'est pas pr\u00eat.");
    EXPECT_EQ(g_box.buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
    EXPECT_EQ(g_box.icon, LoadIconA(nullptr, IDI_EXCLAMATION));

    EXPECT_EQ(Ask(*host_, "x", Buttons::kRetryCancel, Icon::kWarning, IDCANCEL), kIdCancel);
    EXPECT_EQ(Ask(*host_, "x", Buttons::kOK, Icon::kInformation, IDOK), kIdOk);
    EXPECT_EQ(g_box.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(g_box.icon, LoadIconA(nullptr, IDI_ASTERISK));
    Ask(*host_, "x", Buttons::kOK, Icon::kCritical, IDOK);
    EXPECT_EQ(g_box.icon, LoadIconA(nullptr, IDI_HAND));
    Ask(*host_, "x", Buttons::kOK, Icon::kNone, IDOK);
    EXPECT_EQ(g_box.icon, nullptr);
}

// --- forms ------------------------------------------------------------------

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

bool WaitUntil(int tries, const std::function<bool()>& condition) {
    for (int i = 0; i < tries && !condition(); ++i)
        Sleep(20);
    return condition();
}

// Runs `act` on a second thread once the window titled `caption` is shown
// with the focus in it (a click before that races its activation), while
// `show` runs the modal loop here. Returns the window, after checking that
// `act` closed it (the window is closed anyway, so a failing test ends).
HWND Drive(const std::string& caption, const std::function<void(HWND)>& act,
           const std::function<void()>& show) {
    HWND window = nullptr;
    std::thread driver([&] {
        if (!WaitUntil(500, [&] {
                window = FindWindowA(nullptr, caption.c_str());
                return window && IsWindowVisible(window) && IsChild(window, FocusOf(window));
            })) {
            window = nullptr;
            return;
        }
        act(window);
        if (!WaitUntil(250, [&] { return !IsWindow(window); })) {
            ADD_FAILURE() << "the window stayed open";
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    });
    show();
    driver.join();
    EXPECT_TRUE(window) << "no window titled " << caption;
    return window;
}

HWND Child(HWND window, const char* text, const char* window_class = "Button") {
    return FindWindowExA(window, nullptr, window_class, text);
}

bool Shows(HWND window, const char* text) {
    return IsWindowVisible(Child(window, text));
}

void Click(HWND window, const char* text) {
    SendMessageW(Child(window, text), BM_CLICK, 0, 0);
}

std::string TextOf(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// A form whose controls are listed out of tab order; it records its events.
class TestForm : public Form {
public:
    TestForm() : Form("frmTest") {
        caption = "Win32 Host Test Form";
        client_width = 4500;
        client_height = 2400;
        font_name = "Tahoma";
        font_size = 8;
        Add("cmdFirst", ControlKind::kCommandButton, 2, "&First").default_button = true;
        Add("chkCheck", ControlKind::kCheckBox, 0, "&Check");
        Add("cmdSecond", ControlKind::kCommandButton, 1, "&Second");
        Add("cmdThrow", ControlKind::kCommandButton, 3, "&Throw");
        Add("cmdHidden", ControlKind::kCommandButton, 4, "Hidden").visible = false;
        Add("chkDisabled", ControlKind::kCheckBox, 5, "Disabled").enabled = false;
        Add("lblLabel", ControlKind::kLabel, 6, "A label");
        Add("txtText", ControlKind::kTextBox, 7, "Some text");
    }

    void Raise(std::string_view control, Event) override {
        raised.emplace_back(control);
        if (control == "cmdFirst")
            Unload(*this);
        else if (control == "cmdThrow")
            throw std::runtime_error("handler failed");
    }
    void Form_Unload() override { ++unloads; }

    std::vector<std::string> raised;
    int unloads = 0;

private:
    Control& Add(std::string name, ControlKind kind, int tab_index, std::string text) {
        Control& c = controls.emplace_back();
        c.name = std::move(name);
        c.kind = kind;
        c.left = 120;
        c.top = 120 + 270 * static_cast<int>(controls.size());
        c.width = 1800;
        c.height = 255;
        c.tab_index = tab_index;
        c.caption = std::move(text);
        return c;
    }
};

TEST_F(Win32HostTest, TabFollowsTheTabOrderAndEnterPressesTheDefaultButton) {
    TestForm form;
    std::vector<std::string> order;
    std::string focus;
    Drive(
        form.caption,
        [&](HWND window) {
            for (HWND item = GetNextDlgTabItem(window, nullptr, FALSE);
                 item && order.size() < 10 && (order.empty() || TextOf(item) != order[0]);
                 item = GetNextDlgTabItem(window, item, FALSE))
                order.push_back(TextOf(item));
            focus = TextOf(FocusOf(window));
            PostMessageW(FocusOf(window), WM_KEYDOWN, VK_RETURN, 1);
        },
        [&] { ShowModal(form); });
    // Hidden and disabled controls, and labels, take no focus.
    EXPECT_EQ(order,
              (std::vector<std::string>{"&Check", "&Second", "&First", "&Throw", "Some text"}));
    EXPECT_EQ(focus, "&Check");
    EXPECT_EQ(form.raised, std::vector<std::string>{"cmdFirst"});
    EXPECT_FALSE(IsLoaded(form));
}

TEST_F(Win32HostTest, ClosingTheWindowOrAFailingHandlerUnloadsTheForm) {
    TestForm closed, failed;
    HWND window = Drive(
        closed.caption, [](HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); },
        [&] { ShowModal(closed); });
    EXPECT_FALSE(IsLoaded(closed));
    EXPECT_EQ(closed.unloads, 1);
    EXPECT_TRUE(closed.raised.empty());
    EXPECT_FALSE(IsWindow(window));

    Drive(
        failed.caption, [](HWND w) { Click(w, "&Throw"); }, [&] { ShowModal(failed); });
    EXPECT_FALSE(IsLoaded(failed));
    EXPECT_EQ(failed.unloads, 1);
}

// The Application Error dialog, shown by ShowErrorDialog through this host.
class ErrorDialogTest : public Win32HostTest {
protected:
    ErrorDialogTest() : saved_title_(modQFAllData::strAppTitle) {
        modQFAllData::strAppTitle = "Host Test";
    }
    ~ErrorDialogTest() override { modQFAllData::strAppTitle = saved_title_; }

    static int Show(bool allow_email, bool allow_abort, const std::function<void(HWND)>& act,
                    const char* message = "Line one\r\nLine two") {
        int response = -1;
        Drive("Host Test Error", act, [&] {
            response =
                modQFCriticalErrorHandler::ShowErrorDialog(message, allow_email, allow_abort);
        });
        return response;
    }

    static constexpr const char* kAbort = "Abort and close application";
    static constexpr const char* kEmail = "&Email Quillfern";

private:
    std::string saved_title_;
};

TEST_F(ErrorDialogTest, OkContinuesOrAbortsDoubleClickRetriesClosingAnswersNothing) {
    auto ok = [](HWND window) { Click(window, "OK"); };
    EXPECT_EQ(Show(true, true, ok), 5);
    EXPECT_EQ(Show(false, true,
                   [&](HWND window) {
                       Click(window, kAbort);
                       ok(window);
                   }),
              3);
    std::string text;
    EXPECT_EQ(Show(false, false,
                   [&](HWND window) {
                       HWND edit = Child(window, nullptr, "Edit");
                       text = TextOf(edit);
                       PostMessageW(edit, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
                   }),
              4);
    EXPECT_EQ(text, "Line one\r\nLine two");
    EXPECT_EQ(Show(true, true, [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }), 0);
    EXPECT_TRUE(Forms().empty());
}

TEST_F(ErrorDialogTest, DesignSizeCentredInAFixedFrameAndCutOffAtTheSeparatorWithoutEmail) {
    HDC screen = GetDC(nullptr);
    const int dpi_x = GetDeviceCaps(screen, LOGPIXELSX), dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    // Another window of the thread, disabled while the dialog is shown.
    HWND other = CreateWindowExA(0, "STATIC", "Another window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    RECT client{}, outer{}, work{};
    LONG style = 0;
    HWND owner = other;
    bool abort_shown = false, email_shown = false, other_enabled = true;
    auto measure = [&](HWND window) {
        owner = GetWindow(window, GW_OWNER);
        other_enabled = IsWindowEnabled(other);
        GetClientRect(window, &client);
        GetWindowRect(window, &outer);
        style = GetWindowLongA(window, GWL_STYLE);
        abort_shown = Shows(window, kAbort);
        email_shown = Shows(window, kEmail);
        Click(window, "OK");
    };

    Show(true, true, measure);
    EXPECT_EQ(client.right, MulDiv(5670, dpi_x, 1440));  // 378 at 96 dpi
    EXPECT_EQ(client.bottom, MulDiv(3285, dpi_y, 1440)); // 219 at 96 dpi
    EXPECT_TRUE(abort_shown);
    EXPECT_TRUE(email_shown);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_EQ(owner, nullptr);
    EXPECT_FALSE(other_enabled);
    EXPECT_TRUE(IsWindowEnabled(other));
    DestroyWindow(other);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(outer.left + outer.right, work.left + work.right, 2);
    EXPECT_NEAR(outer.top + outer.bottom, work.top + work.bottom, 2);

    Show(false, false, measure);
    EXPECT_EQ(client.right, MulDiv(5670, dpi_x, 1440));
    EXPECT_NEAR((outer.bottom - outer.top) * 1440 / dpi_y, 2775, 1440 / dpi_y);
    EXPECT_FALSE(abort_shown);
    EXPECT_FALSE(email_shown);
}

// --- events and the mouse pointer -------------------------------------------

TEST_F(Win32HostTest, DoEventsDispatchesWaitingMessagesAndThePointerIsTheSystemCursor) {
    HWND window =
        CreateWindowExA(0, "EDIT", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    PostMessageA(window, WM_CHAR, 'a', 0);
    PostMessageA(window, WM_CHAR, 'b', 0);
    DoEvents();
    EXPECT_EQ(TextOf(window), "ab");
    DestroyWindow(window);

    SetMousePointer(11);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    SetMousePointer(0);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
}

} // namespace
