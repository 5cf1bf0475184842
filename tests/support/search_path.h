// Sets the program search path ("Path" on Windows, "PATH" elsewhere) for the
// lifetime of the object.
#pragma once

#include <optional>
#include <string>

namespace tamberlin::testing {

class SearchPathOverride {
public:
    explicit SearchPathOverride(const std::string& value);
    ~SearchPathOverride();
    SearchPathOverride(const SearchPathOverride&) = delete;
    SearchPathOverride& operator=(const SearchPathOverride&) = delete;

private:
    std::optional<std::string> saved_;
};

} // namespace tamberlin::testing
