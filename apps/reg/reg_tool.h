// tamberlin-reg: the registry store's command-line tool, in the manner of
// Windows' reg.
//
//   query  KEY [/v NAME | /ve]
//   add    KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD] [/d DATA] [/f]
//   delete KEY [/v NAME | /ve] [/f]
//   export KEY FILE [/y]
//   import FILE
//
// KEY starts with its root: HKCU or HKEY_CURRENT_USER, HKLM or
// HKEY_LOCAL_MACHINE. Without /f (or /y) a command that would replace or
// delete something asks first. Exit status 0 on success, 1 with a one-line
// message on the error stream otherwise.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tamberlin::regtool {

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

} // namespace tamberlin::regtool
