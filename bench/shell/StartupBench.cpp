// Start-up of the game against a bare WebKitGTK window on the same page
// (the demo game's): from exec to the window's mapping, from exec to the
// page's `load` event, and the UI process's resident memory 5 s after the
// load. The programs start in turns, bare then ours, for several pairs,
// each as on a later launch: its home (or data folder) made by a first,
// unmeasured run. Every pair and the medians are printed.
//
// The page reports its load to a loopback listener of this program; the
// mapping is seen on the X server as the window's MapNotify.

#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

constexpr int kPairs = 11;
constexpr auto kSettle = std::chrono::seconds(5);

struct Run {
    double mapMs = 0, loadMs = 0, rssMiB = 0;
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return 0;
}

// A loopback listener the page's load report reaches.
struct Listener {
    int fd = -1, port = 0;
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 16);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    // Takes one connection and answers it; true when it was a load report.
    bool take() {
        int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return false;
        char buffer[1024] = {};
        ssize_t n = ::recv(c, buffer, sizeof buffer - 1, 0);
        const char reply[] = "HTTP/1.1 204 No Content\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n";
        ::send(c, reply, sizeof reply - 1, MSG_NOSIGNAL);
        ::close(c);
        return n > 0 && std::string(buffer, size_t(n)).find("GET /loaded") != std::string::npos;
    }
};

// Starts `argv`, waits for its first top-level window to map and its page
// to report its load, then for its memory to settle; ends it.
std::optional<Run> measure(Display* x, Listener& listener, std::vector<std::string> argv) {
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, True);  // forget earlier windows' events
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    auto start = Clock::now();
    pid_t pid = 0;
    // The programs' own output would bury the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, STDOUT_FILENO, STDERR_FILENO);
    int spawned = posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return std::nullopt;
    std::optional<Clock::time_point> mapped, loaded;
    pollfd fds[2] = {{ConnectionNumber(x), POLLIN, 0}, {listener.fd, POLLIN, 0}};
    while ((!mapped || !loaded) && Clock::now() - start < std::chrono::seconds(60)) {
        ::poll(fds, 2, 100);
        while (XPending(x)) {
            XEvent e;
            XNextEvent(x, &e);
            if (e.type == MapNotify && !e.xmap.override_redirect && !mapped) mapped = Clock::now();
        }
        if ((fds[1].revents & POLLIN) && listener.take() && !loaded) loaded = Clock::now();
    }
    std::optional<Run> run;
    if (mapped && loaded) {
        ::poll(nullptr, 0, int(std::chrono::duration_cast<std::chrono::milliseconds>(kSettle).count()));
        run = Run{ms(*mapped - start), ms(*loaded - start), residentMiB(pid)};
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int, char** argv) {
    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        fprintf(stderr, "needs a display (run under xvfb-run)\n");
        return 1;
    }
    Listener listener;
    fs::path root = fs::temp_directory_path() / ("korvel-startbench-" + std::to_string(getpid()));
    fs::path bundle = root / "Game.app";
    fs::create_directories(root);
    fs::copy(fs::path(KORVEL_SOURCE_DIR) / "examples/DemoGame.app", bundle, fs::copy_options::recursive);
    {
        std::ofstream page(bundle / "Data/index.html", std::ios::app);
        page << "<script>addEventListener('load', function() { fetch('http://127.0.0.1:" << listener.port
             << "/loaded', {mode: 'no-cors'}); });</script>\n";
    }
    std::string game = std::string(KORVEL_BINARY_DIR) + "/app/korvel-game";
    std::string bare = (fs::path(argv[0]).parent_path() / "bench_bare_page").string();

    fs::path bareData = root / "bare", home = root / "home";
    std::vector<std::string> bareRun = {bare, (bundle / "Data/index.html").string(), bareData.string()};
    std::vector<std::string> ourRun = {game, "--bundle", bundle.string(), "--home", home.string()};
    if (!measure(x, listener, bareRun) || !measure(x, listener, ourRun)) {
        fprintf(stderr, "a program did not map its window or load its page\n");
        return 1;
    }
    std::vector<double> map[2], load[2], rss[2], mapRatio, loadRatio, rssRatio;
    printf("pair   exec->map ms (bare ours ratio)   exec->load ms (bare ours ratio)   RSS MiB 5 s after load (bare ours ratio)\n");
    for (int i = 0; i < kPairs; ++i) {
        auto b = measure(x, listener, bareRun);
        auto o = measure(x, listener, ourRun);
        if (!b || !o) {
            fprintf(stderr, "pair %d: a program did not map its window or load its page\n", i + 1);
            continue;
        }
        const Run* runs[2] = {&*b, &*o};
        for (int k = 0; k < 2; ++k) {
            map[k].push_back(runs[k]->mapMs);
            load[k].push_back(runs[k]->loadMs);
            rss[k].push_back(runs[k]->rssMiB);
        }
        mapRatio.push_back(o->mapMs / b->mapMs);
        loadRatio.push_back(o->loadMs / b->loadMs);
        rssRatio.push_back(o->rssMiB / b->rssMiB);
        printf("%4d   %7.0f %7.0f %5.2f            %7.0f %7.0f %5.2f            %6.1f %6.1f %5.2f\n", i + 1, b->mapMs,
               o->mapMs, mapRatio.back(), b->loadMs, o->loadMs, loadRatio.back(), b->rssMiB, o->rssMiB, rssRatio.back());
        fflush(stdout);
    }
    printf("median %7.0f %7.0f %5.2f            %7.0f %7.0f %5.2f            %6.1f %6.1f %5.2f\n", median(map[0]),
           median(map[1]), median(mapRatio), median(load[0]), median(load[1]), median(loadRatio), median(rss[0]),
           median(rss[1]), median(rssRatio));
    printf("targets: exec->map <= 1.05, exec->load <= 1.05, RSS <= 1.10 (medians of the pairs' ratios)\n");
    fs::remove_all(root);
    XCloseDisplay(x);
    return 0;
}
