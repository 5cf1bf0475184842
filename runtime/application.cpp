#include "tamberlin/runtime/application.h"

#include "platform/system.h"
#include "tamberlin/platform/path_style.h"

namespace tamberlin::runtime {

Application& App() {
    static Application app;
    return app;
}

void Application::Load() const {
    if (loaded_)
        return;
    loaded_ = true;
    std::string exe = platform::system::ExecutablePath();
    // A path that cannot be read (a Linux without /proc): the program as it
    // was started still names it, and mostly its folder too.
    if (exe.empty())
        exe = platform::system::InvocationPath();
    const platform::PathStyle& style = platform::NativePathStyle();
    const size_t slash = exe.rfind(style.separator);
    if (slash == std::string::npos) {
        exe_name_ = exe;
    } else {
        // A program in a root folder keeps the root's separator ("C:\", "/").
        path_ = exe.substr(0, slash + 1 <= style.root_length ? slash + 1 : slash);
        exe_name_ = exe.substr(slash + 1);
    }
    // The name without its last extension ("app.exe", "app.x86_64": "app"); a
    // name whose only dot starts it has none.
    const size_t dot = exe_name_.rfind('.');
    if (dot != std::string::npos && dot > 0)
        exe_name_.resize(dot);
    const platform::system::Version version = platform::system::ExecutableVersion();
    major_ = version.major;
    minor_ = version.minor;
    revision_ = version.revision;
}

const std::string& Application::Title() const {
    Load();
    return title_set_ ? title_ : exe_name_;
}

void Application::SetTitle(std::string title) {
    title_ = std::move(title);
    title_set_ = true;
}

const std::string& Application::EXEName() const {
    Load();
    return exe_name_;
}

const std::string& Application::Path() const {
    Load();
    return path_;
}

int Application::Major() const {
    Load();
    return major_;
}

int Application::Minor() const {
    Load();
    return minor_;
}

int Application::Revision() const {
    Load();
    return revision_;
}

void Application::SetEXEName(std::string name) {
    Load();
    exe_name_ = std::move(name);
}

void Application::SetPath(std::string path) {
    Load();
    path_ = std::move(path);
}

void Application::SetVersion(int major, int minor, int revision) {
    Load();
    major_ = major;
    minor_ = minor;
    revision_ = revision;
}

} // namespace tamberlin::runtime
