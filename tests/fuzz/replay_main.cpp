// Runs a fuzz target over files and the files of folders, once each: the
// regression test of its corpus when the build has no fuzzer.
#include "tests/fuzz/fuzz.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    int inputs = 0, failures = 0;
    for (int a = 1; a < argc; ++a) {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[a])) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[a]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.emplace_back(argv[a]);
        }
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), {});
            if (!in.good() && !in.eof()) {
                std::cerr << "cannot read " << file << '\n';
                ++failures;
                continue;
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++inputs;
        }
    }
    std::cout << "replayed " << inputs << " inputs\n";
    return failures || inputs == 0 ? 1 : 0;
}
