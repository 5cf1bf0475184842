// The readable stack of a crash record on Linux, made at the next start with
// elfutils' libdw: the modules are laid out as the record's copy of
// /proc/self/maps had them, each address gets its function and, where debug
// information exists, its file and line. A module whose build ID differs from
// the one recorded was replaced since the crash (an update): its frames keep
// their offsets and the recorded build ID, since its names would now be
// wrong. A debuginfod server is asked for missing debug information when
// DEBUGINFOD_URLS names one, within bounded times.
//
// libdw is needed only when a crash is reported, so it is opened then rather
// than linked: no other run loads it, nor libelf and the compression
// libraries it brings. Without it the stack keeps its bare addresses.
#include "platform/crash.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elfutils/libdwfl.h>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tamberlin::platform::crash {
namespace {

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, value);
    return text;
}

// The libdw calls used here, typed by its own header.
struct Libdw {
    decltype(&::dwfl_begin) dwfl_begin;
    decltype(&::dwfl_end) dwfl_end;
    decltype(&::dwfl_report_begin) dwfl_report_begin;
    decltype(&::dwfl_linux_proc_maps_report) dwfl_linux_proc_maps_report;
    decltype(&::dwfl_report_end) dwfl_report_end;
    decltype(&::dwfl_addrmodule) dwfl_addrmodule;
    decltype(&::dwfl_module_info) dwfl_module_info;
    decltype(&::dwfl_module_addrname) dwfl_module_addrname;
    decltype(&::dwfl_module_getsrc) dwfl_module_getsrc;
    decltype(&::dwfl_lineinfo) dwfl_lineinfo;
    decltype(&::dwfl_module_getelf) dwfl_module_getelf;
    decltype(&::dwfl_module_build_id) dwfl_module_build_id;
    decltype(&::dwfl_linux_proc_find_elf) dwfl_linux_proc_find_elf;
    decltype(&::dwfl_standard_find_debuginfo) dwfl_standard_find_debuginfo;
};

// The servers as given, put back for each report after a spent budget.
std::string debuginfod_urls;

// Sets the variable NAME to SECONDS unless it holds a smaller number.
void AtMost(const char* name, long seconds) {
    const char* now = std::getenv(name);
    char* end = nullptr;
    const long given = now ? std::strtol(now, &end, 10) : 0;
    if (!now || end == now || *end || given <= 0 || given > seconds)
        setenv(name, std::to_string(seconds).c_str(), 1);
}

// Opens libdw once, at the first call; null when it or one of its calls is
// missing.
const Libdw* OpenLibdw() {
    static const std::optional<Libdw> calls = []() -> std::optional<Libdw> {
        // libdw asks the debuginfod servers in DEBUGINFOD_URLS for missing
        // debug information; it decides as it loads, so here. Only the
        // report's completion, on the user's word, gets here, and what it
        // asks is build IDs, which the report carries anyway: the URLs alone
        // turn it on, TAMBERLIN_DEBUGINFOD=0 off. Each download is bounded
        // (a larger bound the user set is cut), and so are all of them
        // together (BudgetedFindDebuginfo).
        const char* allowed = std::getenv("TAMBERLIN_DEBUGINFOD");
        if (allowed && std::string_view(allowed) == "0") {
            unsetenv("DEBUGINFOD_URLS");
        } else {
            AtMost("DEBUGINFOD_TIMEOUT", 5);
            AtMost("DEBUGINFOD_MAXTIME", 10);
            if (const char* urls = std::getenv("DEBUGINFOD_URLS"))
                debuginfod_urls = urls;
        }
        void* library = dlopen("libdw.so.1", RTLD_LAZY | RTLD_LOCAL);
        if (!library)
            return std::nullopt;
        Libdw dw;
        bool all = true;
        auto bind = [&](auto& call, const char* name) {
            call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(dlsym(library, name));
            all = all && call;
        };
        bind(dw.dwfl_begin, "dwfl_begin");
        bind(dw.dwfl_end, "dwfl_end");
        bind(dw.dwfl_report_begin, "dwfl_report_begin");
        bind(dw.dwfl_linux_proc_maps_report, "dwfl_linux_proc_maps_report");
        bind(dw.dwfl_report_end, "dwfl_report_end");
        bind(dw.dwfl_addrmodule, "dwfl_addrmodule");
        bind(dw.dwfl_module_info, "dwfl_module_info");
        bind(dw.dwfl_module_addrname, "dwfl_module_addrname");
        bind(dw.dwfl_module_getsrc, "dwfl_module_getsrc");
        bind(dw.dwfl_lineinfo, "dwfl_lineinfo");
        bind(dw.dwfl_module_getelf, "dwfl_module_getelf");
        bind(dw.dwfl_module_build_id, "dwfl_module_build_id");
        bind(dw.dwfl_linux_proc_find_elf, "dwfl_linux_proc_find_elf");
        bind(dw.dwfl_standard_find_debuginfo, "dwfl_standard_find_debuginfo");
        if (all)
            return dw; // the library stays open for the process's lifetime
        dlclose(library);
        return std::nullopt;
    }();
    return calls ? &*calls : nullptr;
}

std::string BuildIdOf(const Libdw& dw, Dwfl_Module* module) {
    GElf_Addr bias = 0;
    dw.dwfl_module_getelf(module, &bias); // reads the file, and with it its notes
    const unsigned char* bits = nullptr;
    GElf_Addr vaddr = 0;
    const int size = dw.dwfl_module_build_id(module, &bits, &vaddr);
    std::string id;
    for (int i = 0; i < size; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", bits[i]);
        id += two;
    }
    return id;
}

// All downloads of one report together take at most this long: past it,
// the servers are no longer asked (libdw reads DEBUGINFOD_URLS at each
// query), and what is on this machine still names the rest.
constexpr auto kDebuginfodBudget = std::chrono::seconds(20);
std::chrono::steady_clock::time_point debuginfod_deadline;

int BudgetedFindDebuginfo(Dwfl_Module* module, void** user, const char* name, Dwarf_Addr base,
                          const char* file, const char* debuglink, GElf_Word crc,
                          char** debuginfo_path) {
    if (std::chrono::steady_clock::now() > debuginfod_deadline)
        unsetenv("DEBUGINFOD_URLS");
    return OpenLibdw()->dwfl_standard_find_debuginfo(module, user, name, base, file, debuglink, crc,
                                                     debuginfo_path);
}

// Only a Dwfl that libdw made is ever deleted, so the library is open then.
struct DwflDeleter {
    void operator()(Dwfl* dwfl) const { OpenLibdw()->dwfl_end(dwfl); }
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

    // The Dwfl keeps pointers to the callbacks and the path: both outlive it.
    const Libdw* dw = OpenLibdw();
    char* debuginfo_path = nullptr;
    Dwfl_Callbacks callbacks = {};
    std::unique_ptr<Dwfl, DwflDeleter> dwfl;
    if (dw) {
        debuginfod_deadline = std::chrono::steady_clock::now() + kDebuginfodBudget;
        if (!debuginfod_urls.empty())
            setenv("DEBUGINFOD_URLS", debuginfod_urls.c_str(), 1);
        callbacks = {dw->dwfl_linux_proc_find_elf, BudgetedFindDebuginfo, nullptr, &debuginfo_path};
        dwfl.reset(dw->dwfl_begin(&callbacks));
    }
    if (dwfl && !maps.empty()) {
        FILE* file = fmemopen(maps.data(), maps.size(), "r");
        if (file) {
            dw->dwfl_report_begin(dwfl.get());
            dw->dwfl_linux_proc_maps_report(dwfl.get(), file);
            dw->dwfl_report_end(dwfl.get(), nullptr, nullptr);
            std::fclose(file);
        }
    }

    std::ostringstream out;
    std::map<std::string, bool> changed; // by module path, reported once
    out << "Stack with names:\n";
    for (size_t i = 0; i < stack.size(); ++i) {
        // A return address points after its call: look up the call itself.
        const std::uint64_t address = i == 0 ? stack[i] : stack[i] - 1;
        out << "  #" << i << ' ' << Hex(stack[i]);
        Dwfl_Module* module = dwfl ? dw->dwfl_addrmodule(dwfl.get(), address) : nullptr;
        if (!module) {
            out << '\n';
            continue;
        }
        Dwarf_Addr start = 0;
        const char* path = dw->dwfl_module_info(module, nullptr, &start, nullptr, nullptr, nullptr,
                                                nullptr, nullptr);
        const std::string module_path = path ? path : "";
        const auto id = recorded_ids.find(module_path);
        const std::string now = BuildIdOf(*dw, module);
        if (id != recorded_ids.end() && id->second != "-" && !now.empty() && id->second != now) {
            // Its names would be the new file's: the offset and the recorded
            // build ID still find the code that crashed.
            changed[module_path] = true;
            out << " in " << module_path << " +" << Hex(stack[i] - start) << " [" << id->second
                << "] (changed since the crash)\n";
            continue;
        }
        if (const char* name = dw->dwfl_module_addrname(module, address)) {
            int status = 0;
            char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
            out << ' ' << (readable ? readable : name);
            std::free(readable);
        }
        if (Dwfl_Line* line = dw->dwfl_module_getsrc(module, address)) {
            int number = 0;
            if (const char* file =
                    dw->dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr))
                out << " at " << file << ':' << number;
        }
        out << " in " << module_path << " +" << Hex(stack[i] - start) << " ["
            << (id != recorded_ids.end() ? id->second : now) << "]\n";
    }
    for (const auto& [path, yes] : changed)
        out << "\n"
            << path
            << " was replaced since the crash (its build ID differs, an update?): its "
               "frames keep their offsets and the recorded build ID, without names.\n";
    return out.str();
}

} // namespace tamberlin::platform::crash
