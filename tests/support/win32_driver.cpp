#include "tests/support/win32_driver.h"

#include "platform/text_win32.h"

#include <cstdio>

namespace tamberlin::testing {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Sleep(20);
    }
    return true;
}

namespace {

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
    return platform::win32::Utf8FromWide(text);
}

} // namespace

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

HWND ButtonOf(HWND parent, const std::string& caption) {
    return FindWindowExW(parent, nullptr, L"Button",
                         platform::win32::WideFromUtf8(caption).c_str());
}

bool Click(HWND button) {
    return button && PostMessageW(button, BM_CLICK, 0, 0);
}

Watchdog::Watchdog(std::chrono::seconds limit, std::string what)
    : thread_([=, done = done_.get_future()] {
          if (done.wait_for(limit) == std::future_status::ready)
              return;
          std::fprintf(stderr, "watchdog: %s after %d s\n", what.c_str(),
                       static_cast<int>(limit.count()));
          std::fflush(stderr);
          TerminateProcess(GetCurrentProcess(), 3);
      }) {}

Watchdog::~Watchdog() {
    done_.set_value();
    thread_.join();
}

} // namespace tamberlin::testing
