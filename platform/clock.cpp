// The pinned time shared by both clocks.
#include "platform/clock.h"

#include "platform/seams.h"

#include <optional>

namespace tamberlin::platform::clock {
namespace {
std::optional<LocalTime> g_pinned;
} // namespace

LocalTime Now() {
    return g_pinned ? *g_pinned : SystemNow();
}

LocalTime UtcNow() {
    return g_pinned ? UtcFromLocal(*g_pinned) : SystemUtcNow();
}

void PinForTesting(const LocalTime* time) {
    g_pinned = time ? std::optional<LocalTime>(*time) : std::nullopt;
}

} // namespace tamberlin::platform::clock
