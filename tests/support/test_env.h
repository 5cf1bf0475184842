// What every test process and every registry test gets of its own.
#pragma once

#include <memory>
#include <string>

namespace tamberlin::testing {

// Called once by the test main: keeps the process away from the real user's
// settings (Linux: XDG folders in a temporary folder) and from system pop-ups
// (Windows: no critical-error boxes).
void PrepareTestProcess();

// A registry of the test's own. On Linux: new store files (and a new data
// folder) in a temporary folder. On Windows: a key of its own below
// Software\TamberlinTests under both roots (and both views), deleted again at
// the end. Base() is that key's path, the same text on both.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    const std::string& Base() const { return base_; }
    // Linux: the folders behind the stores (empty on Windows).
    std::string ConfigHome() const;
    std::string ConfigDir() const;
    std::string DataHome() const;

private:
    struct State;
    std::unique_ptr<State> state_;
    std::string base_;
};

} // namespace tamberlin::testing
