// The demo's main window through the Win32 host, driven from another process
// the way a user (or an accessibility tool) drives it: the real
// tamberlin-demo.exe is started, its windows are found by caption, its
// buttons clicked and its text boxes read with messages. What each action
// does is covered through the terminal; this covers the windows.
#include <windows.h>

#include "tests/support/win32_driver.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <string>

namespace {

using namespace tamberlin::testing;

// The demo with `arguments`, its standard output into `output`. It is in a
// job that ends it when the test ends, however the test ends.
class Demo {
public:
    explicit Demo(const std::string& arguments, HANDLE output = nullptr) {
        std::string path = TAMBERLIN_DEMO;
        std::replace(path.begin(), path.end(), '/', '\\');
        std::string command = "\"" + (path[0] == '\\' ? "Z:" + path : path) + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = output ? STARTF_USESTDHANDLES : 0;
        startup.hStdOutput = output;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
        limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limit, sizeof limit);
        SetEnvironmentVariableA("TAMBERLIN_UI", "gui");
        started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, output != nullptr,
                                 CREATE_SUSPENDED, nullptr, nullptr, &startup, &process_) &&
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
    HWND Window(const std::string& caption, HWND except = nullptr) const {
        return WaitForWindow(process_.dwProcessId, caption, except);
    }

    bool started = false;

private:
    HANDLE job_ = CreateJobObjectA(nullptr, nullptr);
    PROCESS_INFORMATION process_{};
};

// The error log's path, as `tamberlin-demo info` tells it.
std::string ErrorLogPath() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return {};
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::string out;
    {
        const Demo info("info", write);
        CloseHandle(write);
        char buffer[4096];
        for (DWORD n = 0; ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0;)
            out.append(buffer, n);
        EXPECT_EQ(info.Status(), 0u);
    }
    CloseHandle(read);
    std::smatch path;
    return std::regex_search(out, path, std::regex("ErrorLogPath: ([^\r\n]+)")) ? path[1].str()
                                                                                : "";
}

// The main window shows the application's data; a dialog answered with OK
// and a message box cancelled each leave their status line, only the dialog
// a log entry; the main window is disabled while a dialog is open; Exit ends
// the demo with status 0.
TEST(DemoWin32Test, MainWindowActionsAndExit) {
    const Watchdog watchdog(100s, "the demo was still being driven");
    const std::string log = ErrorLogPath();
    ASSERT_NE(log, "") << "tamberlin-demo info named no error log";
    DeleteFileA(log.c_str());
    const Demo demo("");
    ASSERT_TRUE(demo.started) << "could not start " << TAMBERLIN_DEMO;
    HWND window = demo.Window("Tamberlin");
    ASSERT_NE(window, nullptr) << "the main window did not appear";
    HWND info = FindWindowExA(window, nullptr, "Edit", nullptr);
    HWND status = FindWindowExA(window, info, "Edit", nullptr);
    const std::string shown = TextOf(info);
    EXPECT_EQ(shown.rfind("Title: Tamberlin\r\nVersion: ", 0), 0u) << shown;
    EXPECT_NE(shown.find("\r\nError log: " + log), std::string::npos) << shown;
    const auto status_ends_with = [&](const std::string& line) {
        return WaitUntil([&] {
            const std::string text = TextOf(status);
            return text.size() > line.size() && text.ends_with("\r\n" + line);
        });
    };

    ASSERT_TRUE(Click(ButtonOf(window, "Divide by zero")));
    HWND dialog = demo.Window("Tamberlin Error");
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(window)) << "the main window stays usable under the dialog";
    EXPECT_EQ(TextOf(FindWindowExA(dialog, nullptr, "Edit", nullptr))
                  .rfind("A mathematical error has occurred working out the average.\r\n\r\n", 0),
              0u);
    ASSERT_TRUE(Click(ButtonOf(dialog, "OK")));
    EXPECT_TRUE(status_ends_with("Divide by zero: continued after the failing statement."))
        << TextOf(status);
    EXPECT_TRUE(IsWindowEnabled(window));

    ASSERT_TRUE(Click(ButtonOf(window, "Disk not ready")));
    HWND box = demo.Window("Tamberlin", window);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)).rfind("Disk not ready.", 0), 0u);
    ASSERT_TRUE(Click(GetDlgItem(box, IDCANCEL)));
    EXPECT_TRUE(status_ends_with("Disk not ready: continued after the failing statement."))
        << TextOf(status);
    EXPECT_EQ(FindWindowA(nullptr, "Tamberlin Error"), nullptr);

    ASSERT_TRUE(Click(ButtonOf(window, "E&xit")));
    EXPECT_EQ(demo.Status(), 0u);
    std::ifstream in(log, std::ios::binary);
    const std::string logged{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
    EXPECT_NE(logged.find(", working out the average, 11, Division by zero, "), std::string::npos)
        << logged;
}

} // namespace
