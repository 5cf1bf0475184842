// Registry access: the program's only way to the registry. Text values
// (REG_SZ) under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
//
// Every operation opens its key, does one thing and closes it again. Reads
// give the empty text when the key or value is missing or unreadable (only
// GetMachineRegString also says whether it read), writes report nothing, and
// QueryRegString and SetRegString return the registry's Win32 result code.
// Key paths use "\" between levels on every platform. The key handle those
// two take is a RegKey's (tamberlin/platform/reg_key.h).
#pragma once

#include "tamberlin/platform/reg_key.h"
#include "tamberlin/platform/registry_types.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace modQFSystemUtilities {

void GetUserRegString(std::string_view strKeyPath, std::string_view strValueName,
                      std::string& strValue);
// True when the value was read. When the key cannot be opened, strValue is
// left as the caller passed it.
bool GetMachineRegString(std::string_view strKeyPath, std::string_view strValueName,
                         std::string& strValue);
// As GetUserRegString, under HKEY_LOCAL_MACHINE in the 64-bit view.
void GetMachineRegString64(std::string_view strKeyPath, std::string_view strValueName,
                           std::string& strValue);
// Creates the key first when it is missing and blnCreateKey is true;
// otherwise a missing key drops the write.
void SaveUserRegString(std::string_view strKeyPath, std::string_view strValueName,
                       std::string_view strValue, bool blnCreateKey);
void CreateUserRegKey(std::string_view strKeyPath);

std::int32_t QueryRegString(tamberlin::platform::registry::Key lngKey,
                            std::string_view strValueName, std::string& strValue);
std::int32_t SetRegString(tamberlin::platform::registry::Key lngKey, std::string_view strValueName,
                          std::string_view strValue);

// The text before the first NUL; the whole text when it has none.
std::string TrimAtNull(std::string_view strText);

} // namespace modQFSystemUtilities
