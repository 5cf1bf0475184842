// Crash capture's portable half: installing the handlers with what they need,
// the std::terminate handler, and at the next start reading the records,
// logging them, showing them and retiring them.
#include "errors/error_log_at.h"
#include "errors/operation.h"
#include "platform/crash.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace tamberlin::errors {
namespace {

namespace fs = std::filesystem;
namespace crash = platform::crash;
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

struct Record {
    std::uint32_t code = 0;
    std::int64_t seconds = 0;
    std::string operation;
    std::int32_t uncaught = 0;
    std::string uncaught_what;
    std::string header; // the lines before the stack, as recorded
};

Record Parse(const std::string& text) {
    Record r;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("stack: ", 0) == 0 || line == "maps:")
            break;
        r.header += line + "\n";
        const size_t colon = line.find(": ");
        if (colon == std::string::npos)
            continue;
        const std::string key = line.substr(0, colon), value = line.substr(colon + 2);
        if (key == "exception") {
            r.code = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
        } else if (key == "time") {
            r.seconds = std::strtoll(value.c_str(), nullptr, 10);
        } else if (key == "operation") {
            r.operation = value;
        } else if (key == "uncaught") {
            char* end = nullptr;
            r.uncaught = static_cast<std::int32_t>(std::strtol(value.c_str(), &end, 10));
            r.uncaught_what = *end == ' ' ? end + 1 : end;
        }
    }
    return r;
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
    e.Number = static_cast<std::int32_t>(r.code);
    for (const Kind& kind : kKinds)
        if (kind.code == r.code)
            e.Description = kind.description;
    if (e.Description.empty()) {
        char text[40];
        std::snprintf(text, sizeof text, "Exception 0x%08X", static_cast<unsigned>(r.code));
        e.Description = text;
    }
    return e;
}

std::string Message(const Record& r, const CurrentError& error) {
    std::string message = modQFAllData::strAppTitle + " closed unexpectedly";
    if (!r.operation.empty())
        message += " while " + r.operation;
    message += ".";
    // The usual details block follows the first paragraph.
    const std::string composed = modQFCriticalErrorHandler::ComposeErrorMessage(error, "");
    const size_t details = composed.find("\r\n\r\n");
    if (details != std::string::npos)
        message += composed.substr(details);
    return message;
}

// The records in `folder`, oldest first (their names begin with the time).
std::vector<fs::path> Records(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == crash::kRecordExtension && it->is_regular_file(ec))
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

// Moves the record and its files into "Reported", which keeps the newest.
void Retire(const fs::path& record) {
    const fs::path reported = record.parent_path() / "Reported";
    std::error_code ec;
    fs::create_directory(reported, ec);
    for (const char* extension : {".txt", crash::kDumpExtension, crash::kRecordExtension}) {
        const fs::path from = fs::path(record).replace_extension(extension);
        if (fs::exists(from, ec))
            fs::rename(from, reported / from.filename(), ec);
    }
    if (fs::exists(record, ec))
        RemoveRecord(record); // could not be moved: do not report it twice
    std::vector<fs::path> kept = Records(reported);
    for (size_t i = 0; i + kKeep < kept.size(); ++i)
        RemoveRecord(kept[i]);
}

void ReportOne(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    in.close();
    const Record record = Parse(text);
    const CurrentError error = ErrorOf(record);
    const std::string message = Message(record, error);

    // The readable report beside the record (on Windows the minidump is it).
    std::string attachment;
    const std::string stack = crash::Describe(text);
    if (!stack.empty()) {
        const fs::path report = fs::path(path).replace_extension(".txt");
        std::ofstream out(report, std::ios::binary);
        out << message.substr(0, message.find("\r\n")) << "\n\n" << record.header << "\n" << stack;
        out.close();
        if (out)
            attachment = Utf8(report);
    } else {
        std::error_code ec;
        const fs::path dump = fs::path(path).replace_extension(crash::kDumpExtension);
        attachment = Utf8(fs::exists(dump, ec) ? dump : path);
    }

    const std::string operation =
        record.operation.empty() ? "(no trapped operation)" : record.operation;
    modQFCriticalErrorHandler::WriteErrorLog(operation, error, crash::LocalTimeOf(record.seconds));

    frmQFCriticalErrorHandler form;
    ui::Load(form);
    form.caption = modQFAllData::strAppTitle + " Error";
    form.txtErrorMsg().caption = message;
    form.chkAbortAndClose().enabled = form.chkAbortAndClose().visible = false;
    form.strCrashReportPath = attachment;
    ui::ShowModal(form);
    ui::DoEvents();
    ui::Unload(form);
}

} // namespace

std::string CrashFolder() {
    std::string folder = modQFCriticalErrorHandler::strErrorLogFolder.empty()
                             ? modQFAllData::strAppDataPath
                             : modQFCriticalErrorHandler::strErrorLogFolder;
    const char separator = platform::NativePathStyle().separator;
    if (folder.empty())
        return {};
    if (folder.back() != separator)
        folder += separator;
    return folder + "Crashes" + separator;
}

bool InstallCrashHandler() noexcept {
    try {
        const std::string folder = CrashFolder();
        if (folder.empty())
            return false;
        std::error_code ec;
        fs::create_directories(FsPath(folder), ec);
        if (!fs::is_directory(FsPath(folder), ec))
            return false;
        if (!crash::Install({folder, nullptr, OperationOfThread}))
            return false;
        static bool terminate_installed = false;
        if (!terminate_installed) {
            g_previous_terminate = std::set_terminate(OnTerminate);
            terminate_installed = true;
        }
        return true;
    } catch (...) {
        return false;
    }
}

int ReportPendingCrashes() noexcept {
    int reported = 0;
    try {
        const std::string folder = CrashFolder();
        if (folder.empty())
            return 0;
        if (modQFCriticalErrorHandler::strErrorLogFolder.empty())
            modQFCriticalErrorHandler::strErrorLogFolder = modQFAllData::strAppDataPath;
        std::vector<fs::path> pending = Records(FsPath(folder));
        while (pending.size() > kKeep) {
            RemoveRecord(pending.front());
            pending.erase(pending.begin());
        }
        for (const fs::path& record : pending) {
            try {
                ReportOne(record);
                ++reported;
            } catch (...) {
                // A record that cannot be reported is retired all the same:
                // it must not come back at every start.
            }
            Retire(record);
        }
    } catch (...) {
    }
    return reported;
}

} // namespace tamberlin::errors
