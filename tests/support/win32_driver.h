// Drives Win32 windows the way a user does, from another thread or process:
// windows found by caption, buttons clicked with messages, texts read with
// messages. Every wait is bounded.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace tamberlin::testing {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `limit` has passed; answers whether it
// held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s);

// Waits for a visible top-level window of `process` with that caption; null
// after 10 s.
HWND WaitForWindow(DWORD process, const std::string& caption);

// The child button with that caption (null when there is none).
HWND ButtonOf(HWND parent, const std::string& caption);

// Posts a click to the button, since a sent one would not return before the
// modal windows it opens had closed; answers whether there was a button.
bool Click(HWND button);

// Ends the test's process, telling `what` on standard error, unless
// destroyed within `limit`.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, std::string what);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::promise<void> done_;
    std::thread thread_;
};

} // namespace tamberlin::testing
