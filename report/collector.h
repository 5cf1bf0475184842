// The collector route: reports handed over by the program wait as files in a
// queue folder until the collector has them, and a worker thread sends them.
//
// The caller's thread only hands a report over (a move and a push): building
// the envelope, writing the file and the network all happen on the worker.
// Queue files are private (0600 in a 0700 folder), written whole (a
// temporary file, then a rename) and named by time and event id, so the
// oldest goes first and an event the collector has is never sent again. The
// queue is bounded in count and bytes; the oldest report makes room. Faults
// (a folder that cannot be made or written, a DSN that cannot be used) are
// one line through the log callback each, never an exception; a report the
// folder cannot take waits in memory and is sent while the program runs.
#pragma once

#include "report/envelope.h"
#include "report/report.h"
#include "report/transport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tamberlin::report {

using LogLine = std::function<void(const std::string&)>;

class Queue {
public:
    struct Entry {
        std::string name;
        std::string event_id;
        std::uint64_t bytes = 0;
    };

    explicit Queue(std::string folder);
    const std::string& Folder() const { return folder_; }

    // Makes the folder (private) when it is missing; false with the reason
    // when it cannot be used (not a folder, a link, not writable).
    bool Ready(std::string& error) const;
    // The envelope as a new file; false with the reason when it could not be
    // written (nothing is left behind then). An event already queued or
    // already sent is not queued again (true).
    bool Put(const Envelope& envelope, std::int64_t now_ms, std::string& error) const;
    // The queued reports, oldest first.
    std::vector<Entry> Entries() const;
    bool Read(const Entry& entry, Envelope& envelope) const;
    void Remove(const Entry& entry) const;
    // Removes the oldest until at most `most_count` reports and `most_bytes`
    // bytes remain; the number removed.
    std::size_t Trim(std::size_t most_count, std::uint64_t most_bytes) const;

    // The events the collector has (the last 256), so none goes twice.
    bool WasSent(const std::string& event_id) const;
    void MarkSent(const std::string& event_id) const;
    // The time before which nothing is sent (seconds since 1970), kept across
    // runs; 0 for none.
    std::int64_t HoldUntil() const;
    void SetHoldUntil(std::int64_t seconds) const;

private:
    std::string Path(std::string_view name) const;
    // False with the system's reason when the file could not be written.
    bool WriteWhole(std::string_view name, std::string_view bytes,
                    std::string* reason = nullptr) const;

    std::string folder_;
};

struct CollectorSettings {
    std::string queue_folder;
    std::string dsn_text;
    Context context;
    std::size_t most_reports = 30;
    std::uint64_t most_bytes = 32ull * 1024 * 1024;
    // The first wait after a failed send; it doubles with each failure.
    std::chrono::seconds first_backoff{5};
    std::chrono::seconds most_backoff{3600};
    LogLine log;
};

class Collector {
public:
    Collector(CollectorSettings settings, std::unique_ptr<Transport> transport);
    // Shutdown with the exit's 2 seconds.
    ~Collector();
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    // Hands a report over; never waits for the disk or the network.
    void Submit(Report report) noexcept;
    // Waits until every report handed over is queued and the queue has been
    // tried, or `timeout` passes; true when the queue is empty.
    bool Flush(std::chrono::milliseconds timeout);
    // The envelope this collector would send for the report, as people read
    // it (DescribeEnvelope): what the user is shown before agreeing.
    std::string Preview(const Report& report) const;
    // Sends what it can within `timeout`, cancels a send still running, and
    // stops the worker; reports not sent stay in the queue for the next start.
    void Shutdown(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) noexcept;

    // What happened to each send, in order (for the program that drives the
    // route and its tests): "sent ID", "kept ID reason", "dropped ID reason".
    std::vector<std::string> Outcomes() const;

private:
    void Run();
    void QueueIncoming(std::deque<Report>& incoming);
    // Sends the due reports; the time of the next try, or 0 when none waits.
    std::int64_t Drain();
    // Records a send's outcome; the time of the next try when it asks for a
    // wait, else 0.
    std::int64_t After(const SendResult& result, const std::string& event_id);
    void Log(const std::string& line);

    CollectorSettings settings_;
    std::unique_ptr<Transport> transport_;
    Queue queue_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Report> incoming_;
    // Worker only: reports the queue folder could not take.
    std::deque<Envelope> unqueued_;
    std::vector<std::string> outcomes_;
    bool stop_ = false;
    bool busy_ = false;
    bool done_ = false;
    bool queue_empty_ = true;
    std::atomic<bool> cancel_{false};
    int failures_ = 0;
    std::int64_t backoff_until_ = 0;
    std::thread worker_;
};

// The route as this program is configured: off (null) with no DSN, one log
// line and off with a DSN that cannot be used, else a collector over HTTP
// whose queue is `queue_folder`, each request bounded by `total_timeout_ms`.
std::unique_ptr<Collector> StartCollector(std::string queue_folder, LogLine log,
                                          long total_timeout_ms = 15000);

} // namespace tamberlin::report
