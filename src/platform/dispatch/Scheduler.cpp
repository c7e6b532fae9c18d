#include "platform/dispatch/Scheduler.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace dispatch_detail {

namespace {

struct Key {
    Clock::Monotonic deadline;
    uint64_t id;
    bool operator<(const Key& o) const { return deadline != o.deadline ? deadline < o.deadline : id < o.id; }
};

struct State {
    std::mutex mutex;
    std::condition_variable cv;
    std::map<Key, FireFn> entries;
    std::map<uint64_t, Clock::Monotonic> byId;
    uint64_t nextId = 1;
    bool threadStarted = false;

    void startThread() {
        if (threadStarted) return;
        threadStarted = true;
        std::thread([this] { loop(); }).detach();
    }

    // Pops the earliest entry due at `now`, if any.
    bool popDue(Clock::Monotonic now, Key& key, FireFn& fn) {
        if (entries.empty() || entries.begin()->first.deadline > now) return false;
        auto it = entries.begin();
        key = it->first;
        fn = std::move(it->second);
        byId.erase(key.id);
        entries.erase(it);
        return true;
    }

    void loop() {
        std::unique_lock lock(mutex);
        while (true) {
            Clock& clock = Clock::current();
            if (entries.empty() || clock.isTestClock()) {
                cv.wait(lock);
                continue;
            }
            auto deadline = entries.begin()->first.deadline;
            if (deadline > clock.now()) {
                cv.wait_until(lock, deadline);
                continue;
            }
            Key key;
            FireFn fn;
            while (!Clock::current().isTestClock() && popDue(Clock::current().now(), key, fn)) {
                lock.unlock();
                fn();
                lock.lock();
            }
        }
    }
};

State& state() {
    static State* s = new State();
    return *s;
}

}  // namespace

uint64_t schedule(Clock::Monotonic deadline, FireFn fn) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.startThread();
    uint64_t id = s.nextId++;
    s.entries.emplace(Key{deadline, id}, std::move(fn));
    s.byId.emplace(id, deadline);
    s.cv.notify_all();
    return id;
}

void cancel(uint64_t id) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.byId.find(id);
    if (it == s.byId.end()) return;
    s.entries.erase(Key{it->second, id});
    s.byId.erase(it);
}

void fireDue(Clock::Monotonic now, const std::function<void(Clock::Monotonic)>& beforeEach) {
    State& s = state();
    std::unique_lock lock(s.mutex);
    Key key;
    FireFn fn;
    while (s.popDue(now, key, fn)) {
        lock.unlock();
        if (beforeEach) beforeEach(key.deadline);
        fn();
        lock.lock();
    }
}

void wake() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.cv.notify_all();
}

}  // namespace dispatch_detail
