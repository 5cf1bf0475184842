#include <windows.h>

#include "platform/registry.h"
#include "platform/text_win32.h"
#include "tamberlin/platform/reg_key.h"
#include "tests/support/test_env.h"

#include <atomic>

namespace tamberlin::testing {

namespace reg = platform::registry;

void PrepareTestProcess() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

struct RegistrySandbox::State {};

// Wine reuses small process ids, so a key a crashed run left under this name
// is cleared before use as well as after.
static void ClearSandbox(const std::string& base) {
    const std::string parent = "Software\\TamberlinTests";
    for (const auto& [root, view] : {std::pair<reg::Key, std::uint32_t>{reg::kCurrentUser, 0},
                                     {reg::kLocalMachine, reg::kWow64_32Key},
                                     {reg::kLocalMachine, reg::kWow64_64Key}}) {
        reg::RegKey key;
        if (key.Open(root, parent, reg::kAllAccess | view) == reg::kSuccess)
            reg::DeleteTree(key.Handle(), base.substr(parent.size() + 1));
    }
}

RegistrySandbox::RegistrySandbox() {
    static std::atomic<unsigned> counter{0};
    base_ = "Software\\TamberlinTests\\" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter++);
    ClearSandbox(base_);
}

RegistrySandbox::~RegistrySandbox() {
    ClearSandbox(base_);
}

namespace {

std::optional<std::string> GetVariable(const std::wstring& name) {
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetEnvironmentVariableW(name.c_str(), buffer.data(), 32768);
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
    return platform::win32::Utf8FromWide(std::wstring_view(buffer.data(), n < 32768 ? n : 0));
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    SetEnvironmentVariableW(platform::win32::WideFromUtf8(name).c_str(),
                            value ? platform::win32::WideFromUtf8(*value).c_str() : nullptr);
}

} // namespace

EnvironmentOverride::EnvironmentOverride(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)), saved_(GetVariable(platform::win32::WideFromUtf8(name_))) {
    SetVariable(name_, value);
}

EnvironmentOverride::~EnvironmentOverride() {
    SetVariable(name_, saved_);
}

} // namespace tamberlin::testing
