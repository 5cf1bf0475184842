#include "platform/registry_sqlite.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tamberlin::testing {
namespace {

void PointXdgAt(const std::filesystem::path& root) {
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (root / "etc").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
}

} // namespace

void PrepareTestProcess() {
    // Left behind on purpose: it only ever holds empty test stores.
    static const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("tamberlin-tests-" + std::to_string(getpid()));
    PointXdgAt(root);
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

std::string RegistrySandbox::ConfigHome() const {
    return (state_->folder.path() / "config").string();
}
std::string RegistrySandbox::ConfigDir() const {
    return (state_->folder.path() / "etc").string();
}
std::string RegistrySandbox::DataHome() const {
    return (state_->folder.path() / "data").string();
}

bool RunInChildren(int n, const std::function<bool(int)>& child) {
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(child(i) ? 0 : 1);
        if (pid > 0)
            children.push_back(pid);
    }
    bool all = static_cast<int>(children.size()) == n;
    for (pid_t pid : children) {
        int status = 0;
        all =
            waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && all;
    }
    return all;
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
