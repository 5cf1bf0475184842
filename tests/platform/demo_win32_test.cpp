// The demo's main window through the Win32 host, driven from another process
// the way a user (or an accessibility tool) drives it: the real
// tamberlin-demo.exe is started, its windows are found by caption, its
// buttons are clicked with BM_CLICK and its text boxes read with WM_GETTEXT.
// Every wait is bounded; a demo left running is terminated.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWait = 10s;

// The demo's path as Wine's Windows side sees it: Unix paths are on Z:.
std::string DemoPath() {
    std::string path = TAMBERLIN_DEMO;
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Polls `found` until it gives a window or the wait runs out.
template <typename F> HWND Poll(F&& found, std::chrono::milliseconds wait = kWait) {
    const auto end = Clock::now() + wait;
    for (;;) {
        if (HWND window = found())
            return window;
        if (Clock::now() > end)
            return nullptr;
        Sleep(20);
    }
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The window's text, read through a message so another process's window
// answers it.
std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return "<no answer>";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return text;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, AddWindow, reinterpret_cast<LPARAM>(&children));
    return children;
}

// The child of that class (compared without regard to case) and text.
HWND Child(HWND parent, const char* window_class, const std::string& text) {
    for (HWND child : Children(parent))
        if (lstrcmpiA(ClassOf(child).c_str(), window_class) == 0 && TextOf(child) == text)
            return child;
    return nullptr;
}

// The multi-line text boxes, in creation (tab) order.
std::vector<HWND> TextBoxes(HWND parent) {
    std::vector<HWND> boxes;
    for (HWND child : Children(parent))
        if (lstrcmpiA(ClassOf(child).c_str(), "Edit") == 0 &&
            (GetWindowLongA(child, GWL_STYLE) & ES_MULTILINE))
            boxes.push_back(child);
    return boxes;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// One run of the demo: the process, its windows, and the clicks a user makes.
class Demo {
public:
    // Starts the demo with `arguments`; its standard output goes to a pipe
    // when `capture` is set.
    explicit Demo(const std::string& arguments = "", bool capture = false) {
        SetEnvironmentVariableA("TAMBERLIN_UI", "gui");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        HANDLE write = nullptr;
        if (capture && CreatePipe(&output_, &write, &inherit, 0)) {
            SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = write;
            startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
            startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        }
        std::string command = "\"" + DemoPath() + "\"" + (arguments.empty() ? "" : " ") + arguments;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, capture, 0, nullptr, nullptr,
                           &startup, &info)) {
            process_ = info.hProcess;
            id_ = info.dwProcessId;
            CloseHandle(info.hThread);
        }
        if (write)
            CloseHandle(write);
        // However the test ends, the demo does not outlive it by long.
        watchdog_ = std::thread([this, done = done_.get_future()] {
            if (done.wait_for(100s) == std::future_status::timeout) {
                std::fputs("watchdog: the demo was still running after 100 s\n", stderr);
                Terminate();
                TerminateProcess(GetCurrentProcess(), 3);
            }
        });
    }

    ~Demo() {
        done_.set_value();
        watchdog_.join();
        Terminate();
        if (output_)
            CloseHandle(output_);
        if (process_)
            CloseHandle(process_);
    }
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    bool Started() const { return process_ != nullptr; }

    void Terminate() {
        if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
    }

    // The exit code once the demo has ended; -1 while it runs on.
    long Finished(std::chrono::milliseconds wait = kWait) {
        DWORD code = 0;
        if (WaitForSingleObject(process_, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_, &code))
            return -1;
        return static_cast<long>(code);
    }

    // Everything the demo wrote to its standard output.
    std::string Output() {
        std::string text;
        char buffer[4096];
        DWORD n = 0;
        while (output_ && ReadFile(output_, buffer, sizeof buffer, &n, nullptr) && n > 0)
            text.append(buffer, n);
        return text;
    }

    // The demo's visible top-level windows with that caption, but `except`.
    std::vector<HWND> Windows(const std::string& caption, HWND except = nullptr) const {
        std::vector<HWND> all, found;
        EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&all));
        for (HWND window : all) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == id_ && window != except && IsWindowVisible(window) &&
                TextOf(window) == caption)
                found.push_back(window);
        }
        return found;
    }

    HWND WaitForWindow(const std::string& caption, HWND except = nullptr) const {
        return Poll([&]() -> HWND {
            const std::vector<HWND> found = Windows(caption, except);
            return found.empty() ? nullptr : found.front();
        });
    }

    static bool WaitGone(HWND window) {
        return Poll([&] {
                   return IsWindow(window) && IsWindowVisible(window) ? nullptr : window;
               }) != nullptr;
    }

    // Posted, not sent: the click opens modal windows and returns only when
    // they close.
    static bool Click(HWND button) { return button && PostMessageA(button, BM_CLICK, 0, 0); }

private:
    HANDLE process_ = nullptr;
    HANDLE output_ = nullptr;
    DWORD id_ = 0;
    std::promise<void> done_;
    std::thread watchdog_;
};

// The error log's path, as `tamberlin-demo info` reports it.
std::string ErrorLogPath() {
    Demo info("info", true);
    if (!info.Started())
        return {};
    const std::string out = info.Output();
    EXPECT_EQ(info.Finished(), 0);
    const std::string key = "ErrorLogPath: ";
    const size_t at = out.find(key);
    if (at == std::string::npos)
        return {};
    const size_t end = out.find_first_of("\r\n", at);
    return out.substr(at + key.size(), end - at - key.size());
}

class DemoWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = ErrorLogPath();
        ASSERT_NE(log_, "") << "tamberlin-demo info named no error log";
        DeleteFileA(log_.c_str());
        demo_ = std::make_unique<Demo>();
        ASSERT_TRUE(demo_->Started()) << "could not start " << DemoPath();
        main_ = demo_->WaitForWindow("Tamberlin");
        ASSERT_NE(main_, nullptr) << "the main window did not appear";
        const std::vector<HWND> boxes = TextBoxes(main_);
        ASSERT_EQ(boxes.size(), 2u);
        info_ = boxes[0];
        status_ = boxes[1];
    }

    HWND Button(const std::string& caption) const { return Child(main_, "Button", caption); }

    // Clicks a main window button and waits for the window it opens.
    HWND Open(const std::string& button, const std::string& caption) {
        EXPECT_TRUE(Demo::Click(Button(button))) << "no button \"" << button << "\"";
        return demo_->WaitForWindow(caption, main_);
    }

    // Waits until the status box's last line is `line`.
    bool StatusEndsWith(const std::string& line) {
        return Poll([&]() -> HWND {
                   const std::string text = TextOf(status_);
                   return text.size() >= line.size() + 2 &&
                                  text.compare(text.size() - line.size() - 2, std::string::npos,
                                               "\r\n" + line) == 0
                              ? status_
                              : nullptr;
               }) != nullptr;
    }

    // Closes the dialog with its OK button.
    static bool PressOk(HWND dialog) {
        return Demo::Click(Child(dialog, "Button", "OK")) && Demo::WaitGone(dialog);
    }

    std::string log_;
    std::unique_ptr<Demo> demo_;
    HWND main_ = nullptr;
    HWND info_ = nullptr;
    HWND status_ = nullptr;
};

// The window shows the application-wide data and the first status line;
// Exit, or closing the window, ends the demo with status 0.
TEST_F(DemoWin32Test, ShowsTheApplicationDataAndEndsWithStatusZero) {
    RECT client{};
    GetClientRect(main_, &client);
    EXPECT_EQ(client.right - client.left, 560);
    EXPECT_EQ(client.bottom - client.top, 408);

    const std::string info = TextOf(info_);
    EXPECT_EQ(info.rfind("Title: Tamberlin\r\nVersion: ", 0), 0u) << info;
    EXPECT_NE(info.find("\r\nExecutable: tamberlin-demo\r\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\r\nError log: " + log_), std::string::npos) << info;
    EXPECT_EQ(TextOf(status_), "Choose an action: each runs under the error trap.");

    for (const char* caption :
         {"Open a missing file", "Write a read-only file", "Divide by zero", "Database error",
          "Printer error", "Disk not ready", "Error inside the dialog", "Negative error number",
          "E-mail: detect client", "E-mail: MAPI/Control", "E-mail: MAPI/Direct",
          "E-mail: MAPI/CDO", "Open the error log"})
        EXPECT_NE(Button(caption), nullptr) << caption;

    ASSERT_TRUE(Demo::Click(Button("E&xit")));
    EXPECT_EQ(demo_->Finished(), 0);

    // Once more, closed from its title bar.
    demo_ = std::make_unique<Demo>();
    main_ = demo_->WaitForWindow("Tamberlin");
    ASSERT_NE(main_, nullptr);
    PostMessageA(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(demo_->Finished(), 0);
}

// Each action's windows answered as a user answers them; the status box tells
// what the trap did, and the error log holds what reached it.
TEST_F(DemoWin32Test, ActionsShowTheirWindowsAndReportWhatTheTrapDid) {
    // Divide by zero: the dialog, OK, and the statement is passed over.
    HWND dialog = Open("Divide by zero", "Tamberlin Error");
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main_)) << "the main window stays usable under the dialog";
    HWND message = TextBoxes(dialog).empty() ? nullptr : TextBoxes(dialog)[0];
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(TextOf(message).rfind("A mathematical error has occurred working out the average."
                                    "\r\n\r\nTamberlin ",
                                    0),
              0u)
        << TextOf(message);
    ASSERT_TRUE(PressOk(dialog));
    ASSERT_TRUE(StatusEndsWith("Divide by zero: continued after the failing statement."))
        << TextOf(status_);
    EXPECT_TRUE(IsWindowEnabled(main_));

    // Disk not ready: only the Retry/Cancel box; Cancel, and no dialog follows.
    HWND box = Open("Disk not ready", "Tamberlin");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ClassOf(box), "#32770");
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)).rfind("Disk not ready. Put a disk in the drive", 0),
              0u);
    ASSERT_NE(GetDlgItem(box, IDRETRY), nullptr);
    ASSERT_TRUE(Demo::Click(GetDlgItem(box, IDCANCEL)));
    ASSERT_TRUE(Demo::WaitGone(box));
    ASSERT_TRUE(StatusEndsWith("Disk not ready: continued after the failing statement."))
        << TextOf(status_);
    EXPECT_TRUE(demo_->Windows("Tamberlin Error").empty());

    // Open a missing file: a double-click on the message retries, and the
    // second attempt goes through.
    dialog = Open("Open a missing file", "Tamberlin Error");
    ASSERT_NE(dialog, nullptr);
    message = TextBoxes(dialog)[0];
    EXPECT_EQ(TextOf(message).rfind("File not found opening the project file.", 0), 0u);
    PostMessageA(message, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 20));
    PostMessageA(message, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    ASSERT_TRUE(Demo::WaitGone(dialog));
    EXPECT_TRUE(
        StatusEndsWith("Open a missing file: retried, and the second attempt went through."))
        << TextOf(status_);

    // Printer error: Retry/Cancel first; Cancel, then the dialog all the same,
    // closed with Enter (its default button).
    box = Open("Printer error", "Tamberlin");
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(Demo::Click(GetDlgItem(box, IDCANCEL)));
    dialog = demo_->WaitForWindow("Tamberlin Error");
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(dialog, WM_KEYUP, VK_RETURN, 0xC0000001);
    ASSERT_TRUE(Demo::WaitGone(dialog));
    ASSERT_TRUE(StatusEndsWith("Printer error: continued after the failing statement."))
        << TextOf(status_);

    // Error inside the dialog: the second error, raised while the dialog
    // waits, gets no second dialog.
    dialog = Open("Error inside the dialog", "Tamberlin Error");
    ASSERT_NE(dialog, nullptr);
    Sleep(300);
    EXPECT_EQ(demo_->Windows("Tamberlin Error").size(), 1u);
    ASSERT_TRUE(PressOk(dialog));
    ASSERT_TRUE(StatusEndsWith("Error inside the dialog: continued after the failing statement."))
        << TextOf(status_);
    EXPECT_NE(TextOf(status_).find("\r\n  A second error while the dialog was open: the handler "
                                   "answered 5 without a second dialog.\r\n"),
              std::string::npos)
        << TextOf(status_);

    // Database error: its own box titled for the database; Retry, then the
    // dialog.
    box = Open("Database error", "Tamberlin database error");
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(Demo::Click(GetDlgItem(box, IDRETRY)));
    dialog = demo_->WaitForWindow("Tamberlin Error");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PressOk(dialog));
    ASSERT_TRUE(StatusEndsWith("Database error: continued after the failing statement."))
        << TextOf(status_);

    ASSERT_TRUE(Demo::Click(Button("E&xit")));
    EXPECT_EQ(demo_->Finished(), 0);

    // 11, 53 (once: the retry went through), 482 from the box and the dialog,
    // 53 (the nested error is not logged), 3000 twice; nothing for the disk.
    const std::string log = FileText(log_);
    EXPECT_EQ(Count(log, "\n"), 7) << log;
    EXPECT_EQ(Count(log, ", working out the average, 11, Division by zero, "), 1) << log;
    EXPECT_EQ(Count(log, ", opening the project file, 53, "), 2) << log;
    EXPECT_EQ(Count(log, ", printing the report, 482, Printer error, "), 2) << log;
    EXPECT_EQ(Count(log, ", loading the project table, 3000, "), 2) << log;
    EXPECT_EQ(Count(log, ", reading the backup disk, "), 0) << log;
}

} // namespace
