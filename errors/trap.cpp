#include "errors/trap.h"

#include "errors/critical_error_handler.h"

namespace tamberlin::errors {

bool Trap(std::string_view operation, const std::function<void()>& statement) {
    for (;;) {
        try {
            statement();
            return true;
        } catch (...) {
            const std::int16_t response = modQFCriticalErrorHandler::HandleCriticalError(operation);
            if (response == modQFCriticalErrorHandler::Retry)
                continue;
            return response == modQFCriticalErrorHandler::Ignore;
        }
    }
}

} // namespace tamberlin::errors
