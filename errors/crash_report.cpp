// Crash capture's portable half: installing the handlers with what they need,
// the std::terminate handler, and at the next start reading the records,
// logging them, showing them and retiring them.
//
// The handlers go in before anything else runs, into the system's default
// data folder, and follow the data folder when InitAppData finds the
// settings name another. At the next start a record is moved into
// "Reported" before it is shown, so whatever happens during its dialog (the
// program is killed, crashes again) it is never shown twice; the readable
// report beside it stays there for the mail client.
#include "errors/error_log_at.h"
#include "errors/operation.h"
#include "errors/report_submit.h"
#include "platform/clock.h"
#include "platform/crash.h"
#include "platform/files.h"
#include "platform/system.h"
#include "report/crash_record.h"
#include "runtime/format.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

namespace tamberlin::errors {
namespace {

namespace fs = std::filesystem;
namespace crash = platform::crash;
namespace crash_record = report::crash_record;
namespace files = platform::files;
using crash_record::Record;
using runtime::CurrentError;
using runtime::ExceptionNumber;
using runtime::NumberOfCurrentException;

// Records kept, pending and reported each: a program that crashes at every
// start cannot fill the disk.
constexpr std::size_t kKeep = 10;

// What each exception code is called in the log and the dialog; signals are
// recorded under the code Windows gives the same fault.
struct Kind {
    std::uint32_t code;
    const char* description;
};
constexpr Kind kKinds[] = {
    {0xC0000005, "Access violation"},
    {0xC00000FD, "Stack overflow"},
    {0xC0000094, "Integer division by zero"},
    {0xC0000095, "Integer overflow"},
    {0xC000008E, "Floating-point division by zero"},
    {0xC000008F, "Floating-point inexact result"},
    {0xC0000090, "Floating-point invalid operation"},
    {0xC0000091, "Floating-point overflow"},
    {0xC0000093, "Floating-point underflow"},
    {0xC000001D, "Illegal instruction"},
    {0xC0000096, "Privileged instruction"},
    {0x80000002, "Datatype misalignment"},
    {0x80000003, "Breakpoint"},
    {0xC0000006, "In-page error"},
    {0x40000015, "Abnormal program termination"},
    {0xC0000409, "Pure virtual function call"},
    {0xC0000417, "Invalid parameter passed to a C run-time function"},
};

fs::path FsPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::terminate_handler g_previous_terminate = nullptr;

// An exception that nobody caught: its number and text go into the record
// the abort that follows leaves.
[[noreturn]] void OnTerminate() noexcept {
    const ExceptionNumber n = NumberOfCurrentException();
    if (n.Number != 0)
        crash::NoteUncaughtException(n.Number, n.What ? n.What : "");
    if (g_previous_terminate)
        g_previous_terminate(); // the run-time's own message, then abort()
    std::abort();
}

// Where the handlers write now, and where they first wrote in this run (a
// crash in the start-up before the settings were read leaves its record
// there).
std::string g_installed_folder;
std::string g_first_folder;

// One line in the error log now, in a run that may not have read its
// settings yet: the log goes to the default data folder then.
void LogNow(const std::string& operation, const std::string& description) noexcept {
    try {
        const bool unnamed = modQFCriticalErrorHandler::strErrorLogFolder.empty() &&
                             modQFAllData::strAppEXEName.empty();
        if (unnamed)
            modQFAllData::strAppEXEName = runtime::App().EXEName();
        CurrentError error;
        error.Description = description;
        error.Source = runtime::App().Title();
        modQFCriticalErrorHandler::WriteErrorLog(operation, error);
        if (unnamed)
            modQFAllData::strAppEXEName.clear();
    } catch (...) {
    }
}

bool Install(const std::string& folder) {
    if (folder.empty())
        return false;
    const fs::path path = FsPath(folder);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status) && !fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::create_directories(path.parent_path().parent_path(), ec);
        if (fs::create_directory(path, ec))
            fs::permissions(path, fs::perms::owner_all, ec);
    }
    if (!fs::is_directory(path, ec)) {
        // A file or a dangling link where the folder belongs: say so once.
        static bool said = false;
        if (!said) {
            said = true;
            LogNow("installing the crash handler",
                   "Crashes cannot be recorded: [" + folder + "] is not a folder");
        }
        return false;
    }
    if (!crash::Install({folder, nullptr, OperationOfThread}))
        return false;
    g_installed_folder = folder;
    if (g_first_folder.empty())
        g_first_folder = folder;
    return true;
}

// InitAppData has read the settings: the records follow the data folder.
void FollowDataFolder() noexcept {
    try {
        if (!g_installed_folder.empty() && CrashFolder() != g_installed_folder)
            Install(CrashFolder());
    } catch (...) {
    }
}

// Whether a record's time can be shown, by today's clock.
bool Sane(const std::optional<std::int64_t>& seconds) {
    return seconds &&
           crash_record::SaneTime(*seconds, static_cast<std::int64_t>(std::time(nullptr)));
}

std::string DateText(const platform::clock::LocalTime& t) {
    using runtime::ZeroPadded;
    return platform::system::AbbreviatedMonthName(t.month) + " " + std::to_string(t.day) + " " +
           ZeroPadded(t.year, 4) + " " + ZeroPadded(t.hour, 2) + ":" + ZeroPadded(t.minute, 2) +
           ":" + ZeroPadded(t.second, 2);
}

// The error a record stands for: an exception that reached std::terminate by
// the same numbers a trap would have given it, any other crash by its
// exception code.
CurrentError ErrorOf(const Record& r) {
    CurrentError e;
    e.Source = runtime::App().Title();
    if (r.uncaught != 0) {
        e.Number = r.uncaught;
        e.Description = r.uncaught_what.empty()
                            ? std::string(runtime::StandardDescription(r.uncaught))
                            : r.uncaught_what;
        return e;
    }
    if (!r.code) {
        e.Description = "Cause unknown: the crash record is incomplete";
        return e;
    }
    e.Number = static_cast<std::int32_t>(*r.code);
    for (const Kind& kind : kKinds)
        if (kind.code == *r.code)
            e.Description = kind.description;
    if (e.Description.empty()) {
        char text[40];
        std::snprintf(text, sizeof text, "Exception 0x%08X", static_cast<unsigned>(*r.code));
        e.Description = text;
    }
    return e;
}

// One crash about to be shown: its record as read, what it stands for, and
// where the record is now.
struct Pending {
    fs::path path; // in "Reported"
    std::string text;
    Record record;
    CurrentError error;
    std::optional<std::int64_t> seconds; // sane, or none
    std::string when;                    // the date text, or "at an unknown time"
};

std::string FirstParagraph(const Pending& p) {
    std::string message = modQFAllData::strAppTitle + " closed unexpectedly";
    if (!p.record.operation.empty())
        message += " while " + p.record.operation;
    if (p.record.shape != Record::Shape::kWhole)
        return message + (p.seconds ? " on " + p.when : "") +
               ". What went wrong was not recorded: the crash record is incomplete.";
    return message + ".";
}

std::string Message(const Pending& p) {
    std::string message = FirstParagraph(p);
    if (p.record.shape != Record::Shape::kWhole)
        return message + "\r\n";
    // The usual details block follows the first paragraph.
    const std::string composed = modQFCriticalErrorHandler::ComposeErrorMessage(p.error, "");
    const size_t details = composed.find("\r\n\r\n");
    if (details != std::string::npos)
        message += composed.substr(details);
    return message;
}

// Several crashes in one dialog: how often, since when, and one line each.
std::string Message(const std::vector<Pending>& shown) {
    if (shown.size() == 1)
        return Message(shown[0]);
    std::string message = modQFAllData::strAppTitle + " closed unexpectedly " +
                          std::to_string(shown.size()) + " times";
    const auto first = std::find_if(shown.begin(), shown.end(),
                                    [](const Pending& p) { return p.seconds.has_value(); });
    if (first != shown.end())
        message += " since " + first->when;
    message += ".\r\n\r\n" + modQFAllData::strAppTitle + " " + runtime::VersionText() + "\r\n";
    for (const Pending& p : shown) {
        message += p.when + ": " + p.error.Description;
        if (!p.record.operation.empty())
            message += ", while " + p.record.operation;
        message += "\r\n";
    }
    return message;
}

// The records in `folder`, oldest first (their names begin with the time):
// whatever is named like one, links too, which the reader then refuses.
std::vector<fs::path> Records(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == crash::kRecordExtension && !it->is_directory(ec))
            found.push_back(it->path());
    std::sort(found.begin(), found.end());
    return found;
}

// The record and the files made from it (report, minidump).
void RemoveRecord(const fs::path& record) {
    std::error_code ec;
    for (const char* extension : {".txt", crash::kDumpExtension})
        fs::remove(fs::path(record).replace_extension(extension), ec);
    fs::remove(record, ec);
}

// Moves the record and its minidump into "Reported"; false when the record
// could not be moved.
bool Retire(const fs::path& record, const fs::path& reported) {
    std::error_code ec;
    fs::create_directory(reported, ec);
    fs::permissions(reported, fs::perms::owner_all, ec);
    const fs::path dump = fs::path(record).replace_extension(crash::kDumpExtension);
    if (fs::exists(fs::symlink_status(dump, ec)))
        fs::rename(dump, reported / dump.filename(), ec);
    fs::rename(record, reported / record.filename(), ec);
    return !ec;
}

// Reported keeps the newest, with their reports.
void KeepNewest(const fs::path& reported) {
    const std::vector<fs::path> kept = Records(reported);
    for (size_t i = 0; i + kKeep < kept.size(); ++i)
        RemoveRecord(kept[i]);
}

// A record that could not be moved stays where it is: it is logged once,
// with a line that says why, and never shown.
void LogUnretirable(const Pending& p, const fs::path& record) {
    const std::string name = Utf8(record.filename());
    std::string log;
    files::ReadWholeFile(modQFCriticalErrorHandler::GetErrorLogPath(), log);
    if (log.find(name) != std::string::npos)
        return;
    modQFCriticalErrorHandler::WriteErrorLog(
        p.record.operation.empty() ? "(no trapped operation)" : p.record.operation, p.error,
        p.seconds ? crash::LocalTimeOf(*p.seconds) : platform::clock::Now());
    LogNow("reporting a crash", "The crash record " + name +
                                    " cannot be moved to Reported (a read-only folder?): it is "
                                    "logged here and not shown");
}

// The readable report: what the dialog said, each record's header, and its
// frames as module + offset; `names` adds the functions and lines where
// the platform can find them (slow: done when the report is sent).
std::string ReportText(const std::vector<Pending>& shown, const std::string& message, bool names) {
    std::string text = message.substr(0, message.find("\r\n")) + "\n";
    for (const Pending& p : shown) {
        text += "\n" + Utf8(p.path.filename()) + " (" + p.when + ")\n" + p.record.header;
        text += crash_record::Frames(p.record);
        if (names)
            text += crash::Describe(p.text);
    }
    return text;
}

// Writes the report whole and private, replacing an earlier one.
bool WriteReport(const fs::path& path, const std::string& text) {
    const fs::path temporary = fs::path(path).replace_extension(".tmp");
    std::error_code ec;
    fs::remove(temporary, ec);
    if (!files::CreateNewFile(Utf8(temporary), text))
        return false;
    fs::rename(temporary, path, ec);
    if (ec)
        fs::remove(temporary, ec);
    return !ec;
}

// Reads a pending record; nullopt when it is not one to show (it has been
// set aside, or logged as one that cannot be retired).
std::optional<Pending> Take(const fs::path& path, const fs::path& reported) {
    Pending p;
    const files::OwnRead read = files::ReadOwnFile(Utf8(path), crash_record::kMaxBytes, p.text);
    p.record = crash_record::Parse(p.text);
    if (read == files::OwnRead::kFailed)
        p.record.shape = Record::Shape::kCut;
    if (read == files::OwnRead::kRefused || p.record.shape == Record::Shape::kForeign) {
        // Not ours or not a record: not read further, not attached.
        p.text.clear();
        if (!Retire(path, reported)) {
            std::error_code ec;
            fs::remove(path, ec);
        }
        return std::nullopt;
    }
    p.seconds = p.record.seconds;
    if (!Sane(p.seconds))
        p.seconds = crash_record::SecondsOfName(Utf8(path.filename()));
    if (!Sane(p.seconds))
        p.seconds.reset();
    p.when = p.seconds ? DateText(crash::LocalTimeOf(*p.seconds)) : "at an unknown time";
    p.error = ErrorOf(p.record);
    if (!p.seconds)
        p.error.Description += " (time of the crash unknown)";
    if (!Retire(path, reported)) {
        LogUnretirable(p, path);
        return std::nullopt;
    }
    p.path = reported / path.filename();
    return p;
}

void Show(const std::vector<Pending>& shown) {
    const std::string message = Message(shown);
    // Each one in the log first, at the crash's own time.
    for (const Pending& p : shown)
        modQFCriticalErrorHandler::WriteErrorLog(
            p.record.operation.empty() ? "(no trapped operation)" : p.record.operation, p.error,
            p.seconds ? crash::LocalTimeOf(*p.seconds) : platform::clock::Now());

    // The report stays beside the newest record, for a mail client that
    // reads it after the dialog has closed; a minidump is Windows' report.
    const fs::path report = fs::path(shown.back().path).replace_extension(".txt");
    const fs::path dump = fs::path(shown.back().path).replace_extension(crash::kDumpExtension);
    std::error_code ec;
    std::string attachment;
    const std::uintmax_t dump_size = fs::is_regular_file(dump, ec) ? fs::file_size(dump, ec) : 0;
    if (shown.size() == 1 && !ec && dump_size > 0)
        attachment = Utf8(dump);
    else if (WriteReport(report, ReportText(shown, message, false)))
        attachment = Utf8(report);

    frmQFCriticalErrorHandler form;
    ui::Load(form);
    form.caption = modQFAllData::strAppTitle + " Error";
    form.txtErrorMsg().caption = message;
    // A past crash cannot be retried, aborted, nor sent with today's data.
    form.txtErrorMsg().command.clear();
    form.chkAbortAndClose().enabled = form.chkAbortAndClose().visible = false;
    form.chkIncludeData().enabled = form.chkIncludeData().visible = false;
    form.chkIncludeData().value = 0;
    form.strCrashReportPath = attachment;
    if (attachment == Utf8(report))
        form.CompleteCrashReport = [&shown, &message, report] {
            WriteReport(report, ReportText(shown, message, true));
        };
    ui::ShowModal(form);
    ui::DoEvents();
    ui::Unload(form);
}

} // namespace

std::string CrashFolder() {
    return modQFCriticalErrorHandler::GetErrorFolders().crashes;
}

bool InstallCrashHandler() noexcept {
    try {
        if (!Install(CrashFolder()))
            return false;
        static bool terminate_installed = false;
        if (!terminate_installed) {
            g_previous_terminate = std::set_terminate(OnTerminate);
            tamberlin::app::SetAppDataListener(FollowDataFolder);
            terminate_installed = true;
        }
        return true;
    } catch (...) {
        return false;
    }
}

int ReportPendingCrashes() noexcept {
    int shown_count = 0;
    try {
        FollowDataFolder();
        std::vector<std::string> folders = {CrashFolder()};
        if (!g_first_folder.empty() && g_first_folder != folders[0])
            folders.push_back(g_first_folder);
        std::vector<Pending> shown;
        for (const std::string& folder : folders) {
            if (folder.empty())
                continue;
            const fs::path crashes = FsPath(folder);
            const fs::path reported = crashes / "Reported";
            std::vector<fs::path> pending = Records(crashes);
            while (pending.size() > kKeep) {
                RemoveRecord(pending.front());
                pending.erase(pending.begin());
            }
            for (const fs::path& record : pending) {
                try {
                    if (std::optional<Pending> p = Take(record, reported))
                        shown.push_back(std::move(*p));
                } catch (...) {
                    // One record that cannot be read keeps none of the others
                    // from being shown.
                }
            }
            KeepNewest(reported);
        }
        if (shown.empty())
            return 0;
        std::stable_sort(shown.begin(), shown.end(), [](const Pending& a, const Pending& b) {
            return a.seconds.value_or(0) < b.seconds.value_or(0);
        });
        shown_count = static_cast<int>(shown.size());
        Show(shown);
        // Each to the collector once: a retired record is never read again.
        std::vector<CrashToSubmit> crashes;
        for (const Pending& p : shown) {
            const fs::path dump = fs::path(p.path).replace_extension(crash::kDumpExtension);
            std::error_code ec;
            crashes.push_back({p.text, fs::is_regular_file(dump, ec) ? Utf8(dump) : std::string()});
        }
        SubmitCrashes(crashes);
    } catch (...) {
    }
    return shown_count;
}

} // namespace tamberlin::errors
