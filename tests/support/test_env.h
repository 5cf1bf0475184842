// What every test process and every registry test gets of its own.
#pragma once

#include "tamberlin/platform/registry_types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // POSIX: the folders behind the stores: "config" (XDG_CONFIG_HOME), "etc"
    // (XDG_CONFIG_DIRS) and "data" (XDG_DATA_HOME).
    std::string Folder(const char* name) const;

private:
    struct State;
    std::unique_ptr<State> state_;
    std::string base_;
};

// POSIX: runs child(0) ... child(n - 1), each in a process of its own, all
// let go at the same moment once every one has started, and waits for them
// all; true when every child returned true.
bool RunInChildren(int n, const std::function<bool(int)>& child);

// POSIX: how a program run by RunProgram ended.
struct ProgramRun {
    std::string output; // what it wrote to its standard output
    int status = -1;    // its exit status; -1 when it did not exit
    int signal = 0;     // the signal that ended it, 0 when none did
    double seconds = 0; // from start to end
};
// POSIX: runs `args` (the program first) with `input` on its standard input,
// and kills it if it has not ended after `limit_seconds`.
ProgramRun RunProgram(std::vector<std::string> args, const std::string& input = "",
                      double limit_seconds = 60);

// Sets an environment variable (or removes it, for nullopt) for the life of
// the object, then puts back what was there.
class EnvironmentOverride {
public:
    EnvironmentOverride(std::string name, const std::optional<std::string>& value);
    ~EnvironmentOverride();
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Saves one registry value outside the sandbox (type and bytes, or that it is
// missing) and puts it back when the test ends, however it ends: a test that
// changes the real user's settings must not leave them changed for the next
// run, which under Wine shares the prefix. `view` is 0 or a WOW64 view flag.
class RegistryValueGuard {
public:
    RegistryValueGuard(platform::registry::Key root, std::uint32_t view, std::string key,
                       std::string name);
    ~RegistryValueGuard();
    RegistryValueGuard(const RegistryValueGuard&) = delete;
    RegistryValueGuard& operator=(const RegistryValueGuard&) = delete;

    // Writes `value` as a REG_SZ, or deletes the value for nullopt; creates
    // the key if needed. Returns the registry's result.
    long Set(const std::optional<std::string>& value) const;

private:
    platform::registry::Key root_;
    std::uint32_t view_;
    std::string key_, name_;
    std::optional<std::pair<std::uint32_t, std::string>> saved_;
};

} // namespace tamberlin::testing
