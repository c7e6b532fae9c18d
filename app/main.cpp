// The game client: runs a bundle folder's game page in a window of a
// phone's size. `korvel-game --help` tells its options.

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Classes/ViewController/AppDelegate.h"
#include "Classes/ViewController/MainViewController.h"
#include "Classes/ViewController/PageBackground.h"
#include "aggregator/AggregatorLoadHooks.h"
#include "aggregator/zorvia/ZorviaSDKForwarder.h"
#include "logging/VLLog.h"
#include "platform/device/Camera.h"
#include "platform/device/MemoryPressure.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/GtkHost.h"
#include "platform/ui/UIApplication.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/KorvelBundle/KorvelBundle.h"
#include "usercenter/screens/shell/ZVScreenRegistry.h"

#ifndef KORVEL_DEMO_BUNDLE
#define KORVEL_DEMO_BUNDLE "examples/DemoGame.app"
#endif

namespace {

struct Options {
    std::filesystem::path bundle = KORVEL_DEMO_BUNDLE;
    std::optional<std::filesystem::path> home;
    std::optional<std::string> screenshot;
    std::optional<double> exitAfter;
};

void usage(std::ostream& out) {
    out << "usage: korvel-game [--bundle PATH] [--home PATH] [--screenshot FILE.png --exit-after SECONDS]\n"
           "                   [GTK OPTION]...\n"
           "Runs a game's bundle: its page in a window of a phone's size.\n"
           "\n"
           "  --bundle PATH          the game's bundle folder, holding Info.plist and Data/\n"
           "                         (default: the demo game, " KORVEL_DEMO_BUNDLE ")\n"
           "  --home PATH            the game's home: user defaults, keychain, caches, log files\n"
           "                         (Library/Caches/Logs); default: $KORVEL_HOME, else\n"
           "                         $XDG_DATA_HOME/<the bundle's identifier>\n"
           "  --exit-after SECONDS   quit after that many seconds\n"
           "  --screenshot FILE.png  with --exit-after, write a picture of the page first\n"
           "  -h, --help             print this help and exit\n"
           "GTK's own options are taken too (such as --display=DISPLAY or --class=CLASS).\n"
           "GDK_SCALE=2 draws the window at twice the pixels; KORVEL_CAMERA_IMAGE names a\n"
           "picture the camera shows in place of a capture device.\n";
}

// What is wrong with the command line, said before the usage.
std::nullopt_t refuse(const std::string& what) {
    std::cerr << "korvel-game: " << what << "\n";
    return std::nullopt;
}

// Takes our options out of argv, then GTK's; anything left is refused.
std::optional<Options> parse(int& argc, char** argv) {
    Options o;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(std::cout);
            std::exit(0);
        }
        bool ours = a == "--bundle" || a == "--home" || a == "--screenshot" || a == "--exit-after";
        if (!ours) {
            rest.push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc) return refuse(a + " needs a value");
        std::string v = argv[++i];
        if (a == "--bundle") {
            o.bundle = v;
        } else if (a == "--home") {
            o.home = v;
        } else if (a == "--screenshot") {
            o.screenshot = v;
        } else {
            char* end = nullptr;
            double seconds = std::strtod(v.c_str(), &end);
            if (v.empty() || !end || *end || !(seconds >= 0))
                return refuse("--exit-after takes a number of seconds, not \"" + v + "\"");
            o.exitAfter = seconds;
        }
    }
    if (o.screenshot && !o.exitAfter) return refuse("--screenshot needs --exit-after (the picture is taken as the run ends)");
    int restCount = int(rest.size());
    rest.push_back(nullptr);
    char** restArgs = rest.data();
    GtkHost::takeToolkitOptions(&restCount, &restArgs);
    if (restCount > 1) {
        std::string first = restArgs[1];
        return refuse(strings::hasPrefix(first, "-") ? "unknown option " + first : "unexpected argument " + first);
    }
    argc = restCount;
    for (int i = 0; i < argc; ++i) argv[i] = restArgs[i];
    argv[argc] = nullptr;
    return o;
}

// The bundle the game runs: a folder whose Info.plist gives the game its
// settings and start page (without them the page would be blank). Says
// what is wrong, naming the path as given.
bool bundleUsable(const std::filesystem::path& bundle) {
    std::error_code ec;
    if (!std::filesystem::is_directory(bundle, ec)) {
        std::cerr << "korvel-game: no bundle folder at " << bundle.string() << "\n";
        return false;
    }
    if (auto problem = NSBundle::infoPlistProblem(bundle)) {
        std::cerr << "korvel-game: " << *problem << "; the game's settings and start page come from it\n";
        return false;
    }
    return true;
}

// The window's warnings (GDK_SCALE too large for the screen) reach the log
// files as well as the platform log: a warning line of the game's log, and
// standard error where that line goes to the journal instead.
void logWindowWarningsToTheGamesLog() {
    GtkHost::setWarningLog([](const std::string& warning) {
        if (VLLog::allLoggers().empty()) {
            NSLog("%s", warning.c_str());
            return;
        }
        VLLogWarn("%s", warning.c_str());
        if (PlatformLog::systemSink() != PlatformLog::Sink::None) PlatformLog::writeToStderr(warning);
    });
}

// KORVEL_CAMERA_IMAGE names a picture the camera shows, repeated, in place
// of a capture device (machines without a camera; the demo).
void useCameraPictureFromEnvironment() {
    const char* path = std::getenv("KORVEL_CAMERA_IMAGE");
    if (!path || !*path) return;
    if (auto picture = UIImage::imageWithContentsOfFile(path)) Camera::setTestImage(picture);
    else std::cerr << "KORVEL_CAMERA_IMAGE: no picture at " << path << "\n";
}

int gExitStatus = 0;

void quit(int status) {
    gExitStatus = status;
    UIApplication::sharedApplication().willTerminate();
    RunLoop::quit();
}

}  // namespace

int main(int argc, char** argv) {
    // What the program writes is the user's alone. Our own code sets its
    // modes itself; this covers what the engine and the toolkit write into
    // the home (the engine's processes inherit it).
    ::umask(077);
    auto options = parse(argc, argv);
    if (!options) {
        usage(std::cerr);
        return 2;
    }
    if (!bundleUsable(options->bundle)) return 2;
    NSBundle::setMainBundlePath(std::filesystem::absolute(options->bundle));
    if (options->home) AppHome::setRoot(std::filesystem::absolute(*options->home));
    // Before the application delegate runs, once the bundle and the home
    // are known: the aggregator's start-up hooks, and its channel's road to
    // the user-centre SDK.
    runAggregatorLoadHooks();
    installZorviaSDKForwarder();
    ZVLinkUserCentreScreens();
    // The platform's memory warnings come from the kernel's pressure reports.
    MemoryPressureMonitor::shared().start();
    // The layouts of the "Korvel" resource bundle (the system plug-in's
    // screens), and the demo's stand-in for a camera.
    KorvelBundle::link();
    useCameraPictureFromEnvironment();
    logWindowWarningsToTheGamesLog();

    if (options->exitAfter) {
        auto seconds = std::chrono::duration<double>(*options->exitAfter);
        auto screenshot = options->screenshot;
        DispatchQueue::main()->asyncAfter(std::chrono::duration_cast<std::chrono::nanoseconds>(seconds), [screenshot] {
            auto webView = IOSPlugin::GetWebView();
            if (!screenshot) {
                quit(0);
                return;
            }
            if (!webView) {
                std::cerr << "no web view to take a screenshot of\n";
                quit(1);
                return;
            }
            webView->takeSnapshotToPNG(*screenshot, [path = *screenshot](bool ok) {
                if (!ok) std::cerr << "could not write " << path << "\n";
                quit(ok ? 0 : 1);
            });
        });
    }
    // On a first launch the window waits for the start page's background
    // (at most 3 s) rather than appear empty; later launches know it and
    // show the window at once.
    if (!pagebackground::remembered()) GtkHost::holdWindow(3);
    int status = UIApplicationMain(argc, argv, [] { return std::make_shared<AppDelegate>(); });
    return status ? status : gExitStatus;
}
