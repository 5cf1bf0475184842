// Routes a report can leave by, behind two small interfaces.
//
// Transport, for the collector's queue: an envelope goes in, an outcome
// comes back. The collector's transport posts it over HTTP(S). Send never
// throws and never waits longer than its time-outs; `cancel` ends a send in
// progress early (its outcome is then kKept).
//
// ReportTransport, for a route the user starts (the mail route): the report
// goes in whole, and a report that could not be delivered is kept in the
// route's own queue of reports not yet sent. Deliver never throws; it may
// show the user windows.
#pragma once

#include "report/dsn.h"
#include "report/report.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tamberlin::report {

struct Envelope {
    std::string event_id;
    std::string bytes;
};

struct SendResult {
    enum class Outcome {
        kSent,    // the collector has it: it leaves the queue
        kKept,    // try again later: after `wait_seconds` when the collector
                  // said so, else after a back-off
        kDropped, // the collector refused it for good
    };
    Outcome outcome = Outcome::kKept;
    std::int64_t wait_seconds = 0;
    long status = 0; // the HTTP status, 0 without an answer
    std::string reason;
};

class Transport {
public:
    virtual ~Transport() = default;
    virtual SendResult Send(const Envelope& envelope, const std::atomic<bool>* cancel) = 0;
};

struct Delivery {
    bool delivered = false; // the route has the report
    std::string kept;       // not delivered: the file it waits in to be sent later
    std::string problem;    // neither delivered nor kept: why (empty when not known)
};

class ReportTransport {
public:
    virtual ~ReportTransport() = default;
    virtual Delivery Deliver(const Report& report) noexcept = 0;
};

struct HttpSettings {
    std::string ca_file;
    long connect_timeout_ms = 5000;
    long total_timeout_ms = 15000;
    // Bodies larger than this go gzip-compressed.
    std::size_t compress_above = 4096;
};

// The collector's transport: POST to the DSN's envelope URL with the
// protocol's authentication header.
std::unique_ptr<Transport> MakeHttpTransport(Dsn dsn, HttpSettings settings);

// The outcome of a collector's answer (for the transport and its tests):
// 2xx sent; 429 and 503 kept, waiting as Retry-After or
// X-Sentry-Rate-Limits say (60 s when neither does); other 4xx dropped;
// 5xx kept.
SendResult Interpret(long status, std::string_view retry_after, std::string_view rate_limits,
                     std::int64_t now);

} // namespace tamberlin::report
