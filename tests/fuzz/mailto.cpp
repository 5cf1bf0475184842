// The mailto: URI handed to xdg-email. Whatever the message holds, the URI
// has only unreserved bytes, percent escapes and its own delimiters (nothing
// a shell's echo or a client's field string could read), and it decodes back
// to exactly the recipients, subject, body (line breaks as CR LF) and
// attachments it was built from.
//
// Input: recipients, subject, body and attachment paths separated by NUL
// bytes; the recipients separated by LF.
#include "platform/mailto.h"

#include "tests/fuzz/fuzz.h"

#include <algorithm>
#include <string>
#include <vector>

namespace mailto = tamberlin::platform::mailto;
using tamberlin::fuzz::CrLf;
using tamberlin::fuzz::PercentDecoded;
using tamberlin::fuzz::Split;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> fields =
        Split(tamberlin::fuzz::Bytes(data, size), std::string_view("\0", 1));
    fields.resize(std::max<std::size_t>(fields.size(), 3));
    const std::vector<std::string> to = Split(fields[0], "\n");
    const std::vector<std::string> attachments(fields.begin() + 3, fields.end());
    const std::string uri = mailto::Uri(to, fields[1], fields[2], attachments);

    for (const char c : uri)
        FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   std::string_view("-._~%:?&=,@").find(c) != std::string_view::npos);
    FUZZ_CHECK(uri.rfind("mailto:", 0) == 0);

    const std::size_t query = uri.find('?');
    std::vector<std::string> recipients;
    for (const std::string& address : Split(uri.substr(7, query - 7), ","))
        recipients.push_back(PercentDecoded(address));
    FUZZ_CHECK(recipients == to);

    std::string subject, body;
    std::vector<std::string> attached;
    if (query != std::string::npos) {
        for (const std::string& pair : Split(uri.substr(query + 1), "&")) {
            const std::size_t equals = pair.find('=');
            FUZZ_CHECK(equals != std::string::npos);
            const std::string name = pair.substr(0, equals);
            const std::string value = PercentDecoded(std::string_view(pair).substr(equals + 1));
            if (name == "subject")
                subject = value;
            else if (name == "body")
                body = value;
            else if (name == "attach")
                attached.push_back(value);
            else
                FUZZ_CHECK(false);
        }
    }
    FUZZ_CHECK(subject == fields[1] && body == CrLf(fields[2]) && attached == attachments);
    return 0;
}
