// One HTTPS POST and its answer: what the report collector needs of the
// platform's HTTP client (libcurl on Linux, WinHTTP on Windows).
//
// TLS is verified against the system's trust store, or against `ca_file`
// when one is given. Every request is bounded by its connect and total
// time-outs, and a request in progress ends early once `cancel` is set.
// Nothing here throws: a request that gets no answer comes back with
// `answered` false and a short reason.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace tamberlin::platform::http {

struct Request {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string ca_file;
    long connect_timeout_ms = 5000;
    long total_timeout_ms = 15000;
    const std::atomic<bool>* cancel = nullptr;
};

struct Response {
    bool answered = false;
    long status = 0;
    // The two answer headers the collector's protocol speaks through.
    std::string retry_after;
    std::string rate_limits;
    // Why there is no answer (refused, timed out, certificate, ...).
    std::string error;
};

// Whether this build has an HTTP client at all.
bool Available();

Response Post(const Request& request);

} // namespace tamberlin::platform::http
