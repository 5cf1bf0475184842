// The Win32 host under Wine: real message boxes and form windows, driven from
// a second thread while the test's thread runs the modal loop.
#include <windows.h>

#include "app/all_data.h"
#include "errors/critical_error_handler.h"
#include "ui/form.h"
#include "ui/host.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace tamberlin::ui;

// The Win32 host as the current host.
class Win32HostTest : public ::testing::Test {
protected:
    Win32HostTest() { SetHost(host_.get()); }
    ~Win32HostTest() override { SetHost(previous_); }

    std::unique_ptr<Host> host_ = MakeGraphicalHost();
    Host* previous_ = &CurrentHost();
};

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

// Runs `act` on a second thread once the window titled `title` is shown with
// the focus in it (a click before that races its activation), while `show`
// runs the modal loop here and returns what it returns. `act` must close the
// window, else it is closed for it; a loop that still does not end ends the
// process.
int Drive(const std::string& title, const std::function<void(HWND)>& act,
          const std::function<int()>& show) {
    std::atomic<bool> returned = false;
    std::thread driver([&] {
        HWND window = nullptr;
        const bool shown = WaitUntil(500, [&] {
            window = FindWindowA(nullptr, title.c_str());
            return window && IsWindowVisible(window) && IsChild(window, FocusOf(window));
        });
        if (shown)
            act(window);
        if (!shown || !WaitUntil(250, [&] { return !IsWindow(window); })) {
            ADD_FAILURE() << (shown ? "the window stayed open" : "no window titled " + title);
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        if (!WaitUntil(500, [&] { return returned.load(); })) {
            std::fputs("watchdog: the modal loop did not end\n", stderr);
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    const int result = show();
    returned = true;
    driver.join();
    return result;
}

void Click(HWND window, const char* text) {
    SendMessageW(FindWindowExA(window, nullptr, "Button", text), BM_CLICK, 0, 0);
}

bool Shows(HWND window, const char* text) {
    return IsWindowVisible(FindWindowExA(window, nullptr, "Button", text));
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// --- message boxes ----------------------------------------------------------

const char* const kBoxTitle = "Win32 Host Test Box";

// Boxes show the text, the buttons (by ID) and the system icon asked for, and
// answer the button pressed.
TEST_F(Win32HostTest, MessageBoxesShowWhatTheyAreAskedAndAnswerTheButtonPressed) {
    const std::vector<int> retry_cancel{IDCANCEL, IDRETRY}, ok{IDOK};
    const HICON warning = LoadIconA(nullptr, IDI_EXCLAMATION);
    const std::tuple<Buttons, Icon, int, std::vector<int>, HICON> cases[] = {
        {Buttons::kRetryCancel, Icon::kWarning, kIdRetry, retry_cancel, warning},
        {Buttons::kRetryCancel, Icon::kWarning, kIdCancel, retry_cancel, warning},
        {Buttons::kOK, Icon::kInformation, kIdOk, ok, LoadIconA(nullptr, IDI_ASTERISK)},
        {Buttons::kOK, Icon::kCritical, kIdOk, ok, LoadIconA(nullptr, IDI_HAND)},
        {Buttons::kOK, Icon::kNone, kIdOk, ok, nullptr}};
    for (const auto& [buttons, icon, press, ids, system_icon] : cases) {
        const auto read_and_press = [&](HWND box) {
            EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), L"Le disque n'est pas pr\u00eat.");
            std::vector<int> shown;
            for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
                if (IsWindowVisible(GetDlgItem(box, id)))
                    shown.push_back(id);
            EXPECT_EQ(shown, ids);
            HICON shown_icon = nullptr;
            for (HWND c = nullptr; (c = FindWindowExA(box, c, "Static", nullptr));)
                if (IsWindowVisible(c) && (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                    shown_icon = reinterpret_cast<HICON>(SendMessageA(c, STM_GETICON, 0, 0));
            EXPECT_EQ(shown_icon, system_icon);
            PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(press), 0);
        };
        EXPECT_EQ(Drive(kBoxTitle, read_and_press,
                        [&] {
                            return host_->MsgBox("Le disque n'est pas pr\xc3\xaat.", kBoxTitle,
                                                 buttons, icon);
                        }),
                  press);
    }
}

// --- forms ------------------------------------------------------------------

// A form with its controls listed out of tab order: OK unloads it, Throw fails.
class TestForm : public Form {
public:
    TestForm() : Form("frmTest") {
        caption = "Win32 Host Test Form";
        client_width = 4500;
        client_height = 2400;
        const std::tuple<const char*, ControlKind, int, const char*> layout[] = {
            {"cmdOK", ControlKind::kCommandButton, 2, "&OK"},
            {"chkCheck", ControlKind::kCheckBox, 0, "&Check"},
            {"cmdThrow", ControlKind::kCommandButton, 1, "&Throw"},
            {"cmdHidden", ControlKind::kCommandButton, 3, "Hidden"},
            {"chkDisabled", ControlKind::kCheckBox, 4, "Disabled"},
            {"lblLabel", ControlKind::kLabel, 5, "A label"},
            {"txtText", ControlKind::kTextBox, 6, "Some text"}};
        for (const auto& row : layout) {
            Control& c = controls.emplace_back();
            std::tie(c.name, c.kind, c.tab_index, c.caption) = row;
            std::tie(c.left, c.top, c.width, c.height) =
                std::tuple(120, 270 * static_cast<int>(controls.size()), 1800, 255);
        }
        controls[0].default_button = true;
        controls[3].visible = false;
        controls[4].enabled = false;
    }

    void Raise(std::string_view control, Event) override {
        if (control == "cmdOK")
            Unload(*this);
        else if (control == "cmdThrow")
            throw std::runtime_error("handler failed");
    }
};

// Tab follows the tab order, past hidden and disabled controls and labels;
// Enter presses the default button, which unloads the form; so do closing the
// window and a failing handler.
TEST_F(Win32HostTest, FormsFollowTheTabOrderAndUnloadHoweverTheyEnd) {
    TestForm entered, closed, failed;
    // Shows the form; returns whether it is loaded still.
    const auto show = [](TestForm& form) {
        return [&form] {
            ShowModal(form);
            return IsLoaded(form);
        };
    };
    std::vector<std::wstring> order;
    const auto tab_through_and_enter = [&](HWND window) {
        for (HWND item = FocusOf(window); order.size() < 5;
             item = GetNextDlgTabItem(window, item, FALSE))
            order.push_back(TextOf(item));
        PostMessageW(FocusOf(window), WM_KEYDOWN, VK_RETURN, 1);
    };
    EXPECT_FALSE(Drive(entered.caption, tab_through_and_enter, show(entered)));
    EXPECT_EQ(order,
              (std::vector<std::wstring>{L"&Check", L"&Throw", L"&OK", L"Some text", L"&Check"}));
    const auto close = [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); };
    EXPECT_FALSE(Drive(closed.caption, close, show(closed)));
    const auto click_throw = [](HWND window) { Click(window, "&Throw"); };
    EXPECT_FALSE(Drive(failed.caption, click_throw, show(failed)));
}

// The Application Error dialog: its answers; its design size centred in a
// fixed frame, cut off at the separator without the e-mail controls; the
// thread's other windows disabled meanwhile.
TEST_F(Win32HostTest, ErrorDialogAnswersAndLayout) {
    modQFAllData::strAppTitle = "Host Test";
    const auto show = [](bool email, bool abort, const std::function<void(HWND)>& act) {
        return Drive("Host Test Error", act, [&] {
            return modQFCriticalErrorHandler::ShowErrorDialog("Line one\r\nLine two", email, abort);
        });
    };
    const char* const kAbort = "Abort and close application";
    const char* const kEmail = "&Email Quillfern";
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    HWND other = CreateWindowExA(0, "STATIC", "Another window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    const auto full = [&](HWND window) {
        RECT client{}, outer{}, work{};
        GetClientRect(window, &client);
        GetWindowRect(window, &outer);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_EQ(client.right, MulDiv(5670, dpi, 1440));  // 378 at 96 dpi
        EXPECT_EQ(client.bottom, MulDiv(3285, dpi, 1440)); // 219 at 96 dpi
        EXPECT_NEAR(outer.left + outer.right, work.left + work.right, 2);
        EXPECT_NEAR(outer.top + outer.bottom, work.top + work.bottom, 2);
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
        EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
        EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
        EXPECT_FALSE(IsWindowEnabled(other));
        EXPECT_TRUE(Shows(window, kAbort) && Shows(window, kEmail));
        Click(window, "OK");
    };
    const auto cut_off = [&](HWND window) {
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_NEAR((outer.bottom - outer.top) * 1440 / dpi, 2775, 1440 / dpi);
        EXPECT_FALSE(Shows(window, kAbort) || Shows(window, kEmail));
        HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
        EXPECT_EQ(TextOf(edit), L"Line one\r\nLine two");
        PostMessageW(edit, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    };
    const auto abort_and_ok = [&](HWND window) {
        Click(window, kAbort);
        Click(window, "OK");
    };

    EXPECT_EQ(show(true, true, full), 5);
    EXPECT_TRUE(IsWindowEnabled(other));
    DestroyWindow(other);
    EXPECT_EQ(show(false, false, cut_off), 4);
    EXPECT_EQ(show(false, true, abort_and_ok), 3);
    EXPECT_EQ(show(true, true, [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }), 0);
}

// --- events and the mouse pointer -------------------------------------------

TEST_F(Win32HostTest, DoEventsDispatchesWaitingMessagesAndThePointerIsTheSystemCursor) {
    HWND window =
        CreateWindowExA(0, "EDIT", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    PostMessageA(window, WM_CHAR, 'a', 0);
    PostMessageA(window, WM_CHAR, 'b', 0);
    DoEvents();
    EXPECT_EQ(TextOf(window), L"ab");
    DestroyWindow(window);

    SetMousePointer(11);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    SetMousePointer(0);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
}

} // namespace
