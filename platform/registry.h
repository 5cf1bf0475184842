// The registry: the Windows registry on Windows, a SQLite store with the same
// model elsewhere.
//
// The calls mirror the ANSI registry functions (RegOpenKeyExA and friends) so
// that the logic above reads like the Windows calls it stands for. Every call
// returns ERROR_SUCCESS (0) or a Win32 error code; an out argument is defined
// only when ERROR_SUCCESS is returned, except that QueryValue reports the
// needed size with ERROR_MORE_DATA. Key paths and value names are UTF-8 and
// converted at the boundary; value data are the bytes as the system stores
// them (ANSI code page text for REG_SZ).
//
// The model, on both targets: two roots (HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE), key paths with "\" between levels, key and value names
// compared without regard to case, the empty value name for a key's default
// value, typed values whose bytes are kept exactly as written, and a 64-bit
// view of the machine root (KEY_WOW64_64KEY). Only a 32-bit process on 64-bit
// Windows sees two different machine trees; elsewhere both views are one tree.
#pragma once

#include "tamberlin/platform/registry_types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::platform::registry {

// RegOpenKeyExA.
long OpenKey(Key parent, std::string_view sub_key, std::uint32_t sam, Key& result);
// RegCreateKeyExA with no class and no security attributes: creates the key
// with every missing level, or opens it when it exists.
long CreateKey(Key parent, std::string_view sub_key, std::uint32_t options, std::uint32_t sam,
               Key& result);
// RegQueryValueExA. `data` may be null to ask for the size; `size` is the
// capacity of `data` on entry and the stored size on return.
long QueryValue(Key key, std::string_view value_name, std::uint32_t* type, char* data,
                std::uint32_t* size);
// RegSetValueExA.
long SetValue(Key key, std::string_view value_name, std::uint32_t type, const char* data,
              std::uint32_t size);
// RegCloseKey. The two roots are predefined and closing them does nothing.
long CloseKey(Key key);

// Administration, used by the command-line tool: RegEnumKeyExA,
// RegEnumValueA (data as stored), RegDeleteValueA and RegDeleteTreeA followed
// by RegDeleteKeyExA (the key with everything below it).
long EnumKey(Key key, std::uint32_t index, std::string& name);
long EnumValue(Key key, std::uint32_t index, std::string& name, std::uint32_t& type,
               std::string& data);
long DeleteValue(Key key, std::string_view value_name);
long DeleteTree(Key parent, std::string_view sub_key);

// The registry's rules for names (registry_names.cpp): a key level holds at
// most 255 characters and a path at most 512 levels, a value name at most
// 16,383 characters (ERROR_INVALID_PARAMETER beyond); a sub-key must not
// begin with "\" (ERROR_BAD_PATHNAME). SplitKeyPath also gives the levels
// of a path below a key `depth` levels deep; empty levels are skipped.
long SplitKeyPath(std::string_view sub_key, std::size_t depth,
                  std::vector<std::string_view>& levels);
long CheckKeyPath(std::string_view sub_key);
long CheckValueName(std::string_view value_name);

// Makes the writes that follow, up to EndChanges, one change that lands whole
// or not at all where the store can: on Linux one transaction per store
// touched (EndChanges(false), or a process that dies before EndChanges,
// leaves nothing). The Windows registry has no such transaction: there each
// write stands alone. Changes do not nest.
long BeginChanges();
long EndChanges(bool keep);

// True when the 64-bit view of the machine root is a different tree from the
// one this process sees by default (a 32-bit process on 64-bit Windows).
bool HasSeparate64BitView();

} // namespace tamberlin::platform::registry
