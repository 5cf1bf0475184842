// The Win32 host under Wine: real message boxes and form windows, driven from
// a second thread while the test's thread runs the modal loop.
#include <windows.h>

#include "app/all_data.h"
#include "errors/critical_error_handler.h"
#include "tests/support/win32_driver.h"
#include "ui/form.h"
#include "ui/host.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace {

using namespace tamberlin::ui;
using namespace tamberlin::testing;

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

const char* const kBoxTitle = "Win32 Host Test Box";
const char* const kText = "Le disque n'est pas pr\xc3\xaat.";

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
            EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), kText);
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
        const auto ask = [&] { return host_->MsgBox(kText, kBoxTitle, buttons, icon); };
        EXPECT_EQ(Drive(kBoxTitle, read_and_press, ask), press);
    }
}

// A form with its controls listed out of tab order: OK unloads it, Throw fails.
class TestForm : public Form {
public:
    TestForm() : Form("frmTest") {
        caption = "Win32 Host Test Form";
        client_width = 4500, client_height = 2400;
        using enum ControlKind;
        const std::tuple<const char*, ControlKind, int, const char*> layout[] = {
            {"cmdOK", kCommandButton, 2, "&OK"},       {"chkCheck", kCheckBox, 0, "&Check"},
            {"cmdThrow", kCommandButton, 1, "&Throw"}, {"cmdHidden", kCommandButton, 3, "Hidden"},
            {"chkDisabled", kCheckBox, 4, "Disabled"}, {"lblLabel", kLabel, 5, "A label"},
            {"txtText", kTextBox, 6, "Some text"}};
        int top = 0;
        for (const auto& [name, kind, tab, text] : layout)
            controls.push_back(Control::Make(name, kind, 120, top += 270, 1800, 255, tab, text));
        controls[0].default_button = true, controls[3].visible = false, controls[4].enabled = false;
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
    const auto show = [](TestForm& f) { return [&f] { return ShowModal(f), IsLoaded(f); }; };
    std::vector<std::string> order;
    const auto tab_through_and_enter = [&](HWND window) {
        for (HWND item = FocusOf(window); order.size() < 5;
             item = GetNextDlgTabItem(window, item, FALSE))
            order.push_back(TextOf(item));
        PostMessageW(FocusOf(window), WM_KEYDOWN, VK_RETURN, 1);
    };
    EXPECT_FALSE(Drive(entered.caption, tab_through_and_enter, show(entered)));
    EXPECT_EQ(order, (std::vector<std::string>{"&Check", "&Throw", "&OK", "Some text", "&Check"}));
    const auto close = [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); };
    EXPECT_FALSE(Drive(closed.caption, close, show(closed)));
    const auto click_throw = [](HWND window) { Click(ButtonOf(window, "&Throw")); };
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
    const auto shows = [](HWND window, const char* text) {
        return IsWindowVisible(ButtonOf(window, text));
    };
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
        EXPECT_TRUE(shows(window, kAbort) && shows(window, kEmail));
        Click(ButtonOf(window, "OK"));
    };
    const auto cut_off = [&](HWND window) {
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_NEAR((outer.bottom - outer.top) * 1440 / dpi, 2775, 1440 / dpi);
        EXPECT_FALSE(shows(window, kAbort) || shows(window, kEmail));
        HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
        EXPECT_EQ(TextOf(edit), "Line one\r\nLine two");
        PostMessageW(edit, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    };
    const auto abort_and_ok = [&](HWND window) {
        Click(ButtonOf(window, kAbort));
        Click(ButtonOf(window, "OK"));
    };

    EXPECT_EQ(show(true, true, full), 5);
    EXPECT_TRUE(IsWindowEnabled(other));
    DestroyWindow(other);
    EXPECT_EQ(show(false, false, cut_off), 4);
    EXPECT_EQ(show(false, true, abort_and_ok), 3);
    EXPECT_EQ(show(true, true, [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }), 0);
}

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
