#include <windows.h>

#include "platform/registry.h"
#include "tamberlin/platform/reg_key.h"
#include "tests/support/test_env.h"

#include <atomic>

namespace tamberlin::testing {
namespace {

namespace reg = platform::registry;

void DeleteBelow(reg::Key root, std::uint32_t view, const std::string& parent,
                 const std::string& name) {
    reg::RegKey key;
    if (key.Open(root, parent, reg::kAllAccess | view) == reg::kSuccess)
        reg::DeleteTree(key.Handle(), name);
}

} // namespace

void PrepareTestProcess() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

struct RegistrySandbox::State {};

RegistrySandbox::RegistrySandbox() {
    static std::atomic<unsigned> counter{0};
    base_ = "Software\\TamberlinTests\\" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter++);
}

RegistrySandbox::~RegistrySandbox() {
    const std::string parent = "Software\\TamberlinTests";
    const std::string name = base_.substr(parent.size() + 1);
    DeleteBelow(reg::kCurrentUser, 0, parent, name);
    DeleteBelow(reg::kLocalMachine, reg::kWow64_32Key, parent, name);
    DeleteBelow(reg::kLocalMachine, reg::kWow64_64Key, parent, name);
}

std::string RegistrySandbox::ConfigHome() const {
    return {};
}
std::string RegistrySandbox::ConfigDir() const {
    return {};
}
std::string RegistrySandbox::DataHome() const {
    return {};
}

} // namespace tamberlin::testing

#include "platform/text_win32.h"
#include "tests/support/search_path.h"

namespace tamberlin::testing {

SearchPathOverride::SearchPathOverride(const std::string& value) {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(L"Path", buffer, 32768);
    if (n > 0 && n < 32768)
        saved_ = platform::win32::Utf8FromWide(std::wstring_view(buffer, n));
    SetEnvironmentVariableW(L"Path", platform::win32::WideFromUtf8(value).c_str());
}

SearchPathOverride::~SearchPathOverride() {
    SetEnvironmentVariableW(L"Path",
                            saved_ ? platform::win32::WideFromUtf8(*saved_).c_str() : nullptr);
}

} // namespace tamberlin::testing
