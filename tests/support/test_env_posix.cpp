#include "platform/registry_sqlite.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tamberlin::testing {

void PrepareTestProcess() {
    // Left behind on purpose: it only ever holds empty test stores.
    static const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("tamberlin-tests-" + std::to_string(getpid()));
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (root / "etc").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    platform::registry::CloseStores();
}

struct RegistrySandbox::State {
    TempFolder folder;
    EnvironmentOverride config_home{"XDG_CONFIG_HOME", (folder.path() / "config").string()};
    EnvironmentOverride config_dirs{"XDG_CONFIG_DIRS", (folder.path() / "etc").string()};
    EnvironmentOverride data_home{"XDG_DATA_HOME", (folder.path() / "data").string()};
};

RegistrySandbox::RegistrySandbox() : state_(std::make_unique<State>()) {
    static std::atomic<unsigned> counter{0};
    base_ = "Software\\TamberlinTests\\" + std::to_string(counter++);
    std::filesystem::create_directories(state_->folder.path() / "data");
    platform::registry::CloseStores();
}

RegistrySandbox::~RegistrySandbox() {
    platform::registry::CloseStores();
}

std::string RegistrySandbox::Folder(const char* name) const {
    return (state_->folder.path() / name).string();
}

bool RunInChildren(int n, const std::function<bool(int)>& child) {
    int gate[2];
    if (pipe(gate) != 0)
        return false;
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            char byte;
            (void)!read(gate[0], &byte, 1); // returns when the parent closes the gate
            _exit(child(i) ? 0 : 1);
        }
        if (pid > 0)
            children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    bool all = static_cast<int>(children.size()) == n;
    for (pid_t pid : children) {
        int status = 0;
        all =
            waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && all;
    }
    return all;
}

ProgramRun RunProgram(std::vector<std::string> args, const std::string& input,
                      double limit_seconds) {
    using Clock = std::chrono::steady_clock;
    ProgramRun run;
    FILE* in = std::tmpfile();
    FILE* out = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(in), 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(out), 1);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (Clock::now() - start > std::chrono::duration<double>(limit_seconds)) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        std::rewind(out);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
            run.output.append(buffer, n);
    }
    posix_spawn_file_actions_destroy(&actions);
    std::fclose(in);
    std::fclose(out);
    return run;
}

EnvironmentOverride::EnvironmentOverride(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str()))
        saved_ = old;
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

EnvironmentOverride::~EnvironmentOverride() {
    if (saved_)
        setenv(name_.c_str(), saved_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

} // namespace tamberlin::testing
