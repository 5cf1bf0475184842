// The queue folder and the worker that empties it.
#include "report/collector.h"

#include "platform/files.h"

#include <algorithm>
#include <cstdio>

namespace tamberlin::report {
namespace {

constexpr const char* kExtension = ".envelope";
constexpr const char* kSentFile = "sent.txt";
constexpr const char* kHoldFile = "hold.txt";
constexpr std::size_t kSentKept = 256;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool IsEventId(std::string_view id) {
    return id.size() == 32 && std::all_of(id.begin(), id.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// "TIME-EVENTID-BYTES.envelope": milliseconds since 1970 (13 digits, so the
// names sort by age), the event, the file's size.
bool ParseName(const std::string& name, Queue::Entry& entry) {
    const std::string_view text(name);
    const std::size_t ext = std::char_traits<char>::length(kExtension);
    if (text.size() < 13 + 1 + 32 + 1 + 1 + ext || text.substr(text.size() - ext) != kExtension ||
        text[13] != '-' || text[46] != '-')
        return false;
    const std::string_view id = text.substr(14, 32);
    const std::string_view size = text.substr(47, text.size() - ext - 47);
    if (!IsEventId(id) || size.empty() || size.size() > 12 ||
        !std::all_of(size.begin(), size.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    entry.name = name;
    entry.event_id = id;
    entry.bytes = std::stoull(std::string(size));
    return true;
}

} // namespace

Queue::Queue(std::string folder) : folder_(std::move(folder)) {
    while (folder_.size() > 1 && (folder_.back() == '/' || folder_.back() == '\\'))
        folder_.pop_back();
}

std::string Queue::Path(std::string_view name) const {
    const char separator = folder_.find('\\') != std::string::npos ? '\\' : '/';
    return folder_ + separator + std::string(name);
}

bool Queue::Ready(std::string& error) const {
    if (platform::files::PreparePrivateFolder(folder_) != platform::files::PrivateFolder::kReady) {
        error = "The report queue folder " + folder_ +
                " cannot be used (it cannot be made, or a file or link has its name); reports "
                "stay in memory until the program ends.";
        return false;
    }
    return true;
}

bool Queue::WriteWhole(std::string_view name, std::string_view bytes, std::string* reason) const {
    const std::string final_path = Path(name);
    const std::string temp = final_path + ".tmp";
    platform::files::RemoveFile(temp); // a previous run's leftover
    if (!platform::files::CreateNewFile(temp, bytes)) {
        if (reason)
            *reason = platform::files::LastErrorText();
        return false;
    }
    if (!platform::files::RenameFile(temp, final_path)) {
        if (reason)
            *reason = platform::files::LastErrorText();
        platform::files::RemoveFile(temp);
        return false;
    }
    return true;
}

bool Queue::Put(const Envelope& envelope, std::int64_t now_ms, std::string& error) const {
    if (!IsEventId(envelope.event_id)) {
        error = "A report without a valid event id was not queued.";
        return false;
    }
    if (WasSent(envelope.event_id))
        return true;
    for (const Entry& entry : Entries())
        if (entry.event_id == envelope.event_id)
            return true;
    char name[96];
    std::snprintf(name, sizeof name, "%013lld-%s-%llu%s", static_cast<long long>(now_ms),
                  envelope.event_id.c_str(), static_cast<unsigned long long>(envelope.bytes.size()),
                  kExtension);
    if (std::string reason; !WriteWhole(name, envelope.bytes, &reason)) {
        error = "The report " + envelope.event_id + " could not be written to the queue folder " +
                folder_ + " (" + reason + "); it is sent from memory while the program runs.";
        return false;
    }
    return true;
}

std::vector<Queue::Entry> Queue::Entries() const {
    std::vector<Entry> entries;
    for (const std::string& name : platform::files::FileNames(folder_, "*.envelope")) {
        Entry entry;
        if (ParseName(name, entry))
            entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

bool Queue::Read(const Entry& entry, Envelope& envelope) const {
    envelope.event_id = entry.event_id;
    return platform::files::ReadWholeFile(Path(entry.name), envelope.bytes) &&
           envelope.bytes.size() == entry.bytes;
}

void Queue::Remove(const Entry& entry) const {
    platform::files::RemoveFile(Path(entry.name));
}

std::size_t Queue::Trim(std::size_t most_count, std::uint64_t most_bytes) const {
    std::vector<Entry> entries = Entries();
    std::uint64_t total = 0;
    for (const Entry& entry : entries)
        total += entry.bytes;
    std::size_t removed = 0;
    for (std::size_t i = 0;
         i < entries.size() && (entries.size() - i > most_count || total > most_bytes); ++i) {
        Remove(entries[i]);
        total -= entries[i].bytes;
        ++removed;
    }
    return removed;
}

bool Queue::WasSent(const std::string& event_id) const {
    std::string sent;
    return platform::files::ReadWholeFile(Path(kSentFile), sent) &&
           sent.find(event_id + "\n") != std::string::npos;
}

void Queue::MarkSent(const std::string& event_id) const {
    std::string sent;
    platform::files::ReadWholeFile(Path(kSentFile), sent);
    sent += event_id + "\n";
    const std::size_t line = 33;
    if (sent.size() > kSentKept * line)
        sent.erase(0, sent.size() - kSentKept * line);
    WriteWhole(kSentFile, sent);
}

std::int64_t Queue::HoldUntil() const {
    std::string text;
    if (!platform::files::ReadWholeFile(Path(kHoldFile), text))
        return 0;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > (std::int64_t{1} << 40))
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

void Queue::SetHoldUntil(std::int64_t seconds) const {
    if (seconds <= 0)
        platform::files::RemoveFile(Path(kHoldFile));
    else
        WriteWhole(kHoldFile, std::to_string(seconds) + "\n");
}

Collector::Collector(CollectorSettings settings, std::unique_ptr<Transport> transport)
    : settings_(std::move(settings)), transport_(std::move(transport)),
      queue_(settings_.queue_folder) {
    worker_ = std::thread([this] { Run(); });
}

Collector::~Collector() {
    Shutdown();
}

void Collector::Submit(Report report) noexcept {
    try {
        {
            const std::lock_guard lock(mutex_);
            // Handed over faster than the disk takes them (an error in a
            // loop): the queue's bound holds in memory too.
            if (incoming_.size() >= settings_.most_reports)
                incoming_.pop_front();
            incoming_.push_back(std::move(report));
        }
        wake_.notify_one();
    } catch (...) {
        // Out of memory: this report is lost, the program goes on.
    }
}

bool Collector::Flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    wake_.notify_one();
    idle_.wait_for(lock, timeout, [this] { return !busy_ && incoming_.empty(); });
    return !busy_ && incoming_.empty() && queue_empty_;
}

void Collector::Shutdown(std::chrono::milliseconds timeout) noexcept {
    if (!worker_.joinable())
        return;
    {
        std::unique_lock lock(mutex_);
        stop_ = true;
        wake_.notify_one();
        // The worker queues what it was handed and tries the queue once more;
        // a send still running at the end is cancelled.
        if (!idle_.wait_for(lock, timeout, [this] { return done_; }))
            cancel_ = true;
    }
    cancel_ = true;
    wake_.notify_one();
    worker_.join();
}

std::string Collector::Preview(const Report& report) const {
    return DescribeEnvelope(
        BuildEnvelope(report, settings_.dsn_text, settings_.context, NowMs() / 1000));
}

std::vector<std::string> Collector::Outcomes() const {
    const std::lock_guard lock(mutex_);
    return outcomes_;
}

void Collector::Log(const std::string& line) {
    if (settings_.log)
        settings_.log(line);
}

void Collector::QueueIncoming(std::deque<Report>& incoming) {
    std::string error;
    const bool ready = queue_.Ready(error);
    if (!ready)
        Log(error);
    for (Report& report : incoming) {
        const std::int64_t now = NowMs();
        Envelope envelope{report.event_id,
                          BuildEnvelope(report, settings_.dsn_text, settings_.context, now / 1000)};
        if (ready && queue_.Put(envelope, now, error))
            continue;
        if (ready)
            Log(error);
        // Not on disk: kept in memory and sent from there while the program
        // runs.
        if (unqueued_.size() >= settings_.most_reports)
            unqueued_.pop_front();
        unqueued_.push_back(std::move(envelope));
    }
    incoming.clear();
    if (ready) {
        const std::size_t removed = queue_.Trim(settings_.most_reports, settings_.most_bytes);
        if (removed > 0)
            Log("The report queue was full: the " + std::to_string(removed) +
                " oldest reports were removed.");
    }
}

std::int64_t Collector::After(const SendResult& result, const std::string& event_id) {
    std::string outcome;
    switch (result.outcome) {
    case SendResult::Outcome::kSent:
        failures_ = 0;
        backoff_until_ = 0;
        outcome = "sent " + event_id;
        break;
    case SendResult::Outcome::kDropped:
        Log("The collector refused the report " + event_id + " (" + result.reason +
            "); it was removed.");
        outcome = "dropped " + event_id + " " + result.reason;
        break;
    case SendResult::Outcome::kKept:
        outcome = "kept " + event_id + " " + result.reason;
        break;
    }
    {
        const std::lock_guard lock(mutex_);
        outcomes_.push_back(outcome);
    }
    if (result.wait_seconds > 0) {
        queue_.SetHoldUntil(NowMs() / 1000 + result.wait_seconds);
        return NowMs() / 1000 + result.wait_seconds;
    }
    if (result.outcome == SendResult::Outcome::kKept) {
        const auto wait =
            std::min<std::int64_t>(settings_.first_backoff.count() << std::min(failures_, 20),
                                   settings_.most_backoff.count());
        ++failures_;
        backoff_until_ = NowMs() / 1000 + wait;
        return backoff_until_;
    }
    return 0;
}

std::int64_t Collector::Drain() {
    const std::int64_t now = NowMs() / 1000;
    const std::int64_t hold = std::max(queue_.HoldUntil(), backoff_until_);
    std::vector<Queue::Entry> entries = queue_.Entries();
    if (entries.empty() && unqueued_.empty())
        return 0;
    if (hold > now)
        return hold;
    while (!unqueued_.empty()) {
        if (cancel_)
            return 0;
        const SendResult result = transport_->Send(unqueued_.front(), &cancel_);
        const std::string event_id = unqueued_.front().event_id;
        if (result.outcome != SendResult::Outcome::kKept)
            unqueued_.pop_front();
        if (const std::int64_t next = After(result, event_id); next != 0)
            return next;
    }
    for (const Queue::Entry& entry : entries) {
        if (cancel_)
            return 0;
        if (queue_.WasSent(entry.event_id)) {
            queue_.Remove(entry);
            continue;
        }
        Envelope envelope;
        if (!queue_.Read(entry, envelope)) {
            Log("The queued report " + entry.name + " could not be read and was removed.");
            queue_.Remove(entry);
            continue;
        }
        const SendResult result = transport_->Send(envelope, &cancel_);
        if (result.outcome == SendResult::Outcome::kSent)
            queue_.MarkSent(entry.event_id);
        if (result.outcome != SendResult::Outcome::kKept)
            queue_.Remove(entry);
        if (const std::int64_t next = After(result, entry.event_id); next != 0)
            return next;
    }
    queue_.SetHoldUntil(0);
    return 0;
}

void Collector::Run() {
    std::unique_lock lock(mutex_);
    std::int64_t next_try = 0; // seconds since 1970; 0: only when woken
    bool first = true;         // the queue a previous run left
    for (;;) {
        const auto due = [&] { return next_try != 0 && NowMs() / 1000 >= next_try; };
        if (!first && !stop_ && incoming_.empty() && !due()) {
            busy_ = false;
            idle_.notify_all();
            if (next_try == 0)
                wake_.wait(lock, [&] { return stop_ || !incoming_.empty(); });
            else
                wake_.wait_for(lock, std::chrono::seconds(1),
                               [&] { return stop_ || !incoming_.empty(); });
            continue;
        }
        first = false;
        busy_ = true;
        std::deque<Report> incoming;
        incoming.swap(incoming_);
        const bool stopping = stop_;
        lock.unlock();
        try {
            QueueIncoming(incoming);
            if (!cancel_)
                next_try = Drain();
        } catch (...) {
            Log("Sending reports failed (out of memory); they stay in the queue.");
        }
        const bool empty = queue_.Entries().empty() && unqueued_.empty();
        lock.lock();
        queue_empty_ = empty;
        if (stopping || cancel_) {
            if (incoming_.empty() || cancel_) {
                if (!incoming_.empty()) {
                    // Handed over during the last moment: queued, not sent.
                    std::deque<Report> late;
                    late.swap(incoming_);
                    lock.unlock();
                    try {
                        for (Report& report : late) {
                            std::string error;
                            const Envelope envelope{
                                report.event_id, BuildEnvelope(report, settings_.dsn_text,
                                                               settings_.context, NowMs() / 1000)};
                            if (!queue_.Put(envelope, NowMs(), error))
                                Log(error);
                        }
                    } catch (...) {
                    }
                    lock.lock();
                }
                busy_ = false;
                done_ = true;
                idle_.notify_all();
                return;
            }
        }
    }
}

std::unique_ptr<Collector> StartCollector(std::string queue_folder, LogLine log,
                                          long total_timeout_ms) {
    const std::string text = ConfiguredDsn();
    if (text.empty())
        return nullptr;
    Dsn dsn;
    std::string error;
    if (!ParseDsn(text, dsn, error)) {
        if (log)
            log(error);
        return nullptr;
    }
    CollectorSettings settings;
    settings.queue_folder = std::move(queue_folder);
    settings.dsn_text = text;
    settings.context = CurrentContext();
    settings.log = std::move(log);
    HttpSettings http;
    http.ca_file = ConfiguredCaFile();
    http.total_timeout_ms = total_timeout_ms;
    http.connect_timeout_ms = std::min(http.connect_timeout_ms, total_timeout_ms);
    return std::make_unique<Collector>(std::move(settings),
                                       MakeHttpTransport(std::move(dsn), http));
}

} // namespace tamberlin::report
