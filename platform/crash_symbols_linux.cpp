// The readable stack of a crash record on Linux, made at the next start with
// elfutils' libdw: the modules are laid out as the record's copy of
// /proc/self/maps had them, each address gets its function and, where debug
// information exists, its file and line. A module whose build ID differs from
// the one recorded was replaced since the crash (an update): its addresses
// stay numbers, since its names would now be wrong.
#include "platform/crash.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <elfutils/libdwfl.h>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

namespace tamberlin::platform::crash {
namespace {

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, value);
    return text;
}

std::string BuildIdOf(Dwfl_Module* module) {
    GElf_Addr bias = 0;
    dwfl_module_getelf(module, &bias); // reads the file, and with it its notes
    const unsigned char* bits = nullptr;
    GElf_Addr vaddr = 0;
    const int size = dwfl_module_build_id(module, &bits, &vaddr);
    std::string id;
    for (int i = 0; i < size; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", bits[i]);
        id += two;
    }
    return id;
}

struct DwflDeleter {
    void operator()(Dwfl* dwfl) const { dwfl_end(dwfl); }
};

} // namespace

std::string Describe(const std::string& record) {
    std::vector<std::uint64_t> stack;
    std::map<std::string, std::string> recorded_ids; // path -> build ID
    std::string maps;
    std::istringstream in(record);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("stack: ", 0) == 0) {
            stack.push_back(std::strtoull(line.c_str() + 7, nullptr, 16));
        } else if (line.rfind("module: ", 0) == 0) {
            // module: BASE BUILDID PATH
            const size_t id = line.find(' ', 8);
            const size_t path = id == std::string::npos ? id : line.find(' ', id + 1);
            if (path != std::string::npos)
                recorded_ids[line.substr(path + 1)] = line.substr(id + 1, path - id - 1);
        } else if (line == "maps:") {
            maps.assign(std::istreambuf_iterator<char>(in), {});
            break;
        }
    }

    static char* debuginfo_path = nullptr;
    static const Dwfl_Callbacks callbacks = {dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo,
                                             nullptr, &debuginfo_path};
    std::unique_ptr<Dwfl, DwflDeleter> dwfl(dwfl_begin(&callbacks));
    if (dwfl && !maps.empty()) {
        FILE* file = fmemopen(maps.data(), maps.size(), "r");
        if (file) {
            dwfl_report_begin(dwfl.get());
            dwfl_linux_proc_maps_report(dwfl.get(), file);
            dwfl_report_end(dwfl.get(), nullptr, nullptr);
            std::fclose(file);
        }
    }

    std::ostringstream out;
    std::map<std::string, bool> changed; // by module path, reported once
    out << "Stack:\n";
    for (size_t i = 0; i < stack.size(); ++i) {
        // A return address points after its call: look up the call itself.
        const std::uint64_t address = i == 0 ? stack[i] : stack[i] - 1;
        out << "  #" << i << ' ' << Hex(stack[i]);
        Dwfl_Module* module = dwfl ? dwfl_addrmodule(dwfl.get(), address) : nullptr;
        if (!module) {
            out << '\n';
            continue;
        }
        Dwarf_Addr start = 0;
        const char* path =
            dwfl_module_info(module, nullptr, &start, nullptr, nullptr, nullptr, nullptr, nullptr);
        const std::string module_path = path ? path : "";
        const auto id = recorded_ids.find(module_path);
        const std::string now = BuildIdOf(module);
        if (id != recorded_ids.end() && id->second != "-" && !now.empty() && id->second != now) {
            changed[module_path] = true;
            out << " in " << module_path << " (changed since the crash)\n";
            continue;
        }
        if (const char* name = dwfl_module_addrname(module, address)) {
            int status = 0;
            char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
            out << ' ' << (readable ? readable : name);
            std::free(readable);
        }
        if (Dwfl_Line* line = dwfl_module_getsrc(module, address)) {
            int number = 0;
            if (const char* file = dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr))
                out << " at " << file << ':' << number;
        }
        out << " in " << module_path << " +" << Hex(stack[i] - start) << '\n';
    }
    for (const auto& [path, yes] : changed)
        out << "\n"
            << path
            << " was replaced since the crash (its build ID differs, an update?): its "
               "addresses are shown without names.\n";
    return out.str();
}

} // namespace tamberlin::platform::crash
