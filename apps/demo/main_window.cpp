#include "apps/demo/main_window.h"

#include "platform/files.h"
#include "platform/system.h"
#include "runtime/format.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/report_route.h"
#include "tamberlin/errors/trap.h"
#include "tamberlin/errors/waiting_reports.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/folders.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace {

namespace ui = tamberlin::ui;
namespace fs = std::filesystem;
namespace mail = modQFEmailClient;
namespace rt = tamberlin::runtime::errors;
using tamberlin::runtime::RuntimeError;

struct Action {
    const char* command;
    const char* caption;
    std::optional<std::int32_t> transport = {}; // an e-mail button's selector
};

// The buttons, top to bottom.
constexpr Action kActions[] = {
    {"1", "Open a missing file"},
    {"2", "Write a read-only file"},
    {"3", "Divide by zero"},
    {"4", "Database error"},
    {"5", "Printer error"},
    {"6", "Disk not ready"},
    {"7", "Error inside the dialog"},
    {"8", "Negative error number"},
    {"9", "E-mail: detect client", mail::kDetectTransport},
    {"10", "E-mail: MAPI/Control", mail::kMapiControl},
    {"11", "E-mail: MAPI/Direct", mail::kMapiDirect},
    {"12", "E-mail: MAPI/CDO", mail::kMapiCdo},
    {"log", "Open the error log"},
    {"q", "E&xit"},
};

// The crashes no trap can catch, in a column of their own, and below them
// what to do with the reports waiting in the Outbox.
constexpr Action kCrashActions[] = {
    {"segv", "Crash: null write"},
    {"fpe", "Crash: division by zero"},
    {"abort", "Crash: abort()"},
    {"stack", "Crash: stack overflow"},
    {"throw", "Crash: uncaught exception"},
};

// Below the crashes: the reports an earlier run could not hand over.
constexpr Action kOutboxActions[] = {
    {"send", "Send waiting reports"},
    {"outbox", "Open the Outbox folder"},
};

fs::path FsPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// The demo's scratch files live beside the error log.
std::string DataFile(const char* name) {
    modQFSystemUtilities::EnsureFolder(modQFAllData::strAppDataPath, true);
    return modQFAllData::strAppDataPath + name;
}

const char* Answered(std::int16_t response) {
    switch (response) {
    case modQFCriticalErrorHandler::Retry:
        return "retried, and the second attempt went through";
    case modQFCriticalErrorHandler::Ignore:
        return "continued after the failing statement";
    default:
        return "left the procedure";
    }
}

const char* TransportName(std::int32_t transport) {
    switch (transport) {
    case mail::kDetectTransport:
        return "detected client";
    case mail::kMapiControl:
        return "MAPI/Control";
    case mail::kMapiDirect:
        return "MAPI/Direct";
    default:
        return "MAPI/CDO";
    }
}

const char* SendResult(std::int32_t result) {
    switch (result) {
    case mail::kHandedOver:
        return "handed over to the mail client";
    case mail::kNoTransport:
        return "no transport for the selector";
    case mail::kAttachmentProblem:
        return "an attachment could not be sent";
    case mail::kSendCancelled:
        return "cancelled";
    default:
        return "failed";
    }
}

int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile int g_hundred = 100; // 1 / x is computed without dividing
volatile int g_depth_limit = -1;

[[gnu::noinline]] int Recurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth == g_depth_limit)
        return 0;
    return Recurse(depth + 1) + pad[0];
}

[[gnu::noinline]] void Throw() {
    throw std::runtime_error("thrown where no trap can catch it");
}

void ThrowThroughNoexcept() noexcept {
    Throw();
}

} // namespace

bool IsCrashKind(const std::string& kind) {
    return kind == "segv" || kind == "fpe" || kind == "abort" || kind == "stack" || kind == "throw";
}

// (The undefined-behaviour sanitizer would stop the first two before they fault.)
__attribute__((no_sanitize("undefined"))) void CrashOnPurpose(const std::string& kind) {
    if (kind == "segv") {
        *g_null = 1;
    } else if (kind == "fpe") {
        const volatile int quotient = g_hundred / g_zero;
        (void)quotient;
    } else if (kind == "abort") {
        std::abort();
    } else if (kind == "stack") {
        g_depth_limit = Recurse(0);
    } else if (kind == "throw") {
        ThrowThroughNoexcept();
    }
}

frmMain::frmMain() : Form("frmMain") {
    caption = "Tamberlin";
    client_width = 8400;
    client_height = 6120;
    font_name = "Segoe UI";
    font_size = 9;
    menu = true;

    ui::Control info =
        ui::Control::Make("txtInfo", ui::ControlKind::kTextBox, 120, 120, 4800, 3360, 0);
    info.multi_line = info.vertical_scroll_bar = info.locked = true;
    info.accessible_name = "Information";
    ui::Control status = info;
    status.name = "txtStatus";
    status.top = 3780, status.height = 2175;
    status.tab_index = 1;
    status.caption = "Choose an action: each runs under the error trap.";
    status.accessible_name = "What the error trap did";
    ui::Control label = ui::Control::Make("lblStatus", ui::ControlKind::kLabel, 120, 3540, 4800,
                                          225, -1, "What the error trap did:");
    label.label_for = status.name;
    controls = {info, label, status};

    int tab = 2;
    // A column of buttons, one an action, from `top` down; where it ends.
    auto column = [&](const auto& actions, int left, int top, const char* description) {
        for (const Action& a : actions) {
            ui::Control button = ui::Control::Make(std::string("cmdAction") + a.command,
                                                   ui::ControlKind::kCommandButton, left, top, 3240,
                                                   375, tab++, a.caption);
            button.command = a.command;
            if (description)
                button.accessible_description = description;
            controls.push_back(button);
            commands.push_back(a.command);
            top += 420;
        }
        return top;
    };
    column(kActions, 5040, 120, nullptr);
    client_width += 3360;
    const int below =
        column(kCrashActions, 8400, 120,
               "Ends the program with a crash; its report is offered at the next start.");
    column(kOutboxActions, 8400, below, nullptr);
    (*this)("cmdActionq").accessible_description = "Closes the demo.";
}

void frmMain::Form_Load() {
    modQFAllData::InitAppData();
    using namespace modQFAllData;
    // The vendor folder, as the installer would have made it.
    const std::string app_data = modQFSystemUtilities::GetAppDataPath();
    if (!app_data.empty())
        modQFSystemUtilities::EnsureFolder(app_data + "Quillfern", true);
    // The collector route, when one is configured (main stops it), then the
    // crashes of earlier runs, before anything else happens (main installed
    // the handler first).
    tamberlin::errors::StartReportRoute();
    tamberlin::errors::ReportPendingCrashes();
    if (const std::string waiting = tamberlin::errors::WaitingReportsNotice(); !waiting.empty())
        Report(waiting);
    // "Abort and close application" closes the demo once the action is done.
    modQFCriticalErrorHandler::AbortHook = [this] {
        close_requested_ = true;
        return std::string();
    };
    char font[64];
    std::snprintf(font, sizeof font, "%s, %.2f points", strFontName.c_str(), dblFontSize);
    (*this)("txtInfo").caption =
        "Title: " + strAppTitle + "\r\nVersion: " + tamberlin::runtime::VersionText() +
        "\r\nExecutable: " + strAppEXEName + "\r\nProgram folder: " + strAppPath +
        "\r\nData folder: " + strAppDataPath + "\r\nInterface font: " + font +
        "\r\nDecimal separator: " + std::string(1, static_cast<char>(intDecimalSeparator)) + " (" +
        std::to_string(intDecimalSeparator) +
        ")\r\nError log: " + modQFCriticalErrorHandler::GetErrorLogPath();
}

void frmMain::Report(const std::string& line) {
    std::string& status = (*this)("txtStatus").caption;
    status += "\r\n" + line;
}

void frmMain::Trapped(const std::string& label, const std::string& operation,
                      const std::function<void(bool)>& statement) {
    bool first = true;
    std::int16_t response = 0;
    tamberlin::errors::Trap(
        operation,
        [&] {
            const bool now = first;
            first = false;
            statement(now);
        },
        &response);
    Report(label + ": " + Answered(response) + ".");
}

void frmMain::TestEmail(std::int32_t transport) {
    std::int32_t result = 0;
    std::int16_t response = 0;
    tamberlin::errors::Trap(
        "sending a test e-mail",
        [&] {
            const std::string log = modQFCriticalErrorHandler::GetErrorLogPath();
            const bool attach =
                tamberlin::platform::files::FirstEntry(log, tamberlin::platform::files::kNormal) ==
                tamberlin::platform::files::Listing::kEntry;
            std::vector<std::string> names = {""}, paths = {attach ? log : ""};
            result = modQFEmailClient::SendEmail(
                transport, 0, "support@quillfern.example",
                modQFAllData::strAppTitle + " test e-mail",
                "This is a test message from the " + modQFAllData::strAppTitle + " demo.",
                attach ? 1 : 0, names, paths, window_handle, MyMAPISession, MyMAPIMessages);
        },
        &response);
    if (response)
        Report(std::string("Test e-mail (") + TransportName(transport) +
               "): " + Answered(response) + ".");
    else
        Report(std::string("Test e-mail (") + TransportName(transport) + "): result " +
               std::to_string(result) + ", " + SendResult(result) + ".");
}

void frmMain::OpenErrorLog() {
    const std::string log = modQFCriticalErrorHandler::GetErrorLogPath();
    namespace files = tamberlin::platform::files;
    if (files::FirstEntry(log, files::kNormal) != files::Listing::kEntry)
        Report("The error log " + log + " does not exist yet.");
    else if (tamberlin::platform::system::OpenWithViewer(log))
        Report("Opened " + log + ".");
    else
        Report("No viewer could open " + log + ".");
}

void frmMain::Raise(std::string_view control, ui::Event event) {
    if (event != ui::Event::kClick || control.substr(0, 9) != "cmdAction")
        return;
    const std::string command(control.substr(9));
    if (IsCrashKind(command)) {
        tamberlin::errors::Trap("testing a crash", [&] { CrashOnPurpose(command); });
    } else if (command == "1") {
        Trapped("Open a missing file", "opening the project file", [](bool first) {
            const std::string path = DataFile("missing-project.tam");
            if (!first) // what the user put right before choosing Retry
                tamberlin::platform::files::AppendToFile(path, "");
            (void)fs::file_size(FsPath(path));
            fs::remove(FsPath(path));
        });
    } else if (command == "2") {
        Trapped("Write a read-only file", "saving the settings", [](bool first) {
            const std::string path = DataFile("read-only-settings.ini");
            namespace files = tamberlin::platform::files;
            files::AppendToFile(path, "");
            fs::permissions(FsPath(path), first ? fs::perms::owner_read : fs::perms::owner_all);
            // Read-only is refused for everyone, root included, as Windows does.
            if (files::ReadOnlyAttribute(path) == 1)
                throw fs::filesystem_error("writing the settings", FsPath(path),
                                           std::make_error_code(std::errc::permission_denied));
            files::AppendToFile(path, "saved\n");
        });
    } else if (command == "3") {
        Trapped("Divide by zero", "working out the average", [](bool first) {
            const int count = first ? 0 : 4;
            if (count == 0)
                throw RuntimeError(rt::kDivisionByZero);
        });
    } else if (command == "4") {
        Trapped("Database error", "loading the project table", [](bool first) {
            if (first)
                throw RuntimeError(rt::kDatabaseErrors.first,
                                   "Field 'Budget' not found in table 'Projects'");
        });
    } else if (command == "5") {
        Trapped("Printer error", "printing the report", [](bool first) {
            if (first)
                throw RuntimeError(rt::kPrinterError);
        });
    } else if (command == "6") {
        Trapped("Disk not ready", "reading the backup disk", [](bool first) {
            if (first)
                throw RuntimeError(rt::kDiskNotReady);
        });
    } else if (command == "7") {
        // While the dialog for the first error waits, an event of another
        // part of the program fails too: its handler must not open a second
        // dialog.
        ui::Post([this] {
            std::int16_t nested = 0;
            tamberlin::errors::Trap(
                "refreshing the status bar", [] { throw RuntimeError(rt::kInvalidProcedureCall); },
                &nested);
            Report("  A second error while the dialog was open: the handler answered " +
                   std::to_string(nested) + " without a second dialog.");
        });
        Trapped("Error inside the dialog", "opening the project file", [](bool first) {
            if (first)
                throw RuntimeError(rt::kFileNotFound, "Project file not found");
        });
    } else if (command == "8") {
        Trapped("Negative error number", "starting the spell checker", [](bool first) {
            if (first)
                throw RuntimeError(-2147467259, "Automation error");
        });
    } else if (command == "log") {
        OpenErrorLog();
    } else if (command == "send") {
        const int sent =
            tamberlin::errors::SendWaitingReports(window_handle, MyMAPISession, MyMAPIMessages);
        const std::string left = tamberlin::errors::WaitingReportsNotice();
        Report("Handed over " + std::to_string(sent) + " waiting reports." +
               (left.empty() ? "" : " " + left));
    } else if (command == "outbox") {
        const std::string folder = tamberlin::errors::OutboxFolder();
        Report(
            (tamberlin::platform::system::OpenWithViewer(folder) ? "Opened " : "Could not open ") +
            folder + ".");
    } else if (command == "q") {
        ui::Unload(*this);
        return;
    } else {
        for (const Action& a : kActions)
            if (a.transport && command == a.command)
                TestEmail(*a.transport);
    }
    if (close_requested_) {
        Report("\"Abort and close application\" was chosen: closing.");
        ui::Unload(*this);
    }
}
