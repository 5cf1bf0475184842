// The collector's transport over the platform's HTTP client.
#include "platform/http.h"
#include "report/envelope.h"
#include "report/rate_limits.h"
#include "report/transport.h"

#include <chrono>

namespace tamberlin::report {
namespace {

std::string ClientName() {
    return "tamberlin/" + std::to_string(TAMBERLIN_VERSION_MAJOR) + "." +
           std::to_string(TAMBERLIN_VERSION_MINOR) + "." +
           std::to_string(TAMBERLIN_VERSION_REVISION);
}

class HttpTransport final : public Transport {
public:
    HttpTransport(Dsn dsn, HttpSettings settings)
        : dsn_(std::move(dsn)), settings_(std::move(settings)), url_(dsn_.EnvelopeUrl()) {}

    SendResult Send(const Envelope& envelope, const std::atomic<bool>* cancel) override {
        SendResult result;
        if (!platform::http::Available()) {
            result.reason = "no HTTP client could be loaded";
            return result;
        }
        platform::http::Request request;
        request.url = url_;
        request.ca_file = settings_.ca_file;
        request.connect_timeout_ms = settings_.connect_timeout_ms;
        request.total_timeout_ms = settings_.total_timeout_ms;
        request.cancel = cancel;
        request.headers = {
            {"Content-Type", "application/x-sentry-envelope"},
            {"User-Agent", ClientName()},
            {"X-Sentry-Auth", "Sentry sentry_version=7, sentry_key=" + dsn_.public_key +
                                  ", sentry_client=" + ClientName()},
        };
        if (envelope.bytes.size() > settings_.compress_above && Gzip(envelope.bytes, request.body))
            request.headers.emplace_back("Content-Encoding", "gzip");
        else
            request.body = envelope.bytes;

        const platform::http::Response response = platform::http::Post(request);
        if (!response.answered) {
            result.reason = response.error;
            return result;
        }
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        return Interpret(response.status, response.retry_after, response.rate_limits, now);
    }

private:
    Dsn dsn_;
    HttpSettings settings_;
    std::string url_;
};

} // namespace

std::unique_ptr<Transport> MakeHttpTransport(Dsn dsn, HttpSettings settings) {
    return std::make_unique<HttpTransport>(std::move(dsn), std::move(settings));
}

SendResult Interpret(long status, std::string_view retry_after, std::string_view rate_limits,
                     std::int64_t now) {
    SendResult result;
    result.status = status;
    result.reason = "the collector answered " + std::to_string(status);
    // A rate limit can come with any answer, a 2xx included: it holds the
    // reports that follow.
    std::int64_t wait = rate_limits.empty() ? -1 : ParseRateLimits(rate_limits);
    if (wait < 0 && !retry_after.empty())
        wait = ParseRetryAfter(retry_after, now);
    if (status >= 200 && status < 300) {
        result.outcome = SendResult::Outcome::kSent;
        result.wait_seconds = wait > 0 ? wait : 0;
    } else if (status == 429 || status == 503) {
        result.outcome = SendResult::Outcome::kKept;
        result.wait_seconds = wait > 0 ? wait : kDefaultRetrySeconds;
    } else if (status >= 400 && status < 500) {
        result.outcome = SendResult::Outcome::kDropped;
    } else {
        result.outcome = SendResult::Outcome::kKept;
    }
    return result;
}

} // namespace tamberlin::report
