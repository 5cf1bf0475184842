#include "errors/trap.h"

#include "errors/critical_error_handler.h"

namespace tamberlin::errors {

bool Trap(std::string_view operation, const std::function<void()>& statement,
          std::int16_t* response) {
    std::int16_t answer = 0;
    for (;;) {
        try {
            statement();
            break;
        } catch (...) {
            answer = modQFCriticalErrorHandler::HandleCriticalError(operation);
            if (answer != modQFCriticalErrorHandler::Retry)
                break;
        }
    }
    if (response)
        *response = answer;
    return answer == 0 || answer == modQFCriticalErrorHandler::Ignore;
}

} // namespace tamberlin::errors
