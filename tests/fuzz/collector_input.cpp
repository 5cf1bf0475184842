// What the report route reads from outside: the DSN (settings or the
// environment), the collector's Retry-After and X-Sentry-Rate-Limits
// answers, and a crash record left on disk. Invariants: a DSN that parses
// rebuilds an envelope URL that parses back to the same parts and is never
// plain http to another machine; waits stay within a day; a crash record
// gives at most its own bounded stack and module lists.
//
// Input: the first byte picks the parser, the rest is its text.
#include "report/dsn.h"
#include "report/rate_limits.h"
#include "report/report.h"
#include "tests/fuzz/fuzz.h"

namespace report = tamberlin::report;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view text = tamberlin::fuzz::Bytes(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0: {
        report::Dsn dsn;
        std::string error;
        if (!report::ParseDsn(text, dsn, error)) {
            FUZZ_CHECK(!error.empty());
            break;
        }
        FUZZ_CHECK(dsn.scheme == "https" || report::IsLoopbackHost(dsn.host));
        FUZZ_CHECK(!dsn.public_key.empty() && !dsn.project_id.empty());
        // The same parts, said again as a DSN, parse to the same parts.
        std::string again = dsn.scheme + "://" + dsn.public_key + "@" + dsn.host;
        if (dsn.port)
            again += ":" + std::to_string(dsn.port);
        again += dsn.path + "/" + dsn.project_id;
        report::Dsn second;
        FUZZ_CHECK(report::ParseDsn(again, second, error));
        FUZZ_CHECK(second.EnvelopeUrl() == dsn.EnvelopeUrl());
        break;
    }
    case 1: {
        const std::int64_t wait = report::ParseRetryAfter(text, 1796669023);
        FUZZ_CHECK(wait >= -1 && wait <= report::kMostRetrySeconds);
        break;
    }
    case 2: {
        const std::int64_t wait = report::ParseRateLimits(text);
        FUZZ_CHECK(wait >= -1 && wait <= report::kMostRetrySeconds);
        break;
    }
    case 3: {
        const report::Report built = report::ReportFromCrashRecord(text);
        FUZZ_CHECK(built.stack.size() <= 256 && built.modules.size() <= 512);
        FUZZ_CHECK(built.level == report::Level::kFatal && !built.handled);
        break;
    }
    }
    return 0;
}
