// tamberlin-reg: reads and writes the registry store from the command line.
#include "apps/reg/reg_tool.h"
#include "platform/system.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    namespace sys = tamberlin::platform::system;
    // Under a tight address-space limit the C++ library may start without
    // its reserve for exceptions; a throw then cannot be made and ends in
    // terminate with none active. That is a lack of memory too: a message
    // and a failure status, not abort's signal.
    std::set_terminate([] {
        std::fputs(std::current_exception() ? "ERROR: an unexpected exception\n"
                                            : "ERROR: out of memory\n",
                   stderr);
        std::_Exit(1);
    });
    sys::UseUtf8Console();
#ifdef SIGXFSZ
    // Past the file size limit a write fails and is reported, instead of the
    // signal ending the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // Run reports its own failures; this catches what copying the arguments
    // throws (no memory) before it starts.
    try {
        return tamberlin::regtool::Run(sys::CommandLineArguments(argc, argv), std::cin, std::cout,
                                       std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
    }
    return 1;
}
