// Sets the program search path for the lifetime of the object ("PATH": on
// Windows names of environment variables are compared without case, so this
// is "Path" there).
#pragma once

#include "tests/support/test_env.h"

namespace tamberlin::testing {

class SearchPathOverride : public EnvironmentOverride {
public:
    explicit SearchPathOverride(const std::string& value) : EnvironmentOverride("PATH", value) {}
};

} // namespace tamberlin::testing
