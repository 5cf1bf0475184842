// From process start to the first window being mapped on the X server, for
// `tamberlin-demo raise` (the Application Error dialog through the GTK host)
// and for a GTK program that shows one message dialog, interleaved; and the
// peak resident size of `tamberlin-demo info` in terminal mode, which must not
// pay for the GUI. Medians, printed as a table; run on an X server:
//
//   sh tests/xvfb.sh build/linux/bench/bench_gtk_startup
//       build/linux/tamberlin-demo build/linux/bench/bench_gtk_floor [RUNS]
#include <X11/Xlib.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

pid_t Start(const std::vector<std::string>& command) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : command)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Milliseconds until the program maps a top-level window; negative if it
// ended first.
double MillisecondsToMapped(Display* display, const std::vector<std::string>& command) {
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, True);
    const Clock::time_point start = Clock::now();
    const pid_t pid = Start(command);
    double result = -1;
    while (true) {
        while (XPending(display) == 0) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return result;
            usleep(200);
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.event == root && !event.xmap.override_redirect) {
            result = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    XSelectInput(display, root, NoEventMask);
    XSync(display, True);
    return result;
}

long PeakKilobytes(const std::vector<std::string>& command) {
    const pid_t pid = Start(command);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TAMBERLIN-DEMO GTK-FLOOR [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 11;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: no X display\n", argv[0]);
        return 2;
    }
    // The demo's error log and settings go to a folder of their own.
    char folder[] = "/tmp/tamberlin-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 2;
    setenv("XDG_DATA_HOME", folder, 1);
    setenv("XDG_CONFIG_HOME", folder, 1);
    const std::vector<std::string> dialog = {argv[1], "raise", "--number",
                                             "5",     "--op",  "measuring"};
    const std::vector<std::string> floor = {argv[2]};
    std::vector<double> ours, theirs;
    for (int i = 0; i < runs; ++i) {
        setenv("TAMBERLIN_UI", "gui", 1);
        ours.push_back(MillisecondsToMapped(display, dialog));
        theirs.push_back(MillisecondsToMapped(display, floor));
    }
    setenv("TAMBERLIN_UI", "terminal", 1);
    std::vector<double> rss;
    for (int i = 0; i < runs; ++i)
        rss.push_back(static_cast<double>(PeakKilobytes({argv[1], "info"})));
    XCloseDisplay(display);
    (void)!std::system((std::string("rm -rf ") + folder).c_str());

    const double a = Median(ours), b = Median(theirs);
    std::printf("%-44s %10s %10s %7s\n", "measure", "ours", "floor", "ratio");
    std::printf("%-44s %8.1fms %8.1fms %6.2fx\n", "start to dialog mapped (median)", a, b,
                b > 0 ? a / b : 0);
    std::printf("%-44s %8.0fKiB\n", "tamberlin-demo info, terminal: peak RSS", Median(rss));
    return a > 0 && b > 0 ? 0 : 1;
}
