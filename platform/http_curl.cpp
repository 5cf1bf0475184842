// One HTTPS POST with libcurl, opened at the first send: linked in, it and
// the two dozen libraries it needs would be loaded by every start of every
// program, which doubles a terminal start's memory and time.
#include "platform/http.h"

#include <cctype>
#include <curl/curl.h>
#include <dlfcn.h>
#include <optional>
#include <string_view>
#include <type_traits>

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

struct Libcurl {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    CURLcode (*setopt)(CURL*, CURLoption, ...);
    CURLcode (*getinfo)(CURL*, CURLINFO, ...);
    decltype(&curl_easy_perform) perform;
    decltype(&curl_easy_strerror) strerror;
    decltype(&curl_easy_cleanup) cleanup;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
};

// Opens libcurl once, and initialises it; null when it or one of its calls
// is missing.
const Libcurl* OpenLibcurl() {
    static const std::optional<Libcurl> calls = []() -> std::optional<Libcurl> {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            library = dlopen("libcurl-gnutls.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return std::nullopt;
        Libcurl c{};
        bool all = true;
        auto bind = [&](auto& call, const char* name) {
            call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(dlsym(library, name));
            all = all && call;
        };
        bind(c.global_init, "curl_global_init");
        bind(c.easy_init, "curl_easy_init");
        bind(c.setopt, "curl_easy_setopt");
        bind(c.getinfo, "curl_easy_getinfo");
        bind(c.perform, "curl_easy_perform");
        bind(c.strerror, "curl_easy_strerror");
        bind(c.cleanup, "curl_easy_cleanup");
        bind(c.slist_append, "curl_slist_append");
        bind(c.slist_free_all, "curl_slist_free_all");
        if (!all || c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            dlclose(library);
            return std::nullopt;
        }
        return c; // the library stays open for the process's lifetime
    }();
    return calls ? &*calls : nullptr;
}

} // namespace

bool Available() {
    return OpenLibcurl() != nullptr;
}

Response Post(const Request& request) {
    Answer answer;
    const Libcurl* api = OpenLibcurl();
    if (!api) {
        answer.response.error = "the HTTP client (libcurl) could not be loaded";
        return answer.response;
    }
    CURL* curl = api->easy_init();
    if (!curl) {
        answer.response.error = "the HTTP client could not be started";
        return answer.response;
    }
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers)
        headers = api->slist_append(headers, (name + ": " + value).c_str());
    // No "Expect: 100-continue" round trip for a body of a few KB.
    headers = api->slist_append(headers, "Expect:");

    api->setopt(curl, CURLOPT_URL, request.url.c_str());
    api->setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    api->setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    api->setopt(curl, CURLOPT_HTTPHEADER, headers);
    api->setopt(curl, CURLOPT_POST, 1L);
    api->setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
    api->setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    api->setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request.connect_timeout_ms);
    api->setopt(curl, CURLOPT_TIMEOUT_MS, request.total_timeout_ms);
    api->setopt(curl, CURLOPT_NOSIGNAL, 1L);
    api->setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    api->setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.ca_file.empty())
        api->setopt(curl, CURLOPT_CAINFO, request.ca_file.c_str());
    // Never through a proxy from the environment to a loopback collector.
    api->setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    api->setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    api->setopt(curl, CURLOPT_HEADERDATA, &answer);
    api->setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    api->setopt(curl, CURLOPT_NOPROGRESS, 0L);
    api->setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    api->setopt(curl, CURLOPT_XFERINFODATA, request.cancel);

    const CURLcode code = api->perform(curl);
    if (code == CURLE_OK) {
        answer.response.answered = true;
        api->getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.response.status);
    } else {
        answer.response.error = api->strerror(code);
    }
    api->slist_free_all(headers);
    api->cleanup(curl);
    return answer.response;
}

} // namespace tamberlin::platform::http
