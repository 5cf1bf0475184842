// tamberlin-reg: reads and writes the registry store from the command line.
#include "apps/reg/reg_tool.h"

#include <iostream>

int main(int argc, char** argv) {
    return tamberlin::regtool::Run(std::vector<std::string>(argv + 1, argv + argc), std::cin,
                                   std::cout, std::cerr);
}
