#include "tamberlin/errors/trap.h"

#include "tamberlin/errors/critical_error_handler.h"

namespace tamberlin::errors {

bool Trap(std::string_view operation, const std::function<void()>& statement,
          std::int16_t* response) {
    std::int16_t answer = 0;
    for (;;) {
        try {
            statement();
            // A retried statement that now succeeds carries on.
            if (response)
                *response = answer;
            return true;
        } catch (...) {
            answer = modQFCriticalErrorHandler::HandleCriticalError(operation);
            if (answer != modQFCriticalErrorHandler::Retry)
                break;
        }
    }
    if (response)
        *response = answer;
    return answer == modQFCriticalErrorHandler::Ignore;
}

} // namespace tamberlin::errors
