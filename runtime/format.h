// Number texts that several messages share, formatted the way the run-time's
// Format does with a pattern of zeros.
#pragma once

#include "tamberlin/runtime/application.h"

#include <cstdint>
#include <string>

namespace tamberlin::runtime {

// `value` in decimal with at least `digits` digits, zero-filled on the left
// and longer when the number needs it ("00" gives 07 and 123); a negative
// value keeps its minus sign before the zeros.
std::string ZeroPadded(std::int64_t value, int digits);

// The program's version as messages show it: the major part, the minor part
// as at least two digits and the revision as at least four ("19.00.0019").
std::string VersionText(const Application& app = App());

} // namespace tamberlin::runtime
