#include "tamberlin/errors/error_log.h"

#include "errors/error_log_at.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/ui/host.h"

#include <cstdio>

namespace modQFCriticalErrorHandler {

namespace platform = tamberlin::platform;
namespace files = tamberlin::platform::files;

std::string GetErrorLogPath() {
    const char separator = platform::NativePathStyle().separator;
    std::string path = strErrorLogFolder;
    if (path.empty() || path.back() != separator)
        path += separator;
    return path + modQFAllData::strAppEXEName + "Error.log";
}

std::string FormatErrorLogLine(std::string_view strOperation,
                               const tamberlin::errors::CurrentError& error) {
    // One reading of the clock for both fields: two readings could straddle
    // midnight and stamp the entry a day early.
    return FormatErrorLogLine(strOperation, error, platform::clock::Now());
}

std::string FormatErrorLogLine(std::string_view strOperation,
                               const tamberlin::errors::CurrentError& error,
                               const platform::clock::LocalTime& now) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, " %d %04d %02d:%02d:%02d", now.day, now.year, now.hour,
                  now.minute, now.second);
    std::string line = platform::system::AbbreviatedMonthName(now.month) + stamp;
    line += ", ";
    line += strOperation;
    line += ", " + std::to_string(error.Number) + ", " + error.Description + ", " + error.Source +
            ", " + std::to_string(error.LastDllError) + "\r\n";
    return line;
}

void WriteErrorLog(std::string_view strOperation) noexcept {
    WriteErrorLog(strOperation, tamberlin::errors::CurrentError::FromCurrentException());
}

void WriteErrorLog(std::string_view strOperation,
                   const tamberlin::errors::CurrentError& error) noexcept {
    try {
        WriteErrorLog(strOperation, error, platform::clock::Now());
    } catch (...) {
    }
}

void WriteErrorLog(std::string_view strOperation, const tamberlin::errors::CurrentError& error,
                   const platform::clock::LocalTime& when) noexcept {
    std::string pending;
    try {
        const std::string path = GetErrorLogPath();
        pending = "A permissions error occurred creating the log file directory [" + path + "].";
        const bool folder = modQFSystemUtilities::EnsureFolder(strErrorLogFolder, false) ||
                            files::CreateFolder(strErrorLogFolder);
        if (folder) {
            pending = "The log could not be written to [" + path + "]. The log file is Read-only.";
            const files::Listing existing = files::FirstEntry(path, files::kReadOnly);
            const bool writable =
                existing == files::Listing::kNoEntry ||
                (existing == files::Listing::kEntry && files::ReadOnlyAttribute(path) == 0);
            if (writable) {
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

} // namespace modQFCriticalErrorHandler
