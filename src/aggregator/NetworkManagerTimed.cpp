// The timed request: tries that start one period apart, each limited so
// that all of them end together, the first reply winning.
#include <chrono>

#include "aggregator/NetworkInterface.h"
#include "aggregator/NetworkManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/net/URLSession.h"

namespace {

std::chrono::nanoseconds seconds(double s) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(s));
}

}  // namespace

// One timed request. Its timer, its tries' completions and their deadlines
// hold it; finishing cancels all of them, which lets it go.
struct NetworkManager::TimedRequest : std::enable_shared_from_this<TimedRequest> {
    std::weak_ptr<NetworkManager> owner;
    std::string ckUserInterface, ckUserPostString, ckUserMethod;
    std::shared_ptr<DispatchQueue> missionCurrentQueue;
    std::vector<std::string> urls;  // the server list when the request started

    mutable std::mutex mutex;  // guards everything below
    bool isResult = false;
    double ckUserTimeout = NetworkInterface::defaultRequesTimeOut();
    Completion ckUser_BackBlock;
    std::shared_ptr<DispatchTimer> requestTimer;
    size_t leftoverCounts = 0;
    size_t ckUserServeIndex = 0;
    size_t pending = 0;      // tries sent that have not ended
    uint64_t latestTry = 0;  // the number of the last try sent
    std::vector<std::shared_ptr<URLSessionTask>> tasks;
    std::vector<std::shared_ptr<DispatchTimer>> deadlines;

    void start(size_t firstIndex) {
        std::lock_guard lock(mutex);
        if (urls.empty()) return finishLocked(std::nullopt, 0);
        leftoverCounts = urls.size();
        ckUserServeIndex = firstIndex < urls.size() ? firstIndex : 0;
        auto self = shared_from_this();
        requestTimer = DispatchTimer::create(missionCurrentQueue);
        requestTimer->setEventHandler([self] { self->timeIsUp(); });
        requestTimer->schedule(seconds(ckUserTimeout), seconds(ckUserTimeout));
        requestTimer->resume();
        sendLocked();
    }

    // A tick of the timer: the next server gets a try while nothing has
    // answered and servers are left.
    void timeIsUp() {
        std::lock_guard lock(mutex);
        if (isResult) return;
        if (leftoverCounts > 1) return moveOnLocked();
        requestTimer->cancel();
    }

    void moveOnLocked() {
        --leftoverCounts;
        ckUserServeIndex = (ckUserServeIndex + 1) % urls.size();
        sendLocked();
    }

    // A try at the current server, limited to the period times the servers
    // left, on the installed clock (the transport keeps the same limit in
    // real time).
    void sendLocked() {
        double timeout = ckUserTimeout * double(leftoverCounts);
        uint64_t number = ++latestTry;
        size_t index = ckUserServeIndex;
        ++pending;
        auto self = shared_from_this();
        auto task = NetworkInterface::sharedInstance().addHttpRequest(
            urls[index] + ckUserInterface, ckUserPostString, ckUserMethod,
            [self, number, index](std::optional<Value> reply) { self->tryEnded(number, index, std::move(reply)); },
            timeout, DispatchQueue::global());
        auto deadline = DispatchTimer::create(DispatchQueue::global());
        deadline->setEventHandler([task] { task->cancel(); });
        deadline->schedule(seconds(timeout));
        deadline->resume();
        tasks.push_back(task);
        deadlines.push_back(deadline);
    }

    void tryEnded(uint64_t number, size_t index, std::optional<Value> reply) {
        std::lock_guard lock(mutex);
        --pending;
        if (isResult) return;
        if (reply) return finishLocked(std::move(reply), index);
        if (number == latestTry && leftoverCounts > 1) {
            // Nothing to wait for at this server: the next one now, and a
            // full period before the one after.
            moveOnLocked();
            requestTimer->schedule(seconds(ckUserTimeout), seconds(ckUserTimeout));
            return;
        }
        if (pending == 0 && leftoverCounts <= 1) finishLocked(std::nullopt, 0);
    }

    void finishLocked(std::optional<Value> reply, size_t index) {
        isResult = true;
        if (reply) {
            if (auto manager = owner.lock()) manager->rememberIndex(index);
        } else {
            NSLog("RLLog:no server answered %s in time", ckUserInterface.c_str());
        }
        if (requestTimer) requestTimer->cancel();
        for (auto& d : deadlines) d->cancel();
        for (auto& t : tasks) t->cancel();  // the tries still running
        auto completion = std::move(ckUser_BackBlock);
        ckUser_BackBlock = nullptr;
        if (completion) missionCurrentQueue->async([completion, reply = std::move(reply)] { completion(reply); });
    }
};

void NetworkManager::timerRequestUrlInterface(const std::string& path, const std::string& body,
                                              const std::string& method, Completion completion) {
    auto timed = std::make_shared<TimedRequest>();
    timed->owner = weak_from_this();
    timed->ckUserInterface = path;
    timed->ckUserPostString = body;
    timed->ckUserMethod = method;
    timed->ckUser_BackBlock = std::move(completion);
    timed->missionCurrentQueue = callingQueue();
    size_t first;
    {
        std::lock_guard lock(mutex_);
        timed->urls = serveUrls_;
        first = selectedIndex_;
        timed_ = timed;
    }
    timed->start(first);
}

std::shared_ptr<NetworkManager::TimedRequest> NetworkManager::latestTimed() const {
    std::lock_guard lock(mutex_);
    return timed_;
}

bool NetworkManager::isResult() const {
    auto t = latestTimed();
    if (!t) return false;
    std::lock_guard lock(t->mutex);
    return t->isResult;
}

double NetworkManager::ckUserTimeout() const {
    auto t = latestTimed();
    if (!t) return NetworkInterface::defaultRequesTimeOut();
    std::lock_guard lock(t->mutex);
    return t->ckUserTimeout;
}

size_t NetworkManager::leftoverCounts() const {
    auto t = latestTimed();
    if (!t) return 0;
    std::lock_guard lock(t->mutex);
    return t->leftoverCounts;
}

size_t NetworkManager::ckUserServeIndex() const {
    auto t = latestTimed();
    if (!t) return 0;
    std::lock_guard lock(t->mutex);
    return t->ckUserServeIndex;
}
