// The crash record reader, over bytes a dying process or anyone with the
// folder may have left: it never trusts a length, keeps every field within
// its limit, tells a record from other bytes by its first line, and its
// frames list names only modules the record lists.
#include "report/crash_record.h"

#include "tests/fuzz/fuzz.h"

namespace record = tamberlin::report::crash_record;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = tamberlin::fuzz::Bytes(data, size);
    const record::Record r = record::Parse(text);
    const std::string first = std::string(record::kFirstLine) + "\n";
    const bool starts = text.substr(0, first.size() - 1) == record::kFirstLine &&
                        (text.size() < first.size() || text[first.size() - 1] == '\n');
    const bool cut_start = text.size() < first.size() && first.compare(0, text.size(), text) == 0;
    FUZZ_CHECK((r.shape == record::Record::Shape::kForeign) == !(starts || cut_start));
    FUZZ_CHECK((r.shape == record::Record::Shape::kWhole) == r.code.has_value());
    FUZZ_CHECK(r.operation.size() <= 1024 && r.uncaught_what.size() <= 1024);
    FUZZ_CHECK(r.thread.size() <= 64 && r.header.size() <= 16 * 1024);
    FUZZ_CHECK(r.stack.size() <= 512);
    const std::string frames = record::Frames(r);
    FUZZ_CHECK(frames.size() <= (r.stack.size() + r.modules.size()) * 4600 + 64);
    if (const auto seconds = record::SecondsOfName(text); seconds)
        FUZZ_CHECK(record::SaneTime(*seconds, 2000000000) ==
                   (*seconds >= 946684800 && *seconds <= 2000086400));
    return 0;
}
