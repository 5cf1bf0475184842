// Who and where the program runs, as a report describes it and as a report
// must not reveal it: the user's home folder, user name and host name (which
// scrubbing takes out of every text that leaves the machine), the system's
// name, version and processor, and random bytes from the system's source.
//
// Texts are UTF-8; a question the system cannot answer gives the empty text.
// Nothing here throws.
#pragma once

#include <cstddef>
#include <string>

namespace tamberlin::platform::machine {

std::string HomeFolder();
std::string UserName();
std::string HostName();

// "Linux" or "Windows", the system's version ("6.1.0", "10.0.19045") and
// the kernel's build text where there is one.
std::string SystemName();
std::string SystemVersion();
std::string KernelVersion();

// The processor the program was built for: "x86", "x86_64", "aarch64".
std::string Architecture();

// Fills `size` bytes from the system's cryptographic source (getrandom,
// RtlGenRandom). False when it cannot; the bytes are unusable then.
bool RandomBytes(void* bytes, std::size_t size);

} // namespace tamberlin::platform::machine
