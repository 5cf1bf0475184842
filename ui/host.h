// User-interface hosts: what the services show the user, on whatever screen
// the program has.
//
// A host shows modal message boxes and returns the button the user chose.
// The program has one current host: the platform's own by default (Win32
// message boxes on Windows, the terminal elsewhere); tests install a scripted
// one. Hosts never throw: a box that cannot be shown answers as if it had
// been cancelled.
#pragma once

#include <iosfwd>
#include <memory>
#include <string_view>

namespace tamberlin::ui {

enum class Buttons { kOK, kRetryCancel };
enum class Icon { kNone, kInformation, kWarning, kCritical };

// The message-box answers, with the values of IDOK, IDCANCEL, ... .
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;

class Host {
public:
    virtual ~Host() = default;
    // Shows `text` in a modal box titled `title`; returns the answer.
    virtual int MsgBox(std::string_view text, std::string_view title, Buttons buttons,
                       Icon icon) = 0;
};

// The current host.
Host& CurrentHost();
// Installs `host` (not owned; it must outlive its use) as the current host;
// nullptr goes back to the default one.
void SetHost(Host* host);

// A host that talks through a text stream pair (stdin and stdout for a
// console or a pipe).
std::unique_ptr<Host> MakeTerminalHost(std::istream& in, std::ostream& out);
// The platform's default host.
std::unique_ptr<Host> MakeDefaultHost();

} // namespace tamberlin::ui
