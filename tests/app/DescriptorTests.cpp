// No descriptor of ours reaches a child process: with a request hanging on
// a server that never answers, the keychain and a cache store open (SQLite
// with its journal files), a log file being written, the media server
// holding a connection, and the network and memory watches running, a
// program spawned then holds nothing it did not hold before.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

#include "Classes/ViewController/LocalMediaServer.h"
#include "imagecache/ZVKVStorage.h"
#include "logging/VLFileLogger.h"
#include "logging/VLLog.h"
#include "platform/device/MemoryPressure.h"
#include "platform/foundation/Strings.h"
#include "platform/net/NetworkReachability.h"
#include "platform/net/URLSession.h"
#include "platform/security/Keychain.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// What a freshly spawned program has open, as "number -> target" (sockets
// and pipes carry their inode, so a new one never looks like an old one).
std::set<std::string> descriptorsOfAChild() {
    auto listing = testsupport::runProgram({"/bin/ls", "-l", "/proc/self/fd"});
    std::set<std::string> out;
    for (auto& line : strings::split(listing.out, "\n")) {
        auto arrow = line.find(" -> ");
        if (arrow == std::string::npos) continue;
        std::string target = line.substr(arrow + 4);
        std::string number = line.substr(line.rfind(' ', arrow - 1) + 1, arrow - line.rfind(' ', arrow - 1) - 1);
        // Its standard streams, and ls's own listing.
        if (number == "0" || number == "1" || number == "2" || strings::hasPrefix(target, "/proc/")) continue;
        out.insert(number + " -> " + target);
    }
    return out;
}

// A loopback server that accepts connections and never answers.
struct SilentServer {
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = 0;
    std::vector<int> accepted;
    SilentServer() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(listener, 8) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~SilentServer() {
        for (int fd : accepted) ::close(fd);
        ::close(listener);
    }
    bool acceptOne() {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) return false;
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) accepted.push_back(fd);
        return fd >= 0;
    }
};

TEST(Descriptors, NoneOfOursReachesASpawnedChild) {
    auto before = descriptorsOfAChild();
    ASSERT_FALSE(before.empty());
    testsupport::TempHome home;

    SilentServer silent;
    ASSERT_GT(silent.port, 0);
    URLRequest hanging(strings::format("http://127.0.0.1:%d/never", silent.port), "POST");
    hanging.body = "a=1";
    hanging.timeout = std::chrono::seconds(60);
    auto task = URLSession::shared()->dataTask(hanging, nullptr);
    ASSERT_TRUE(silent.acceptOne());

    ASSERT_TRUE(keychain::Keychain::standard().setData("svc", "acct", Data{1, 2, 3}));
    auto store = ZVKVStorage::initWithPath((home.path() / "store").string(), ZVKVStorageType::Mixed);
    ASSERT_TRUE(store && store->saveItemWithKey("k", Data(100, 7)));

    auto logger = std::make_shared<VLFileLogger>();
    VLLog::addLogger(logger);
    VLLog::log(false, VLLogLevelAll, VLLogFlagError, 0, "f", "fn", 1, Value(), "%s", "a line in a file");

    testsupport::writeFile(home.path() / "Data/clip.mp4", std::string(4096, 'v'));
    LocalMediaServer media(home.path() / "Data", [](const std::string&) { return "video/mp4"; });
    ASSERT_TRUE(media.start());
    auto fetched = URLSession::shared()->dataTask(URLRequest(media.baseURL() + "clip.mp4"), nullptr);
    int held = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(media.port()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(held, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return media.requestCount() >= 1; }));

    auto watch = ReachabilitySource::current()->subscribe([] {});
    MemoryPressureMonitor::shared().start();

    std::set<std::string> leaked;
    for (auto& d : descriptorsOfAChild())
        if (!before.count(d)) leaked.insert(d);
    EXPECT_TRUE(leaked.empty()) << strings::join(std::vector<std::string>(leaked.begin(), leaked.end()), ", ");

    task->cancel();
    ReachabilitySource::current()->unsubscribe(watch);
    VLLog::removeLogger(logger);
    ::close(held);
}

}  // namespace
