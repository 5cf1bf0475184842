#include "platform/registry.h"
#include "tamberlin/platform/reg_key.h"
#include "tamberlin/sysutil/registry.h"
#include "tests/support/test_env.h"

namespace tamberlin::testing {

namespace reg = platform::registry;

RegistryValueGuard::RegistryValueGuard(reg::Key root, std::uint32_t view, std::string key,
                                       std::string name)
    : root_(root), view_(view), key_(std::move(key)), name_(std::move(name)) {
    reg::RegKey opened;
    std::uint32_t type = 0;
    std::string data;
    if (opened.Open(root_, key_, reg::kQueryValue | view_) == reg::kSuccess &&
        opened.ReadValue(name_, type, data) == reg::kSuccess)
        saved_.emplace(type, std::move(data));
}

RegistryValueGuard::~RegistryValueGuard() {
    reg::RegKey opened;
    if (opened.Open(root_, key_, reg::kSetValue | view_) != reg::kSuccess)
        return;
    if (saved_)
        (void)opened.WriteValue(name_, saved_->first, saved_->second);
    else
        (void)reg::DeleteValue(opened.Handle(), name_);
}

long RegistryValueGuard::Set(const std::optional<std::string>& value) const {
    reg::RegKey opened;
    if (const long rc = opened.Create(root_, key_, reg::kAllAccess | view_); rc != reg::kSuccess)
        return rc;
    if (!value)
        return reg::DeleteValue(opened.Handle(), name_);
    return modQFSystemUtilities::SetRegString(opened.Handle(), name_, *value);
}

} // namespace tamberlin::testing
