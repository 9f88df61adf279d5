// Start-up as a desktop sees it, measured from outside on the X server named by
// DISPLAY: from the exec of a program to the map of its first top-level window,
// and its resident memory a second after that. The floor (a minimal Qt window
// with a menu bar, a toolbar and a table, at the program's window size) and the
// program take turns, so that neither always finds the caches warmed by the other.
//   quorvid_xstartup FLOOR PROGRAM [ROUNDS]
// Prints two Markdown table rows: start-up and idle memory against the floor.
#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
struct Start
{
    double ms = -1; // exec to map; -1: no window within the time allowed
    long kib = 0;   // resident memory one second after the map
    int width = 0;  // of the mapped window
    int height = 0;
};

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

Start startOnce(Display *display, const char *program)
{
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, True); // nothing seen before the start counts
    Start start;
    const auto begin = std::chrono::steady_clock::now();
    pid_t pid = 0;
    char *const argv[] = {const_cast<char *>(program), nullptr};
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return start;
    const auto limit = begin + std::chrono::seconds(30);
    bool mapped = false;
    Window window = 0;
    while (!mapped && std::chrono::steady_clock::now() < limit) {
        while (!mapped && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            mapped = event.type == MapNotify && event.xmap.event == root && !event.xmap.override_redirect;
            window = event.xmap.window;
        }
        if (mapped)
            break;
        pollfd wait{ConnectionNumber(display), POLLIN, 0};
        poll(&wait, 1, 100);
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return start; // ended without a window
    }
    if (mapped) {
        start.ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, window, &attributes)) {
            start.width = attributes.width;
            start.height = attributes.height;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        start.kib = residentKiB(pid);
    }
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    XSelectInput(display, root, NoEventMask);
    XSync(display, True);
    return start;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FLOOR PROGRAM [ROUNDS]\n", argv[0]);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X server (DISPLAY)\n");
        return 2;
    }
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 11;
    // The floor stays open when told so, as the program does, until it is ended.
    setenv("BENCH_STAY", "1", 1);
    std::vector<double> floorMs, ownMs, ratios, floorKiB, ownKiB;
    for (int round = 0; round <= rounds; ++round) {
        Start floor, own;
        // The floor's window takes the size of the program's (the first round
        // starts the program first): without a window manager to maximize them,
        // windows of different sizes would compare their pictures' memory.
        const auto floorStart = [&] { return startOnce(display, argv[1]); };
        const auto ownStart = [&] {
            const Start start = startOnce(display, argv[2]);
            if (start.width > 0)
                setenv("BENCH_WINDOW_SIZE",
                       (std::to_string(start.width) + 'x' + std::to_string(start.height)).c_str(), 1);
            return start;
        };
        if (round % 2) {
            floor = floorStart();
            own = ownStart();
        } else {
            own = ownStart();
            floor = floorStart();
        }
        if (floor.ms < 0 || own.ms < 0) {
            std::fprintf(stderr, "no window from %s\n", floor.ms < 0 ? argv[1] : argv[2]);
            return 1;
        }
        std::fprintf(stderr, "round %d: floor %.1f ms %ld KiB, program %.1f ms %ld KiB\n", round, floor.ms,
                     floor.kib, own.ms, own.kib);
        if (round == 0)
            continue; // the first pair warms the file cache
        floorMs.push_back(floor.ms);
        ownMs.push_back(own.ms);
        ratios.push_back(own.ms / floor.ms);
        floorKiB.push_back(double(floor.kib));
        ownKiB.push_back(double(own.kib));
    }
    XCloseDisplay(display);
    const double timeRatio = median(ratios);
    const double memRatio = median(ownKiB) / median(floorKiB);
    std::printf("| Start-up on X, exec to mapped window (floor %.1f ms) | %.1f ms, %.2fx | ≤ 1.10x | %s |\n",
                median(floorMs), median(ownMs), timeRatio, timeRatio <= 1.10 ? "yes" : "**no**");
    std::printf("| Idle memory on X (floor %.1f MB) | %.1f MB, %.2fx | ≤ 1.10x | %s |\n",
                median(floorKiB) / 1024, median(ownKiB) / 1024, memRatio,
                memRatio <= 1.10 ? "yes" : "**no**");
    return timeRatio <= 1.10 && memRatio <= 1.10 ? 0 : 1;
}
