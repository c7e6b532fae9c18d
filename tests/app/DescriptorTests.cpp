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

// A socket on 127.0.0.1: listening on a free port (never accepting: a
// server that never answers), or connected to `port`.
int loopback(int port, int* boundPort = nullptr) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (boundPort) {
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        *boundPort = ntohs(a.sin_port);
    } else if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(Descriptors, NoneOfOursReachesASpawnedChild) {
    auto before = descriptorsOfAChild();
    ASSERT_FALSE(before.empty());
    testsupport::TempHome home;

    int silentPort = 0;
    int silent = loopback(0, &silentPort);
    URLRequest hanging(strings::format("http://127.0.0.1:%d/never", silentPort), "POST");
    hanging.body = "a=1";
    hanging.timeout = std::chrono::seconds(60);
    auto task = URLSession::shared()->dataTask(hanging, nullptr);
    pollfd waiting{silent, POLLIN, 0};  // the connection is in the listener's backlog
    ASSERT_EQ(::poll(&waiting, 1, 10000), 1);

    ASSERT_TRUE(keychain::Keychain::standard().setData("svc", "acct", Data{1, 2, 3}));
    auto store = ZVKVStorage::initWithPath((home.path() / "store").string(), ZVKVStorageType::Mixed);
    ASSERT_TRUE(store && store->saveItemWithKey("k", Data(100, 7)));
    auto logger = std::make_shared<VLFileLogger>();
    VLLog::addLogger(logger);
    VLLog::log(false, VLLogLevelAll, VLLogFlagError, 0, "f", "fn", 1, Value(), "%s", "a line in a file");

    testsupport::writeFile(home.path() / "Data/clip.mp4", std::string(4096, 'v'));
    LocalMediaServer media(home.path() / "Data", [](const std::string&) { return "video/mp4"; });
    ASSERT_TRUE(media.start());
    URLSession::shared()->dataTask(URLRequest(media.baseURL() + "clip.mp4"), nullptr);
    int held = loopback(media.port());
    ASSERT_GE(held, 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return media.requestCount() >= 1; }));
    auto watch = ReachabilitySource::current()->subscribe([] {});
    MemoryPressureMonitor::shared().start();

    std::vector<std::string> leaked;
    for (auto& d : descriptorsOfAChild())
        if (!before.count(d)) leaked.push_back(d);
    EXPECT_TRUE(leaked.empty()) << strings::join(leaked, ", ");

    task->cancel();
    ReachabilitySource::current()->unsubscribe(watch);
    VLLog::removeLogger(logger);
    ::close(held);
    ::close(silent);
}

}  // namespace
