// tamberlin-demo: the application that shows the services at work.
//
//   tamberlin-demo         the demo's main window: actions that fail under the
//                          error trap, one kind of failure each
//   tamberlin-demo info    prints the application-wide data and the log's path
//   tamberlin-demo raise --number N [--description TEXT] [--source TEXT]
//                        [--last-dll-error N] [--op TEXT] [--allow-email]
//                        [--allow-abort]
//                          raises that error in a trapped statement and prints
//                          the handler's answer as "response: R"
//   tamberlin-demo crash segv|fpe|abort|stack|throw
//                          fails that way inside the trapped operation
//                          "testing a crash"; the next start reports it
//
// The main window and `raise` report the crashes of earlier runs first;
// `info` does not.
// The user interface is the window system's when there is a display, the
// terminal otherwise (TAMBERLIN_UI=gui|terminal forces one).
#include "apps/demo/main_window.h"
#include "platform/system.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/report_route.h"
#include "tamberlin/errors/trap.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/folders.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kTitle = "Tamberlin";

// Numbers are written without the locale, so "8.25" stays "8.25".
std::string Number(double value) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr);
}

void Print(std::string_view name, std::string_view value) {
    std::printf("%.*s: %.*s\n", static_cast<int>(name.size()), name.data(),
                static_cast<int>(value.size()), value.data());
}

// What the application's first window does when it loads: its title, the
// application-wide data, and the vendor folder an installer would have made.
void Start() {
    tamberlin::runtime::App().SetTitle(kTitle);
    modQFAllData::InitAppData();
    const std::string app_data = modQFSystemUtilities::GetAppDataPath();
    if (!app_data.empty())
        modQFSystemUtilities::EnsureFolder(app_data + "Quillfern", true);
}

// The collector route (when TAMBERLIN_DSN or the settings name one), then
// what the crashes of earlier runs left (the handler went in first, in main).
void StartReporting() {
    Start();
    tamberlin::errors::StartReportRoute();
    tamberlin::errors::ReportPendingCrashes();
}

int Info() {
    using namespace modQFAllData;
    Start();
    Print("strAppTitle", strAppTitle);
    Print("strAppEXEName", strAppEXEName);
    Print("strAppPath", strAppPath);
    Print("strAppDataPath", strAppDataPath);
    Print("intDecimalSeparator", std::to_string(intDecimalSeparator));
    Print("strFontName", strFontName);
    Print("dblFontSize", Number(dblFontSize));
    Print("picAppPicture", picAppPicture ? "empty picture" : "none");
    Print("intLayoutSpacing", std::to_string(intLayoutSpacing));
    for (int i = 1; i <= 15; ++i)
        Print("lngInterfaceColours(" + std::to_string(i) + ")",
              std::to_string(lngInterfaceColours[static_cast<size_t>(i)]));
    Print("strSpacer1", strSpacer1);
    Print("strSpacer2", strSpacer2);
    Print("ErrorLogPath", modQFCriticalErrorHandler::GetErrorLogPath());
    return 0;
}

struct RaiseOptions {
    std::int32_t number = 0;
    std::string description;
    std::string source;
    std::int32_t last_dll_error = 0;
    std::string operation = "running the demo";
    std::optional<bool> allow_email;
    std::optional<bool> allow_abort;
};

bool ParseNumber(const std::string& text, std::int32_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::optional<RaiseOptions> ParseRaise(const std::vector<std::string>& args) {
    RaiseOptions o;
    bool have_number = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "--allow-email") {
            o.allow_email = true;
        } else if (a == "--allow-abort") {
            o.allow_abort = true;
        } else if (!has_value) {
            return std::nullopt;
        } else if (a == "--number") {
            if (!ParseNumber(args[++i], o.number))
                return std::nullopt;
            have_number = true;
        } else if (a == "--last-dll-error") {
            if (!ParseNumber(args[++i], o.last_dll_error))
                return std::nullopt;
        } else if (a == "--description") {
            o.description = args[++i];
        } else if (a == "--source") {
            o.source = args[++i];
        } else if (a == "--op") {
            o.operation = args[++i];
        } else {
            return std::nullopt;
        }
    }
    return have_number ? std::optional(o) : std::nullopt;
}

// Raises the error once in a trapped statement; a retry runs the statement
// again, which then succeeds.
int Raise(const RaiseOptions& o) {
    StartReporting();
    std::int16_t response = 0;
    bool raised = false;
    for (;;) {
        try {
            if (!raised) {
                raised = true;
                throw tamberlin::runtime::RuntimeError(o.number, o.description, o.source,
                                                       o.last_dll_error);
            }
            break;
        } catch (...) {
            response = modQFCriticalErrorHandler::HandleCriticalError(o.operation, o.allow_email,
                                                                      o.allow_abort);
            if (response != modQFCriticalErrorHandler::Retry)
                break;
        }
    }
    std::printf("response: %d\n", response);
    return 0;
}

int Usage();

int Crash(const std::string& kind) {
    if (!IsCrashKind(kind))
        return Usage();
    Start();
    tamberlin::errors::Trap("testing a crash", [&] { CrashOnPurpose(kind); });
    return 1; // not reached
}

int Usage() {
    std::fputs("usage: tamberlin-demo\n"
               "       tamberlin-demo info\n"
               "       tamberlin-demo raise --number N [--description TEXT] [--source TEXT]\n"
               "                            [--last-dll-error N] [--op TEXT] [--allow-email]\n"
               "                            [--allow-abort]\n"
               "       tamberlin-demo crash segv|fpe|abort|stack|throw\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // First: a crash in what follows (the settings store, the fonts) is
    // reported at the next start too.
    tamberlin::errors::InstallCrashHandler();
    namespace sys = tamberlin::platform::system;
    sys::UseUtf8Console();
    // Whoever started the collector route, it has 2 seconds at the end.
    struct StopRoute {
        ~StopRoute() { tamberlin::errors::StopReportRoute(); }
    } stop_route;
    try {
        const std::vector<std::string> args = sys::CommandLineArguments(argc, argv);
        if (args.empty()) {
            tamberlin::runtime::App().SetTitle(kTitle);
            frmMain window;
            tamberlin::ui::ShowModal(window);
            return 0;
        }
        if (args.size() == 1 && args[0] == "info")
            return Info();
        if (!args.empty() && args[0] == "raise") {
            const std::optional<RaiseOptions> options = ParseRaise(args);
            return options ? Raise(*options) : Usage();
        }
        if (args.size() == 2 && args[0] == "crash")
            return Crash(args[1]);
        return Usage();
    } catch (const tamberlin::runtime::RuntimeError& e) {
        std::fprintf(stderr, "tamberlin-demo: run-time error %d: %s\n", e.Number(),
                     e.Description().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tamberlin-demo: %s\n", e.what());
    }
    return 1;
}
