#include "platform/crash.h"
#include "tamberlin/errors/crash.h"

namespace tamberlin::errors {

bool PrepareThreadForCrashes() noexcept {
    return platform::crash::PrepareThread();
}

} // namespace tamberlin::errors
