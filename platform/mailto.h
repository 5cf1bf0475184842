// mailto: URIs (RFC 6068) built whole, so that a program which passes them on
// sees nothing but letters, digits, "-._~", "%" and the URI's own delimiters:
// no blank, quote, backslash or line break it could interpret.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::platform::mailto {

// Every byte outside RFC 3986's unreserved set (ALPHA DIGIT "-" "." "_" "~")
// as "%XX", upper-case hex.
std::string PercentEncoded(std::string_view bytes);

// mailto:to1,to2?subject=...&body=...&attach=...&attach=... with every value
// percent-encoded; the "@" of each address stays as it is. Line breaks of the
// body become CR LF (%0D%0A). Empty subject and body are left out.
std::string Uri(const std::vector<std::string>& to, std::string_view subject, std::string_view body,
                const std::vector<std::string>& attachments);

} // namespace tamberlin::platform::mailto
