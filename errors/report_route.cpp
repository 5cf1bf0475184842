// The collector route of this process: started after the settings are read,
// asked for consent before the first report, fed by the error handler and by
// crash reporting, stopped at exit.
//
// Its queue is the Outbox folder, so a report that could not leave, by mail
// or to the collector, waits in one place. The two kinds keep apart by name:
// the queue's files are "*.envelope" (with its "sent.txt" and "hold.txt"),
// the e-mail reports "report-*.eml" with our header.
#include "tamberlin/errors/report_route.h"

#include "errors/consent_form.h"
#include "errors/report_submit.h"
#include "mail/outbox.h"
#include "platform/files.h"
#include "platform/text.h"
#include "report/collector.h"
#include "report/dsn.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/waiting_reports.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/application.h"

#include <memory>
#include <mutex>

namespace tamberlin::errors {
namespace {

namespace files = platform::files;

// Declared before the collector, so they outlive it: a collector the program
// never stopped is destroyed at exit, and its worker may still log.
std::string g_log_path;
std::mutex g_log_mutex;
std::unique_ptr<report::Collector> g_collector;

// The route's own faults, one line each in the error log. The worker thread
// writes them too, so they are appended here and never shown in a box.
void LogLine(const std::string& line) noexcept {
    try {
        runtime::CurrentError error;
        error.Description = line;
        error.Source = runtime::App().Title();
        const std::string text = platform::AnsiFromUtf8(
            modQFCriticalErrorHandler::FormatErrorLogLine("sending an error report", error));
        const std::lock_guard lock(g_log_mutex);
        files::AppendToFile(g_log_path, text);
    } catch (...) {
    }
}

// The e-mail reports waiting in the Outbox, once the user has said "always":
// each goes to the collector as one report, its body and each of its files
// decoded into attachments of their own, so the envelope's scrubber reads
// them as text (the raw message is quoted-printable and base64, where a home
// folder would pass unseen). The message moves to the Outbox's "Sent" first,
// so it is never handed over twice and the user still finds it; its event id
// is the file's, so a report made again from it is not sent again. A file
// that does not read as ours stays for the mail route and nothing of it is
// sent.
void HandOverOutbox() {
    namespace outbox = modQFEmailClient::outbox;
    const char separator = platform::NativePathStyle().separator;
    const std::string folder = OutboxFolder(), done = folder + separator + "Sent";
    for (const std::string& path : outbox::Waiting(folder)) {
        std::string bytes;
        const files::OwnRead got = files::ReadOwnFile(path, outbox::kMostFileBytes + 1, bytes);
        outbox::Parsed read;
        if (got == files::OwnRead::kWhole)
            read = outbox::Read(bytes);
        else
            read.problem = got == files::OwnRead::kCut ? "it is too large"
                           : got == files::OwnRead::kRefused
                               ? "it is a link, not a file, or another user's"
                               : "it cannot be read";
        if (!read.problem.empty()) {
            LogLine("The e-mail report [" + path + "] was not sent to the collector: " +
                    read.problem + ". It stays in the Outbox.");
            continue;
        }
        const std::string name = path.substr(path.rfind(separator) + 1);
        if (files::PreparePrivateFolder(done) != files::PrivateFolder::kReady ||
            files::PublishNewFile(done + separator + name, bytes) != files::Publish::kDone)
            continue; // stays for the mail route
        files::RemoveFile(path);
        const std::vector<std::string> kept = outbox::Waiting(done);
        for (std::size_t i = 0; i + outbox::kLimit < kept.size(); ++i)
            files::RemoveFile(kept[i]);
        outbox::Message& m = read.message;
        report::Report r = report::ReportFromError(
            "An error report that could not be e-mailed when it was made is attached: " + m.subject,
            "sending a waiting error report", 0, "Error report from the Outbox",
            runtime::App().Title());
        r.event_id = report::EventIdOf(name + bytes);
        r.type = "Outbox report";
        r.attachments.push_back(
            {"message.txt", std::move(m.body), {}, report::Attachment::Kind::kOther});
        for (outbox::Attachment& a : m.attachments)
            r.attachments.push_back({a.name.empty() ? "attachment.txt" : std::move(a.name),
                                     std::move(a.bytes),
                                     {},
                                     report::Attachment::Kind::kOther});
        g_collector->Submit(std::move(r));
    }
}

} // namespace

bool StartReportRoute() noexcept {
    try {
        if (g_collector)
            return true;
        // "Never" holds for what earlier runs queued too.
        if (report::ConfiguredConsent() == report::Consent::kNever)
            return false;
        g_log_path = modQFCriticalErrorHandler::GetErrorLogPath();
        g_collector = report::StartCollector(OutboxFolder(), LogLine);
        if (!g_collector)
            return false;
        if (report::ConfiguredConsent() == report::Consent::kAlways)
            HandOverOutbox();
        return true;
    } catch (...) {
        return false;
    }
}

void StopReportRoute() noexcept {
    if (!g_collector)
        return;
    g_collector->Shutdown();
    g_collector.reset();
}

bool MaySend(const std::vector<report::Report>& reports) {
    if (!g_collector || reports.empty())
        return false;
    switch (report::ConfiguredConsent()) {
    case report::Consent::kAlways:
        return true;
    case report::Consent::kNever:
        return false;
    case report::Consent::kAsk:
        break;
    }
    frmReportConsent form;
    form.WhatIsSent = [&reports] {
        std::string text;
        for (const report::Report& r : reports)
            text += (text.empty() ? "" : "\n") + g_collector->Preview(r);
        return text;
    };
    ui::ShowModal(form);
    switch (form.answer) {
    case frmReportConsent::Answer::kAlways:
        report::SaveConsent(report::Consent::kAlways);
        return true;
    case frmReportConsent::Answer::kNever:
        report::SaveConsent(report::Consent::kNever);
        return false;
    case frmReportConsent::Answer::kOnce:
        return true;
    case frmReportConsent::Answer::kNone:
        break;
    }
    return false; // closed without an answer: nothing sent, asked again next time
}

void SubmitTrappedError(std::string_view message, std::string_view operation,
                        const runtime::CurrentError& error) noexcept {
    try {
        if (!g_collector)
            return;
        std::vector<report::Report> reports{report::ReportFromError(
            message, operation, error.Number, error.Description, error.Source)};
        reports[0].attachments.push_back({"error-log.txt",
                                          {},
                                          modQFCriticalErrorHandler::GetErrorLogPath(),
                                          report::Attachment::Kind::kLog});
        if (MaySend(reports))
            g_collector->Submit(std::move(reports[0]));
    } catch (...) {
    }
}

void SubmitCrashes(const std::vector<CrashToSubmit>& crashes) noexcept {
    try {
        if (!g_collector)
            return;
        std::vector<report::Report> reports;
        for (const CrashToSubmit& crash : crashes)
            reports.push_back(report::ReportFromCrashRecord(crash.record, crash.dump_path));
        if (!MaySend(reports))
            return;
        for (report::Report& r : reports)
            g_collector->Submit(std::move(r));
    } catch (...) {
    }
}

} // namespace tamberlin::errors
