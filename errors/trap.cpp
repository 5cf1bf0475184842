#include "tamberlin/errors/trap.h"

#include "errors/operation.h"
#include "tamberlin/errors/critical_error_handler.h"

#include <cstring>

namespace tamberlin::errors {
namespace {

constexpr std::size_t kOperationSize = 256;
// The innermost running trap's operation, for the crash handler: a fixed
// buffer, so a crash finds it without anything being allocated. Its last
// byte stays NUL.
char g_operation[kOperationSize];

// Names the trap's operation while it runs, then gives the enclosing trap's
// back.
class OperationScope {
public:
    explicit OperationScope(std::string_view operation) {
        std::memcpy(saved_, g_operation, kOperationSize);
        const std::size_t n =
            operation.size() < kOperationSize - 1 ? operation.size() : kOperationSize - 1;
        std::memcpy(g_operation, operation.data(), n);
        g_operation[n] = '\0';
    }
    ~OperationScope() { std::memcpy(g_operation, saved_, kOperationSize); }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    char saved_[kOperationSize];
};

} // namespace

const char* InnermostOperation() noexcept {
    return g_operation;
}

bool Trap(std::string_view operation, const std::function<void()>& statement,
          std::int16_t* response) {
    const OperationScope scope(operation);
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
