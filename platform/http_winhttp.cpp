// One HTTPS POST with WinHTTP.
//
// With a CA file (a PEM bundle), the server's chain must lead to one of its
// certificates, as with curl's CA file: WinHTTP is told to let an unknown
// root through (it still checks the name and the dates), and the chain is
// checked here after the handshake: the request line and headers (the DSN's
// public key) have gone out then, the report in the body has not.
//
// WinHTTP bounds each phase (resolve, connect, send, receive) but not the
// whole request, and a synchronous call ends early only when its handle is
// closed: a watcher thread closes the request at the total time-out or when
// the caller cancels.
#include "platform/http.h"

#include <windows.h>

#include "platform/files.h"
#include "platform/text_win32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include <wincrypt.h>
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
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        return "The collector's certificate was not accepted";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: // what Wine answers for a refused certificate
        return "The TLS (SSL) handshake with the collector failed: its certificate or protocol "
               "was not accepted";
    case ERROR_WINHTTP_SECURE_INVALID_CA:
        return "The collector's certificate was not accepted: its chain does not lead to the CA "
               "file's certificates or the system's";
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

// A CA file's certificates in a store of their own; null when it cannot be
// read or holds none.
HCERTSTORE LoadCaFile(const std::string& path) {
    std::string text;
    if (!files::ReadWholeFile(path, text))
        return nullptr;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store)
        return nullptr;
    const std::string_view begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    int count = 0;
    for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at)) {
        const std::size_t stop = text.find(end, at);
        if (stop == std::string::npos)
            break;
        const DWORD length = static_cast<DWORD>(stop + end.size() - at);
        DWORD size = 0;
        if (CryptStringToBinaryA(text.data() + at, length, CRYPT_STRING_BASE64HEADER, nullptr,
                                 &size, nullptr, nullptr)) {
            std::vector<BYTE> der(size);
            if (CryptStringToBinaryA(text.data() + at, length, CRYPT_STRING_BASE64HEADER,
                                     der.data(), &size, nullptr, nullptr) &&
                CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                 CERT_STORE_ADD_USE_EXISTING, nullptr))
                ++count;
        }
        at = stop;
    }
    if (count == 0) {
        CertCloseStore(store, 0);
        return nullptr;
    }
    return store;
}

// Whether the server's chain, built with the CA file's certificates at hand,
// reaches one of them without a fault on the way (an unknown root is no
// fault: the file's certificate is the anchor).
bool ChainReachesCaFile(HINTERNET request, HCERTSTORE cas) {
    PCCERT_CONTEXT server = nullptr;
    DWORD size = sizeof server;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || !server)
        return false;
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    bool reached = false;
    if (CertGetCertificateChain(nullptr, server, nullptr, cas, &para, 0, nullptr, &chain)) {
        const DWORD no_fault = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                               CERT_TRUST_IS_OFFLINE_REVOCATION | CERT_TRUST_IS_PARTIAL_CHAIN;
        const CERT_SIMPLE_CHAIN* simple = chain->cChain > 0 ? chain->rgpChain[0] : nullptr;
        for (DWORD i = 0; simple && i < simple->cElement && !reached; ++i) {
            const CERT_CHAIN_ELEMENT* element = simple->rgpElement[i];
            if (element->TrustStatus.dwErrorStatus & ~no_fault)
                break;
            PCCERT_CONTEXT found = CertFindCertificateInStore(
                cas, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, element->pCertContext, nullptr);
            reached = found != nullptr;
            if (found)
                CertFreeCertificateContext(found);
        }
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(server);
    return reached;
}

} // namespace

bool Available() {
    return true;
}

Response Post(const Request& request) {
    Response response;
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
    struct StoreCloser {
        void operator()(void* store) const { CertCloseStore(store, 0); }
    };
    std::unique_ptr<void, StoreCloser> cas;
    if (secure && !request.ca_file.empty()) {
        cas.reset(LoadCaFile(request.ca_file));
        if (!cas) {
            response.error = "The CA file " + request.ca_file + " holds no certificate";
            return response;
        }
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        WinHttpSetOption(handles.request_, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
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

    // The headers first, so the chain is checked before the body goes out.
    HINTERNET handle = handles.request_;
    bool ok =
        WinHttpSendRequest(handle, headers.c_str(), static_cast<DWORD>(-1L),
                           WINHTTP_NO_REQUEST_DATA, 0, static_cast<DWORD>(request.body.size()), 0);
    DWORD error = ok ? 0 : GetLastError();
    if (ok && cas && !ChainReachesCaFile(handle, cas.get())) {
        ok = false;
        error = ERROR_WINHTTP_SECURE_INVALID_CA;
    }
    for (std::size_t at = 0; ok && at < request.body.size();) {
        DWORD written = 0;
        ok = WinHttpWriteData(handle, request.body.data() + at,
                              static_cast<DWORD>(request.body.size() - at), &written) &&
             written > 0;
        at += written;
    }
    if (ok)
        ok = WinHttpReceiveResponse(handle, nullptr);
    if (!ok && !error)
        error = GetLastError();
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
