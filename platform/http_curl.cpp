// One HTTPS POST with libcurl.
#include "platform/http.h"

#include <cctype>
#include <curl/curl.h>
#include <mutex>
#include <string_view>

namespace tamberlin::platform::http {
namespace {

struct Answer {
    Response response;
};

// The answer's headers, one line a call; the two the protocol uses are kept.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    const size_t n = size * count;
    auto* answer = static_cast<Answer*>(user);
    const std::string_view line(data, n);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return n;
    std::string name(line.substr(0, colon));
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
        value.remove_suffix(1);
    if (name == "retry-after")
        answer->response.retry_after = value;
    else if (name == "x-sentry-rate-limits")
        answer->response.rate_limits = value;
    return n;
}

// The body of the answer is not needed; reading it keeps the connection sane.
size_t OnBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel && cancel->load() ? 1 : 0;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

bool Available() {
    return true;
}

Response Post(const Request& request) {
    GlobalInit();
    Answer answer;
    CURL* curl = curl_easy_init();
    if (!curl) {
        answer.response.error = "the HTTP client could not be started";
        return answer.response;
    }
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers)
        headers = curl_slist_append(headers, (name + ": " + value).c_str());
    // No "Expect: 100-continue" round trip for a body of a few KB.
    headers = curl_slist_append(headers, "Expect:");

    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request.connect_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, request.total_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.ca_file.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, request.ca_file.c_str());
    // Never through a proxy from the environment to a loopback collector.
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, request.cancel);

    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) {
        answer.response.answered = true;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.response.status);
    } else {
        answer.response.error = curl_easy_strerror(code);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return answer.response;
}

} // namespace tamberlin::platform::http
