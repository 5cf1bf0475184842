// One HTTPS POST with WinHTTP.
//
// WinHTTP bounds each phase (resolve, connect, send, receive) but not the
// whole request, and a synchronous call ends early only when its handle is
// closed: a watcher thread closes the request at the total time-out or when
// the caller cancels.
#include "platform/http.h"

#include <windows.h>

#include "platform/text_win32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <winhttp.h>

namespace tamberlin::platform::http {
namespace {

std::string Reason(DWORD error) {
    switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
        return "Timeout: the collector did not answer in time";
    case ERROR_WINHTTP_CANNOT_CONNECT:
        return "Couldn't connect to the collector";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return "Couldn't resolve the collector's host name";
    case ERROR_WINHTTP_OPERATION_CANCELLED:
        return "Timeout or cancel: the request was ended";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        return "The collector's certificate was not accepted";
    default:
        return "The request failed (WinHTTP error " + std::to_string(error) + ")";
    }
}

// A handle closed exactly once, by the owner or by the watcher.
class Handles {
public:
    ~Handles() {
        Close();
        if (connect_)
            WinHttpCloseHandle(connect_);
        if (session_)
            WinHttpCloseHandle(session_);
    }
    void Close() {
        const std::lock_guard lock(mutex_);
        if (request_)
            WinHttpCloseHandle(request_);
        request_ = nullptr;
    }
    HINTERNET session_ = nullptr, connect_ = nullptr;
    HINTERNET request_ = nullptr;
    std::mutex mutex_;
};

std::string QueryHeader(HINTERNET request, DWORD what, const wchar_t* name) {
    wchar_t value[512];
    DWORD size = sizeof value;
    if (!WinHttpQueryHeaders(request, what, name, value, &size, WINHTTP_NO_HEADER_INDEX))
        return "";
    return win32::Utf8FromWide(std::wstring(value, size / sizeof(wchar_t)));
}

} // namespace

bool Available() {
    return true;
}

Response Post(const Request& request) {
    Response response;
    if (!request.ca_file.empty()) {
        // WinHTTP verifies against the system's store only; the request is
        // refused rather than sent with a weaker check.
        response.error = "A CA file is not supported by the Windows HTTP client";
        return response;
    }
    std::wstring url = win32::WideFromUtf8(request.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256], path[2048];
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
        response.error = "The collector's address cannot be used";
        return response;
    }
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    Handles handles;
    handles.session_ = WinHttpOpen(L"tamberlin", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!handles.session_) {
        response.error = Reason(GetLastError());
        return response;
    }
    const int total = static_cast<int>(request.total_timeout_ms);
    const int connect =
        static_cast<int>(std::min(request.connect_timeout_ms, request.total_timeout_ms));
    WinHttpSetTimeouts(handles.session_, connect, connect, total, total);
    handles.connect_ = WinHttpConnect(handles.session_, host, parts.nPort, 0);
    if (handles.connect_)
        handles.request_ =
            WinHttpOpenRequest(handles.connect_, L"POST", path, nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
    if (!handles.request_) {
        response.error = Reason(GetLastError());
        return response;
    }
    std::wstring headers;
    for (const auto& [name, value] : request.headers)
        headers += win32::WideFromUtf8(name + ": " + value + "\r\n");

    // The watcher: the total time-out and the caller's cancel.
    std::mutex mutex;
    std::condition_variable done_signal;
    bool done = false;
    // Why the watcher ended the request (the calls then fail with an invalid
    // handle, which says nothing).
    std::atomic<DWORD> ended{0};
    std::thread watcher([&] {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(request.total_timeout_ms);
        std::unique_lock lock(mutex);
        while (!done) {
            const bool late = std::chrono::steady_clock::now() >= deadline;
            if (late || (request.cancel && request.cancel->load())) {
                ended = late ? ERROR_WINHTTP_TIMEOUT : ERROR_WINHTTP_OPERATION_CANCELLED;
                handles.Close();
                return;
            }
            done_signal.wait_for(lock, std::chrono::milliseconds(50));
        }
    });

    HINTERNET handle = handles.request_;
    bool ok = WinHttpSendRequest(handle, headers.c_str(), static_cast<DWORD>(-1L),
                                 const_cast<char*>(request.body.data()),
                                 static_cast<DWORD>(request.body.size()),
                                 static_cast<DWORD>(request.body.size()), 0) &&
              WinHttpReceiveResponse(handle, nullptr);
    DWORD error = ok ? 0 : GetLastError();
    if (ok) {
        DWORD status = 0, size = sizeof status;
        ok = WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                 WINHTTP_NO_HEADER_INDEX);
        error = ok ? 0 : GetLastError();
        if (ok) {
            response.answered = true;
            response.status = static_cast<long>(status);
            response.retry_after = QueryHeader(handle, WINHTTP_QUERY_CUSTOM, L"Retry-After");
            response.rate_limits =
                QueryHeader(handle, WINHTTP_QUERY_CUSTOM, L"X-Sentry-Rate-Limits");
            // The answer's body is not needed; a little is read so the
            // connection ends cleanly.
            char sink[4096];
            DWORD read = 0;
            for (int i = 0; i < 16 && WinHttpReadData(handle, sink, sizeof sink, &read) && read > 0;
                 ++i) {
            }
        }
    }
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    done_signal.notify_one();
    watcher.join();
    if (!response.answered)
        response.error = Reason(ended != 0 ? ended.load() : error);
    return response;
}

} // namespace tamberlin::platform::http
