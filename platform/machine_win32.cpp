// Who and where the program runs, on Windows.
#include <windows.h>

#include "platform/machine.h"
#include "platform/text_win32.h"

#include <string>

// RtlGenRandom, exported by advapi32 as SystemFunction036.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace tamberlin::platform::machine {
namespace {

std::string Variable(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? win32::Utf8FromWide(std::wstring(value, n)) : "";
}

struct OsVersion {
    DWORD major = 0, minor = 0, build = 0;
};

OsVersion ReadVersion() {
    // GetVersionEx answers what the manifest claims; ntdll's RtlGetVersion
    // the system's own numbers.
    OsVersion version;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        auto get = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (get && get(&info) == 0)
            version = {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
    }
    return version;
}

} // namespace

std::string HomeFolder() {
    return Variable(L"USERPROFILE");
}

std::string UserName() {
    wchar_t name[257];
    DWORD size = 257;
    if (GetUserNameW(name, &size) && size > 0)
        return win32::Utf8FromWide(std::wstring(name, size - 1));
    return Variable(L"USERNAME");
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? win32::Utf8FromWide(std::wstring(name, size)) : "";
}

std::string SystemName() {
    return "Windows";
}

std::string SystemVersion() {
    const OsVersion version = ReadVersion();
    if (version.major == 0)
        return "";
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.build);
}

std::string KernelVersion() {
    return "";
}

std::string Architecture() {
#if defined(_WIN64)
    return "x86_64";
#else
    return "x86";
#endif
}

bool RandomBytes(void* bytes, std::size_t size) {
    auto* out = static_cast<unsigned char*>(bytes);
    while (size > 0) {
        const ULONG chunk = size > 0x10000 ? 0x10000 : static_cast<ULONG>(size);
        if (!SystemFunction036(out, chunk))
            return false;
        out += chunk;
        size -= chunk;
    }
    return true;
}

} // namespace tamberlin::platform::machine
