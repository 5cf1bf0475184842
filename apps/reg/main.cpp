// tamberlin-reg: reads and writes the registry store from the command line.
#include "apps/reg/reg_tool.h"
#include "platform/system.h"

#include <iostream>

int main(int argc, char** argv) {
    namespace sys = tamberlin::platform::system;
    sys::UseUtf8Console();
    return tamberlin::regtool::Run(sys::CommandLineArguments(argc, argv), std::cin, std::cout,
                                   std::cerr);
}
