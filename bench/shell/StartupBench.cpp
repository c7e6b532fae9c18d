// Start-up of the game against a bare WebKitGTK window on the same page
// (the demo game's), both started by exec and watched from outside:
//   exec -> map      the window's MapNotify on the X server
//   exec -> content  the first time the window's pixels show the page's
//                    content (not one flat colour: neither black, nor the
//                    toolkit's grey, nor the page's bare background)
//   exec -> load     the page's `load` event, reported to a loopback
//                    listener of this program
//   empty ms         how long the mapped window showed a flat frame before
//                    the content (0 when the content came with the window)
//   RSS              the UI process's resident memory 5 s after the load
// Each pair runs the bare program, then ours, twice: cold (an empty home or
// data folder, as at a first launch) and warm (the folder of the earlier
// runs, as at a later launch; RSS is measured then). The bare program's
// page sends one script message, as the game's page does; memory is also
// compared with a third launch, warm, of the bare program whose page sends
// none (the first message starts a script engine in the UI process).
// Every pair, the medians and the medians of the pairs' ratios are printed.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" bench_startup [pairs, default 21]
// KORVEL_BENCH_GAME names another game executable to start (an older build);
// KORVEL_BENCH_SHOTS names a folder for PNGs of the first frame each side
// showed and of its first content, in the first pair.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <arpa/inet.h>
#include <png.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "../common/BenchReport.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

constexpr auto kSettle = std::chrono::seconds(5);
constexpr int kPollMs = 2;

struct Run {
    double mapMs = 0, contentMs = 0, loadMs = 0, emptyMs = 0, rssMiB = 0;
    std::set<unsigned long> flatColours;  // of the frames seen before the content
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

// Writes the image as a PNG (RGB), for looking at the frames.
void writePNG(XImage* image, const std::string& path) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, unsigned(image->width), unsigned(image->height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<unsigned char> row(size_t(image->width) * 3);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            unsigned long v = XGetPixel(image, x, y);
            row[size_t(x) * 3] = (v >> 16) & 0xFF;
            row[size_t(x) * 3 + 1] = (v >> 8) & 0xFF;
            row[size_t(x) * 3 + 2] = v & 0xFF;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    fclose(f);
}

// Where to keep the frames of the run being measured (empty: nowhere).
std::string gShotPrefix;

// A window that went away between its map and a grab is not an error here.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// Whether the window shows more than one flat colour: at least 1% of a
// grid of samples differs from the first sample, which is `flat`'s colour.
std::optional<bool> showsContent(Display* x, Window w, unsigned long& flat) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(x, w, &attributes) || attributes.map_state != IsViewable) return std::nullopt;
    XImage* image = XGetImage(x, w, 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes, ZPixmap);
    if (!image) return std::nullopt;
    unsigned long first = XGetPixel(image, 0, 0);
    flat = first & 0xFFFFFF;
    static std::string shotTaken;  // the prefix whose first frame is written
    int samples = 0, differing = 0;
    for (int y = 0; y < image->height; y += 3) {
        for (int x0 = 0; x0 < image->width; x0 += 3) {
            ++samples;
            if (XGetPixel(image, x0, y) != first) ++differing;
        }
    }
    bool content = differing * 100 >= samples;
    if (!gShotPrefix.empty()) {
        if (shotTaken != gShotPrefix) {
            shotTaken = gShotPrefix;
            writePNG(image, gShotPrefix + "-first.png");
        }
        if (content) writePNG(image, gShotPrefix + "-content.png");
    }
    XDestroyImage(image);
    return content;
}

// Starts `argv`, watches its first top-level window until it shows content
// and its page reports its load, then (when asked) lets its memory settle;
// ends it.
std::optional<Run> measure(Display* x, Listener& listener, std::vector<std::string> argv, bool settle) {
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, True);  // forget earlier windows' events
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    // The programs' own output would bury the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, STDOUT_FILENO, STDERR_FILENO);
    auto start = Clock::now();
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return std::nullopt;
    std::optional<Clock::time_point> mapped, content, loaded, lastEmpty;
    std::set<unsigned long> flatColours;
    Window window = 0;
    pollfd fds[2] = {{ConnectionNumber(x), POLLIN, 0}, {listener.fd, POLLIN, 0}};
    while ((!content || !loaded) && Clock::now() - start < std::chrono::seconds(60)) {
        ::poll(fds, 2, mapped && !content ? kPollMs : 100);
        while (XPending(x)) {
            XEvent e;
            XNextEvent(x, &e);
            if (e.type == MapNotify && !e.xmap.override_redirect && !mapped) {
                mapped = Clock::now();
                window = e.xmap.window;
            }
        }
        if ((fds[1].revents & POLLIN) && listener.take() && !loaded) loaded = Clock::now();
        if (mapped && !content) {
            unsigned long colour = 0;
            auto shows = showsContent(x, window, colour);
            if (shows && *shows) {
                content = Clock::now();
            } else if (shows) {
                lastEmpty = Clock::now();
                flatColours.insert(colour);
            }
        }
    }
    std::optional<Run> run;
    if (mapped && content && loaded) {
        run = Run{ms(*mapped - start), ms(*content - start), ms(*loaded - start),
                  lastEmpty ? ms(*content - *mapped) : 0.0, 0, flatColours};
        if (settle) {
            ::poll(nullptr, 0, int(std::chrono::duration_cast<std::chrono::milliseconds>(kSettle).count()));
            run->rssMiB = residentMiB(pid);
        }
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The figures of one kind of launch (cold or warm) over every pair.
struct Table {
    std::vector<double> side[2][5];  // bare, ours × map, content, load, empty, rss
    std::vector<double> ratio[5];
    std::vector<double> silentRss, silentRatio;  // the bare program whose page posts nothing
    std::map<unsigned long, int> flat[2];  // colours of flat frames → runs that showed one
    void add(const Run& b, const Run& o) {
        const Run* runs[2] = {&b, &o};
        for (int k = 0; k < 2; ++k)
            for (auto c : runs[k]->flatColours) ++flat[k][c];
        for (int k = 0; k < 2; ++k) {
            double v[5] = {runs[k]->mapMs, runs[k]->contentMs, runs[k]->loadMs, runs[k]->emptyMs, runs[k]->rssMiB};
            for (int m = 0; m < 5; ++m) side[k][m].push_back(v[m]);
        }
        double r[5] = {o.mapMs / b.mapMs, o.contentMs / b.contentMs, o.loadMs / b.loadMs, 0,
                       b.rssMiB > 0 ? o.rssMiB / b.rssMiB : 0};
        for (int m = 0; m < 5; ++m) ratio[m].push_back(r[m]);
    }
    void addSilent(const Run& s, const Run& o) {
        silentRss.push_back(s.rssMiB);
        silentRatio.push_back(s.rssMiB > 0 ? o.rssMiB / s.rssMiB : 0);
    }
};

void printRow(const char* label, const Run& b, const Run& o, const Run* silent) {
    printf("%-7s %6.0f %6.0f %5.2f   %6.0f %6.0f %5.2f   %6.0f %6.0f %5.2f   %5.0f %5.0f", label, b.mapMs, o.mapMs,
           o.mapMs / b.mapMs, b.contentMs, o.contentMs, o.contentMs / b.contentMs, b.loadMs, o.loadMs,
           o.loadMs / b.loadMs, b.emptyMs, o.emptyMs);
    if (silent)
        printf("   %6.1f %6.1f %5.2f   %6.1f %5.2f", b.rssMiB, o.rssMiB, o.rssMiB / b.rssMiB, silent->rssMiB,
               o.rssMiB / silent->rssMiB);
    printf("\n");
    fflush(stdout);
}

void printMedians(const char* label, const Table& t, bool rss) {
    auto m = [&](int k, int i) { return median(t.side[k][i]); };
    printf("%-7s %6.0f %6.0f %5.2f   %6.0f %6.0f %5.2f   %6.0f %6.0f %5.2f   %5.0f %5.0f", label, m(0, 0), m(1, 0),
           median(t.ratio[0]), m(0, 1), m(1, 1), median(t.ratio[1]), m(0, 2), m(1, 2), median(t.ratio[2]), m(0, 3),
           m(1, 3));
    if (rss)
        printf("   %6.1f %6.1f %5.2f   %6.1f %5.2f", m(0, 4), m(1, 4), median(t.ratio[4]), median(t.silentRss),
               median(t.silentRatio));
    printf("\n");
    const char* names[2] = {"bare", "ours"};
    for (int k = 0; k < 2; ++k) {
        printf("        flat frames before the content, %s:", names[k]);
        if (t.flat[k].empty()) printf(" none");
        for (auto& [colour, runs] : t.flat[k]) printf(" #%06lx in %d runs", colour, runs);
        printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        fprintf(stderr, "needs a display (run under xvfb-run)\n");
        return 1;
    }
    XSetErrorHandler(ignoreXErrors);
    int pairs = argc > 1 ? std::max(1, atoi(argv[1])) : 21;
    bench::printCommandAndLoad(argc, argv);
    Listener listener;
    fs::path root = fs::temp_directory_path() / ("korvel-startbench-" + std::to_string(getpid()));
    fs::path bundle = root / "Game.app";
    fs::create_directories(root);
    fs::copy(fs::path(KORVEL_SOURCE_DIR) / "examples/DemoGame.app", bundle, fs::copy_options::recursive);
    {
        std::ofstream page(bundle / "Data/index.html", std::ios::app);
        // The load report; and in the bare program one message to native
        // code, as the game's page sends through its bridge at start.
        page << "<script>addEventListener('load', function() { fetch('http://127.0.0.1:" << listener.port
             << "/loaded', {mode: 'no-cors'});"
                " var h = window.webkit && window.webkit.messageHandlers;"
                " if (h && h.bare) h.bare.postMessage('loaded'); });</script>\n";
    }
    std::string game = std::string(KORVEL_BINARY_DIR) + "/app/korvel-game";
    if (const char* other = getenv("KORVEL_BENCH_GAME")) game = other;  // another build of the game
    std::string bare = (fs::path(argv[0]).parent_path() / "bench_bare_page").string();

    fs::path bareData = root / "bare", home = root / "home", silentData = root / "bare-silent";
    std::vector<std::string> bareRun = {bare, (bundle / "Data/index.html").string(), bareData.string()};
    std::vector<std::string> silentRun = {bare, "--silent", (bundle / "Data/index.html").string(), silentData.string()};
    std::vector<std::string> ourRun = {game, "--bundle", bundle.string(), "--home", home.string()};
    auto fresh = [&] {
        fs::remove_all(bareData);
        fs::remove_all(home);
    };
    // One unmeasured launch of each warms the system's file cache.
    // (The silent program's folder is kept across pairs: its runs are warm.)
    if (!measure(x, listener, bareRun, false) || !measure(x, listener, ourRun, false) ||
        !measure(x, listener, silentRun, false)) {
        fprintf(stderr, "a program did not show its page or load it\n");
        return 1;
    }
    Table cold, warm;
    printf("%d pairs; ms from exec (bare ours ratio); empty: ms a flat frame showed before the content\n", pairs);
    printf("%-7s %-20s   %-20s   %-20s   %-11s   %-20s   %s\n", "pair", "exec->map", "exec->content", "exec->load",
           "empty ms", "RSS MiB 5 s after load", "silent bare, ours/it");
    const char* shots = getenv("KORVEL_BENCH_SHOTS");
    auto shotsOf = [&](int pair, const char* run) {
        gShotPrefix = shots && pair == 0 ? std::string(shots) + "/" + run : std::string();
    };
    for (int i = 0; i < pairs; ++i) {
        fresh();
        shotsOf(i, "bare-cold");
        auto bc = measure(x, listener, bareRun, false);
        shotsOf(i, "ours-cold");
        auto oc = measure(x, listener, ourRun, false);
        shotsOf(i, "bare-warm");
        auto bw = measure(x, listener, bareRun, true);
        shotsOf(i, "ours-warm");
        auto ow = measure(x, listener, ourRun, true);
        shotsOf(-1, "");
        auto sw = measure(x, listener, silentRun, true);
        if (!bc || !oc || !bw || !ow || !sw) {
            fprintf(stderr, "pair %d: a program did not show its page or load it\n", i + 1);
            continue;
        }
        char label[16];
        snprintf(label, sizeof label, "%d cold", i + 1);
        printRow(label, *bc, *oc, nullptr);
        snprintf(label, sizeof label, "%d warm", i + 1);
        printRow(label, *bw, *ow, &*sw);
        cold.add(*bc, *oc);
        warm.add(*bw, *ow);
        warm.addSilent(*sw, *ow);
    }
    printf("medians (ratios: medians of the pairs' ratios)\n");
    printMedians("cold", cold, false);
    printMedians("warm", warm, true);
    printf("targets: exec->content <= 1.0 cold and warm with no empty frame, exec->load <= 1.0, RSS <= 1.05\n"
           "(RSS against the bare program whose page posts one message, as ours does; beside it, against the one\n"
           "whose page posts none)\n");
    bench::printLoadAtEnd();
    fs::remove_all(root);
    XCloseDisplay(x);
    return 0;
}
