// From process start to the first window being mapped on the X server, for
// `tamberlin-demo raise` (the Application Error dialog through the GTK host)
// and for a GTK program that shows one message dialog, interleaved; and the
// CPU time and peak resident size of `tamberlin-demo info` in terminal mode,
// which must not pay for the GUI, beside a program that links only SQLite and
// fontconfig. Medians, printed as a table; run on an X server:
//
//   sh tests/xvfb.sh build/linux/bench/bench_gtk_startup build/linux/tamberlin-demo
//       build/linux/bench/bench_gtk_floor build/linux/bench/bench_info_floor [RUNS]
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

// CPU time (ms) and peak resident size (KiB) of one run to its end.
struct Usage {
    double cpu_ms, peak_kib;
};
Usage RunToEnd(const std::vector<std::string>& command) {
    const pid_t pid = Start(command);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return {ms(usage.ru_utime) + ms(usage.ru_stime), static_cast<double>(usage.ru_maxrss)};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s TAMBERLIN-DEMO GTK-FLOOR INFO-FLOOR [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 4 ? std::atoi(argv[4]) : 11;
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
    // A run of a few milliseconds: many runs, interleaved, for the median.
    setenv("TAMBERLIN_UI", "terminal", 1);
    std::vector<double> info_cpu, info_rss, floor_cpu, floor_rss;
    for (int i = 0; i < 10 * runs; ++i) {
        const Usage info = RunToEnd({argv[1], "info"}), bare = RunToEnd({argv[3]});
        info_cpu.push_back(info.cpu_ms);
        info_rss.push_back(info.peak_kib);
        floor_cpu.push_back(bare.cpu_ms);
        floor_rss.push_back(bare.peak_kib);
    }
    XCloseDisplay(display);
    (void)!std::system((std::string("rm -rf ") + folder).c_str());

    const double a = Median(ours), b = Median(theirs);
    const auto goal = [](bool met) { return met ? "met" : "NOT MET"; };
    std::printf("%-44s %10s %10s %7s  %s\n", "measure", "ours", "floor", "ratio", "goal");
    std::printf("%-44s %8.1fms %8.1fms %6.2fx\n", "start to dialog mapped (median)", a, b,
                b > 0 ? a / b : 0);
    const double cpu = Median(info_cpu), cpu_floor = Median(floor_cpu);
    const double rss = Median(info_rss), rss_floor = Median(floor_rss);
    const double cpu_ratio = cpu_floor > 0 ? cpu / cpu_floor : 0;
    std::printf("%-44s %8.2fms %8.2fms %6.2fx  <= 1.20x %s\n",
                "tamberlin-demo info, terminal: CPU time", cpu, cpu_floor, cpu_ratio,
                goal(cpu_ratio <= 1.2));
    std::printf("%-44s %7.0fKiB %7.0fKiB %6.2fx  <= 6144KiB %s\n",
                "tamberlin-demo info, terminal: peak RSS", rss, rss_floor, rss / rss_floor,
                goal(rss <= 6144));
    return a > 0 && b > 0 ? 0 : 1;
}
