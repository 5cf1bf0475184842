// No HTTP client in this build: every request is answered "not available",
// and the reports wait in the queue.
#include "platform/http.h"

namespace tamberlin::platform::http {

bool Available() {
    return false;
}

Response Post(const Request&) {
    Response response;
    response.error = "no HTTP client in this build";
    return response;
}

} // namespace tamberlin::platform::http
