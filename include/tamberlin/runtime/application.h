// The run-time's application object: the program's title, executable name,
// program folder and version.
//
// The executable name, folder and version are read from the running program
// the first time they are asked for. The title defaults to the executable name;
// the application sets its own before InitAppData reads it.
#pragma once

#include <string>

namespace tamberlin::runtime {

class Application {
public:
    const std::string& Title() const;
    void SetTitle(std::string title);

    // The executable's file name without its ".exe".
    const std::string& EXEName() const;
    // The program folder, without a trailing separator unless it is a root.
    const std::string& Path() const;

    int Major() const;
    int Minor() const;
    int Revision() const;

    // For tests that play another program's identity.
    void SetEXEName(std::string name);
    void SetPath(std::string path);
    void SetVersion(int major, int minor, int revision);

private:
    void Load() const;

    mutable bool loaded_ = false;
    mutable bool title_set_ = false;
    mutable std::string title_, exe_name_, path_;
    mutable int major_ = 0, minor_ = 0, revision_ = 0;
};

// The one application object of the process.
Application& App();

} // namespace tamberlin::runtime
