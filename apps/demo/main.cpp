// tamberlin-demo: the application that shows the services at work.
//
//   tamberlin-demo info    prints the application-wide data, one field a line
#include "app/all_data.h"
#include "platform/system.h"
#include "runtime/application.h"
#include "runtime/error.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kTitle = "Tamberlin";

// Numbers are written without the locale, so "8.25" stays "8.25".
std::string Number(double value) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr);
}

void Print(std::string_view name, std::string_view value) {
    std::printf("%.*s: %.*s\n", static_cast<int>(name.size()), name.data(),
                static_cast<int>(value.size()), value.data());
}

int Info() {
    using namespace modQFAllData;
    tamberlin::runtime::App().SetTitle(kTitle);
    InitAppData();
    Print("strAppTitle", strAppTitle);
    Print("strAppEXEName", strAppEXEName);
    Print("strAppPath", strAppPath);
    Print("strAppDataPath", strAppDataPath);
    Print("intDecimalSeparator", std::to_string(intDecimalSeparator));
    Print("strFontName", strFontName);
    Print("dblFontSize", Number(dblFontSize));
    Print("picAppPicture", picAppPicture ? "empty picture" : "none");
    Print("intLayoutSpacing", std::to_string(intLayoutSpacing));
    for (int i = 1; i <= 15; ++i)
        Print("lngInterfaceColours(" + std::to_string(i) + ")",
              std::to_string(lngInterfaceColours[static_cast<size_t>(i)]));
    Print("strSpacer1", strSpacer1);
    Print("strSpacer2", strSpacer2);
    return 0;
}

int Usage() {
    std::fputs("usage: tamberlin-demo info\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    namespace sys = tamberlin::platform::system;
    sys::UseUtf8Console();
    const std::vector<std::string> args = sys::CommandLineArguments(argc, argv);
    try {
        if (args.size() == 1 && args[0] == "info")
            return Info();
        return Usage();
    } catch (const tamberlin::runtime::RuntimeError& e) {
        std::fprintf(stderr, "tamberlin-demo: run-time error %d: %s\n", e.Number(),
                     e.Description().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tamberlin-demo: %s\n", e.what());
    }
    return 1;
}
