#include "tamberlin/errors/trap.h"

#include "errors/operation.h"
#include "platform/crash.h"
#include "tamberlin/errors/critical_error_handler.h"

#include <atomic>
#include <cstring>

namespace tamberlin::errors {
namespace {

constexpr std::size_t kOperationSize = 256;
constexpr int kSlots = 64;

// The operations of the threads inside a trap, for the crash handler: a
// fixed table found by the thread's system id, so the handler (or, on
// Windows, the helper thread that writes a stack overflow's record) reads
// the crashing thread's own without thread-local storage, which MinGW
// allocates on first use, and without a lock. A slot belongs to a thread
// from its outermost trap's start to its end. Each text's last byte stays
// NUL.
struct Slot {
    std::atomic<std::uint64_t> thread{0};
    char text[kOperationSize];
};
Slot g_slots[kSlots];

// The calling thread's slot (nullptr when all were taken: its crash then
// names no operation) and how deep its traps nest.
thread_local Slot* t_slot = nullptr;
thread_local int t_depth = 0;
thread_local bool t_prepared = false;
const char kNone[1] = "";

// Names the trap's operation while it runs, then gives the enclosing trap's
// back.
class OperationScope {
public:
    explicit OperationScope(std::string_view operation) {
        if (t_depth++ == 0) {
            // A thread that runs our code gets what a crash handler needs.
            if (!t_prepared)
                t_prepared = platform::crash::PrepareThread();
            const std::uint64_t self = platform::crash::CurrentThreadId();
            for (Slot& slot : g_slots) {
                std::uint64_t free = 0;
                if (slot.thread.compare_exchange_strong(free, self)) {
                    t_slot = &slot;
                    break;
                }
            }
        }
        if (!t_slot)
            return;
        std::memcpy(saved_, t_slot->text, kOperationSize);
        const std::size_t n =
            operation.size() < kOperationSize - 1 ? operation.size() : kOperationSize - 1;
        std::memcpy(t_slot->text, operation.data(), n);
        t_slot->text[n] = '\0';
    }
    ~OperationScope() {
        if (t_slot)
            std::memcpy(t_slot->text, saved_, kOperationSize);
        if (--t_depth == 0 && t_slot) {
            t_slot->thread.store(0);
            t_slot = nullptr;
        }
    }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    char saved_[kOperationSize] = {};
};

} // namespace

const char* InnermostOperation() noexcept {
    return t_slot ? t_slot->text : kNone;
}

const char* OperationOfThread(std::uint64_t thread) noexcept {
    if (thread == 0)
        return nullptr;
    for (const Slot& slot : g_slots)
        if (slot.thread.load() == thread)
            return slot.text;
    return nullptr;
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
