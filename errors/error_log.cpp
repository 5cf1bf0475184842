#include "tamberlin/errors/error_log.h"

#include "errors/error_log_at.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "runtime/format.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

namespace modQFCriticalErrorHandler {

namespace platform = tamberlin::platform;
namespace files = tamberlin::platform::files;

ErrorFolders GetErrorFolders() {
    using tamberlin::sysutil::WithTrailingSeparator;
    std::string log = !strErrorLogFolder.empty() ? strErrorLogFolder : modQFAllData::strAppDataPath;
    // Before InitAppData: where it will put the data folder when the
    // settings say nothing else.
    if (log.empty()) {
        const std::string base = platform::system::DefaultAppDataFolder();
        if (base.empty())
            return {};
        log = tamberlin::app::AppDataPathUnder(WithTrailingSeparator(base));
    }
    log = WithTrailingSeparator(log);
    return {log, log + "Crashes" + tamberlin::platform::NativePathStyle().separator,
            log + "Outbox"};
}

std::string GetErrorLogPath() {
    return GetErrorFolders().log + modQFAllData::strAppEXEName + "Error.log";
}

std::string FormatErrorLogLine(std::string_view strOperation,
                               const tamberlin::runtime::CurrentError& error) {
    // One reading of the clock for both fields: two readings could straddle
    // midnight and stamp the entry a day early.
    return FormatErrorLogLine(strOperation, error, platform::clock::Now());
}

std::string FormatErrorLogLine(std::string_view strOperation,
                               const tamberlin::runtime::CurrentError& error,
                               const platform::clock::LocalTime& now) {
    using tamberlin::runtime::ZeroPadded;
    std::string line = platform::system::AbbreviatedMonthName(now.month) + " " +
                       std::to_string(now.day) + " " + ZeroPadded(now.year, 4) + " " +
                       ZeroPadded(now.hour, 2) + ":" + ZeroPadded(now.minute, 2) + ":" +
                       ZeroPadded(now.second, 2);
    line += ", ";
    line += strOperation;
    line += ", " + std::to_string(error.Number) + ", " + error.Description + ", " + error.Source +
            ", " + std::to_string(error.LastDllError) + "\r\n";
    return line;
}

void WriteErrorLog(std::string_view strOperation) noexcept {
    WriteErrorLog(strOperation, tamberlin::runtime::CurrentError::FromCurrentException());
}

void WriteErrorLog(std::string_view strOperation,
                   const tamberlin::runtime::CurrentError& error) noexcept {
    try {
        WriteErrorLog(strOperation, error, platform::clock::Now());
    } catch (...) {
    }
}

void WriteErrorLog(std::string_view strOperation, const tamberlin::runtime::CurrentError& error,
                   const platform::clock::LocalTime& when) noexcept {
    std::string pending;
    try {
        const std::string folder_path = GetErrorFolders().log;
        const std::string path = folder_path + modQFAllData::strAppEXEName + "Error.log";
        pending = "A permissions error occurred creating the log file directory [" + path + "].";
        const bool folder = modQFSystemUtilities::EnsureFolder(folder_path, false) ||
                            files::CreateFolder(folder_path);
        if (folder) {
            pending = "The log could not be written to [" + path + "]. The log file is Read-only.";
            const files::Existing existing = files::ExistingFile(path);
            if (existing == files::Existing::kNone || existing == files::Existing::kWritable) {
                pending = "An error occured writing to the log file [" + path + "].";
                const std::string line =
                    platform::AnsiFromUtf8(FormatErrorLogLine(strOperation, error, when));
                if (files::AppendToFile(path, line))
                    return;
            }
        }
    } catch (...) {
        // Reported with the stage's message below, like any other failure.
    }
    try {
        if (!blnLogErrorShown) {
            tamberlin::ui::CurrentHost().MsgBox(pending, "Logging Error",
                                                tamberlin::ui::Buttons::kOK,
                                                tamberlin::ui::Icon::kInformation);
            blnLogErrorShown = true;
        }
    } catch (...) {
    }
}

namespace {

// A handler that fails under a UI host is logged as the critical error it is,
// under the handler's name; the host has unloaded its form.
void LogHandlerError(std::string_view handler) noexcept {
    WriteErrorLog(handler);
}

// Installed before main runs, in every program that links the error log.
[[maybe_unused]] const auto kPreviousReporter =
    tamberlin::ui::SetHandlerErrorReporter(LogHandlerError);

} // namespace

} // namespace modQFCriticalErrorHandler
