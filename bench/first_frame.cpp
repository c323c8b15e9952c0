// Times a program's start as a player sees it, from outside the program: the
// moment of exec, the first top-level window mapped ("shown"), and the first
// moment one of its windows holds more than a single colour ("first frame").
// Then lets it run a little longer, reads its peak resident memory (VmHWM)
// and ends it with SIGTERM.
//
//   first_frame [--hold MS] [--timeout MS] -- program args...
//
// Prints one line: "shown_ms first_frame_ms peak_rss_kib" (-1 for what was
// not seen in time). Works for any X client: it reads the server's pixels,
// not the program's. Run by bench/startup.sh on an Xvfb of its own.
//
// A window's pixels are read when the server reports drawing in it (the
// DAMAGE extension), and once when it is mapped, for drawing done before the
// watch began. Reading a full-screen window takes the server and the watcher
// milliseconds each time; reading it every few milliseconds, as the watcher
// does where the server lacks the extension, takes a core from the program
// being timed, and the more so the larger its window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MillisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Windows smaller than this are helpers (input-method, clipboard owners), not the game's.
constexpr int kMinSide = 64;

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

// True when the window is viewable and its pixels are not all one colour.
bool ShowsPicture(Display* display, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) return false;
    if (attributes.width < kMinSide || attributes.height < kMinSide) return false;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return false;
    bool varied = false;
    const unsigned long first = XGetPixel(image, 0, 0);
    // Rows as words where the layout allows it: the check runs every few milliseconds.
    if (image->bits_per_pixel == 32) {
        for (int y = 0; y < image->height && !varied; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(image->data + static_cast<size_t>(y) * image->bytes_per_line);
            for (int x = 0; x < image->width; ++x)
                if ((row[x] & 0xFFFFFF) != (first & 0xFFFFFF)) {
                    varied = true;
                    break;
                }
        }
    } else {
        for (int y = 0; y < image->height && !varied; y += 2)
            for (int x = 0; x < image->width; x += 2)
                if (XGetPixel(image, x, y) != first) {
                    varied = true;
                    break;
                }
    }
    XDestroyImage(image);
    return varied;
}

long PeakRssKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    int hold = 1500;
    int timeout = 20000;
    int at = 1;
    for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        if (std::strcmp(argv[at], "--hold") == 0 && at + 1 < argc) hold = std::atoi(argv[++at]);
        else if (std::strcmp(argv[at], "--timeout") == 0 && at + 1 < argc) timeout = std::atoi(argv[++at]);
    }
    if (at + 1 >= argc) {
        std::fprintf(stderr, "usage: first_frame [--hold MS] [--timeout MS] -- program args...\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "first_frame: no X display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreXErrors);
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    int damageEvent = 0;
    int damageError = 0;
    const bool damage = XDamageQueryExtension(display, &damageEvent, &damageError);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[at + 1], argv + at + 1);
        _exit(127);
    }

    double shown = -1;
    double drawn = -1;
    std::vector<Window> windows;
    const auto check = [&](Window window) {
        if (drawn < 0 && ShowsPicture(display, window)) drawn = MillisSince(start);
    };
    while (drawn < 0 && MillisSince(start) < timeout) {
        while (drawn < 0 && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (damage && event.type == damageEvent + XDamageNotify) {
                const auto& notice = reinterpret_cast<const XDamageNotifyEvent&>(event);
                // Re-armed before the read: drawing during it reports again.
                XDamageSubtract(display, notice.damage, None, None);
                check(notice.drawable);
                continue;
            }
            if (event.type != MapNotify || event.xmap.event != root) continue;
            if (shown < 0) shown = MillisSince(start);
            windows.push_back(event.xmap.window);
            if (damage) {
                XDamageCreate(display, event.xmap.window, XDamageReportNonEmpty);
                check(event.xmap.window);
            }
        }
        if (!damage)
            for (const Window window : windows) check(window);
        if (drawn >= 0 || waitpid(child, nullptr, WNOHANG) == child) break;
        // Woken by the server's next event, or after 2 ms to look at the child.
        XFlush(display);
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, 2);
    }
    long peak = -1;
    if (drawn >= 0) {
        const timespec rest{hold / 1000, (hold % 1000) * 1'000'000L};
        nanosleep(&rest, nullptr);
        peak = PeakRssKib(child);
    }
    kill(child, SIGTERM);
    for (int i = 0; i < 300 && waitpid(child, nullptr, WNOHANG) == 0; ++i) usleep(10'000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    std::printf("%.0f %.0f %ld\n", shown, drawn, peak);
    return drawn >= 0 ? 0 : 1;
}
