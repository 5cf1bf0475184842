// The error path on Windows, for runs under Wine where Google Benchmark does
// not build: one trip down the error path beside a bare append of the same
// line (CreateFile, WriteFile, CloseHandle), and the calls the path cannot do
// without made bare. Prints the rows as Google Benchmark's CSV does, so
// `./run bench` tabulates both alike.
#include <windows.h>

#include "bench/presses_ok.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/ui/host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const tamberlin::runtime::CurrentError kError{53, "File not found", "Tamberlin", 2};

// Median of 15 rounds of the nanoseconds one call takes.
template <typename F> double Median(F call) {
    constexpr int kRounds = 15, kCalls = 200;
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCalls; ++i)
            call();
        const std::chrono::duration<double, std::nano> took =
            std::chrono::steady_clock::now() - start;
        rounds.push_back(took.count() / kCalls);
    }
    std::nth_element(rounds.begin(), rounds.begin() + kRounds / 2, rounds.end());
    return rounds[kRounds / 2];
}

void Row(const char* name, double ns) {
    std::printf("\"%s\",200,%.0f,%.0f,ns\n", name, ns, ns);
}

} // namespace

int main() {
    char temp[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    const std::string folder =
        std::string(temp) + "tamberlin-bench-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    tamberlin::bench::PressesOk host;
    tamberlin::ui::SetHost(&host);
    modQFAllData::strAppTitle = "Tamberlin";
    modQFAllData::strAppEXEName = "bench";
    modQFCriticalErrorHandler::strErrorLogFolder = folder;
    const std::string path = modQFCriticalErrorHandler::GetErrorLogPath();
    const std::string line =
        modQFCriticalErrorHandler::FormatErrorLogLine("opening the project file", kError);

    std::printf("name,iterations,real_time,cpu_time,time_unit\n");
    Row("HandleCriticalErrorOnce (Wine)", Median([] {
            modQFCriticalErrorHandler::HandleCriticalError(kError, "opening the project file");
        }));
    const auto append = [&] {
        HANDLE file =
            CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    };
    // The system calls the error path cannot do without, bare: the folder's
    // existence, the read-only check and the append. (A log folder below a
    // drive root needs no drive list, which under Wine is a round trip to
    // its mount manager costing more than all of these.)
    const std::string folder_only = folder.substr(0, folder.size() - 1);
    Row("FolderCheckReadOnlyCheckAndAppend (Wine)", Median([&] {
            WIN32_FIND_DATAA found;
            if (HANDLE find = FindFirstFileA(folder_only.c_str(), &found);
                find != INVALID_HANDLE_VALUE)
                FindClose(find);
            GetFileAttributesA(path.c_str());
            append();
        }));
    Row("BareAppendOfTheSameLine (Wine)", Median(append));
    tamberlin::ui::SetHost(nullptr);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
