#include "platform/registry_sqlite.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace tamberlin::testing {
namespace {

constexpr const char* kVariables[] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME"};

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
    std::optional<std::string> saved[3];
};

RegistrySandbox::RegistrySandbox() : state_(std::make_unique<State>()) {
    static std::atomic<unsigned> counter{0};
    base_ = "Software\\TamberlinTests\\" + std::to_string(counter++);
    for (int i = 0; i < 3; ++i)
        if (const char* value = std::getenv(kVariables[i]))
            state_->saved[i] = value;
    PointXdgAt(state_->folder.path());
    std::filesystem::create_directories(state_->folder.path() / "data");
    platform::registry::CloseStores();
}

RegistrySandbox::~RegistrySandbox() {
    platform::registry::CloseStores();
    for (int i = 0; i < 3; ++i) {
        if (state_->saved[i])
            setenv(kVariables[i], state_->saved[i]->c_str(), 1);
        else
            unsetenv(kVariables[i]);
    }
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

} // namespace tamberlin::testing

#include "tests/support/search_path.h"

namespace tamberlin::testing {

SearchPathOverride::SearchPathOverride(const std::string& value) {
    if (const char* path = std::getenv("PATH"))
        saved_ = path;
    setenv("PATH", value.c_str(), 1);
}

SearchPathOverride::~SearchPathOverride() {
    if (saved_)
        setenv("PATH", saved_->c_str(), 1);
    else
        unsetenv("PATH");
}

} // namespace tamberlin::testing
