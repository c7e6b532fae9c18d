#include "platform/dispatch/DispatchQueue.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <glib.h>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/Scheduler.h"

namespace {

const std::thread::id gMainThreadId = std::this_thread::get_id();

void runGuarded(const DispatchBlock& block, const std::string& label) {
    try {
        block();
    } catch (const std::exception& e) {
        fprintf(stderr, "dispatch: uncaught exception in a block of queue \"%s\": %s\n", label.c_str(), e.what());
    } catch (...) {
        fprintf(stderr, "dispatch: uncaught exception in a block of queue \"%s\"\n", label.c_str());
    }
}

// One pool of worker threads serves every queue except the main queue. It
// grows whenever work waits and no thread is idle, so blocks that block
// (synchronous requests, waits on other queues) never starve the others.
class Pool {
public:
    static Pool& shared() {
        static Pool* p = new Pool();
        return *p;
    }

    void submit(std::function<void()> job) {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        if (jobs_.size() > size_t(idle_) && threads_ < kMaxThreads) {
            ++threads_;
            std::thread([this] { work(); }).detach();
        } else {
            cv_.notify_one();
        }
    }

private:
    static constexpr int kMaxThreads = 512;
    static constexpr int kKeepThreads = 8;

    void work() {
        std::unique_lock lock(mutex_);
        while (true) {
            while (jobs_.empty()) {
                ++idle_;
                bool timedOut = cv_.wait_for(lock, std::chrono::seconds(30)) == std::cv_status::timeout;
                --idle_;
                if (timedOut && jobs_.empty() && threads_ > kKeepThreads) {
                    --threads_;
                    return;
                }
            }
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    int threads_ = 0;
    int idle_ = 0;
};

thread_local DispatchQueue* tCurrentQueue = nullptr;

struct CurrentQueueScope {
    DispatchQueue* saved;
    explicit CurrentQueueScope(DispatchQueue* q) : saved(tCurrentQueue) { tCurrentQueue = q; }
    ~CurrentQueueScope() { tCurrentQueue = saved; }
};

}  // namespace

struct DispatchQueue::Impl {
    struct Item {
        DispatchBlock block;
        bool barrier = false;
    };

    Kind kind;
    std::string label;
    std::weak_ptr<DispatchQueue> self;

    std::mutex mutex;
    std::deque<Item> items;
    int running = 0;
    bool barrierRunning = false;
    int suspended = 0;

    mutable std::mutex specificMutex;
    std::map<const void*, void*> specific;

    // Main queue only.
    GSource* source = nullptr;

    Impl(Kind k, std::string l) : kind(k), label(std::move(l)) {}

    int width() const { return kind == Kind::Concurrent ? 1 << 20 : 1; }

    void enqueue(Item item) {
        if (kind == Kind::Main) {
            {
                std::lock_guard lock(mutex);
                items.push_back(std::move(item));
            }
            g_main_context_wakeup(g_main_context_default());
            return;
        }
        std::unique_lock lock(mutex);
        items.push_back(std::move(item));
        pump(lock);
    }

    // Starts as many queued items as the queue's width, barriers and
    // suspension allow. Called with the lock held.
    void pump(std::unique_lock<std::mutex>& lock) {
        auto queue = self.lock();
        if (!queue) return;
        while (suspended == 0 && !items.empty() && !barrierRunning) {
            Item& front = items.front();
            if (front.barrier) {
                if (running > 0) break;
                barrierRunning = true;
            } else if (running >= width()) {
                break;
            }
            ++running;
            Item item = std::move(front);
            items.pop_front();
            Pool::shared().submit([queue, item = std::move(item)]() mutable { queue->impl_->runFrom(std::move(item)); });
        }
    }

    // Runs `item` on a pool thread; a serial queue keeps draining on the
    // same thread for a while, which saves a hand-over per block.
    void runFrom(Item item) {
        auto queue = self.lock();
        CurrentQueueScope scope(queue.get());
        for (int batch = 0;; ++batch) {
            runGuarded(item.block, label);
            item.block = nullptr;
            std::unique_lock lock(mutex);
            --running;
            if (item.barrier) barrierRunning = false;
            if (kind == Kind::Serial && suspended == 0 && !items.empty() && batch < 256) {
                item = std::move(items.front());
                items.pop_front();
                ++running;
                continue;
            }
            pump(lock);
            return;
        }
    }

    // Main queue: runs queued blocks one at a time, so that a block that
    // spins a nested loop still lets later blocks run.
    bool drainMain() {
        for (int i = 0; i < 1024; ++i) {
            Item item;
            {
                std::lock_guard lock(mutex);
                if (items.empty() || suspended) return true;
                item = std::move(items.front());
                items.pop_front();
            }
            runGuarded(item.block, label);
        }
        return true;
    }

    bool mainHasWork() {
        std::lock_guard lock(mutex);
        return !items.empty() && !suspended;
    }
};

namespace {

struct MainSource {
    GSource base;
    DispatchQueue::Impl* impl;
};

gboolean mainPrepare(GSource* s, gint* timeout) {
    *timeout = -1;
    return reinterpret_cast<MainSource*>(s)->impl->mainHasWork();
}
gboolean mainCheck(GSource* s) { return reinterpret_cast<MainSource*>(s)->impl->mainHasWork(); }
gboolean mainDispatch(GSource* s, GSourceFunc, gpointer) {
    reinterpret_cast<MainSource*>(s)->impl->drainMain();
    return G_SOURCE_CONTINUE;
}
GSourceFuncs gMainFuncs = {mainPrepare, mainCheck, mainDispatch, nullptr, nullptr, nullptr};

}  // namespace

DispatchQueue::DispatchQueue(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DispatchQueue::~DispatchQueue() = default;

static std::shared_ptr<DispatchQueue> makeQueue(DispatchQueue::Kind kind, const std::string& label) {
    auto q = std::make_shared<DispatchQueue>(std::make_unique<DispatchQueue::Impl>(kind, label));
    return q;
}

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    static std::shared_ptr<DispatchQueue>* q = [] {
        auto queue = makeQueue(Kind::Main, "com.apple.main-thread");
        queue->impl_->self = queue;
        GSource* src = g_source_new(&gMainFuncs, sizeof(MainSource));
        reinterpret_cast<MainSource*>(src)->impl = queue->impl_.get();
        g_source_set_can_recurse(src, TRUE);
        g_source_set_priority(src, G_PRIORITY_DEFAULT);
        g_source_set_name(src, "main-queue");
        g_source_attach(src, g_main_context_default());
        queue->impl_->source = src;
        return new std::shared_ptr<DispatchQueue>(queue);
    }();
    return *q;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(QoS qos) {
    static std::mutex m;
    static std::map<QoS, std::shared_ptr<DispatchQueue>>* globals = new std::map<QoS, std::shared_ptr<DispatchQueue>>();
    std::lock_guard lock(m);
    auto& slot = (*globals)[qos];
    if (!slot) {
        static const char* names[] = {"global.background", "global.utility", "global.default", "global.user-initiated",
                                      "global.user-interactive"};
        slot = concurrent(names[int(qos)]);
    }
    return slot;
}

std::shared_ptr<DispatchQueue> DispatchQueue::serial(const std::string& label) {
    auto q = makeQueue(Kind::Serial, label);
    q->impl_->self = q;
    return q;
}

std::shared_ptr<DispatchQueue> DispatchQueue::concurrent(const std::string& label) {
    auto q = makeQueue(Kind::Concurrent, label);
    q->impl_->self = q;
    return q;
}

void DispatchQueue::async(DispatchBlock block) {
    if (!block) return;
    impl_->enqueue({std::move(block), false});
}

void DispatchQueue::async(DispatchGroup& group, DispatchBlock block) {
    group.enter();
    DispatchGroup* g = &group;
    async([g, block = std::move(block)] {
        // Leaves also when the block throws, or the group would never empty.
        struct Leave {
            DispatchGroup* g;
            ~Leave() { g->leave(); }
        } leave{g};
        if (block) block();
    });
}

void DispatchQueue::barrierAsync(DispatchBlock block) {
    if (!block) return;
    impl_->enqueue({std::move(block), impl_->kind == Kind::Concurrent});
}

namespace {
void syncVia(DispatchQueue& q, const DispatchBlock& block, bool barrier) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr failure;
    auto run = [&] {
        // The caller must be woken whatever the block does.
        try {
            block();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(m);
        done = true;
        cv.notify_one();
    };
    if (barrier) q.barrierAsync(run);
    else q.async(run);
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
    if (failure) std::rethrow_exception(failure);
}
}  // namespace

void DispatchQueue::sync(const DispatchBlock& block) {
    if (!block) return;
    if (isCurrent() && impl_->kind != Kind::Concurrent) {
        block();
        return;
    }
    syncVia(*this, block, false);
}

void DispatchQueue::barrierSync(const DispatchBlock& block) {
    if (!block) return;
    if (isCurrent() && impl_->kind != Kind::Concurrent) {
        block();
        return;
    }
    syncVia(*this, block, impl_->kind == Kind::Concurrent);
}

void DispatchQueue::asyncAfter(std::chrono::nanoseconds delay, DispatchBlock block) {
    if (!block) return;
    if (delay <= std::chrono::nanoseconds(0)) {
        async(std::move(block));
        return;
    }
    auto self = shared_from_this();
    dispatch_detail::schedule(Clock::current().now() + delay,
                              [self, block = std::move(block)]() mutable { self->async(std::move(block)); });
}

void DispatchQueue::suspend() {
    std::lock_guard lock(impl_->mutex);
    ++impl_->suspended;
}

void DispatchQueue::resume() {
    if (impl_->kind == Kind::Main) {
        {
            std::lock_guard lock(impl_->mutex);
            if (impl_->suspended > 0) --impl_->suspended;
        }
        g_main_context_wakeup(g_main_context_default());
        return;
    }
    std::unique_lock lock(impl_->mutex);
    if (impl_->suspended > 0) --impl_->suspended;
    impl_->pump(lock);
}

const std::string& DispatchQueue::label() const { return impl_->label; }
DispatchQueue::Kind DispatchQueue::kind() const { return impl_->kind; }

bool DispatchQueue::isCurrent() const {
    if (impl_->kind == Kind::Main) return isMainThread();
    return tCurrentQueue == this;
}

void DispatchQueue::setSpecific(const void* key, void* value) {
    std::lock_guard lock(impl_->specificMutex);
    if (value) impl_->specific[key] = value;
    else impl_->specific.erase(key);
}

void* DispatchQueue::getSpecific(const void* key) const {
    std::lock_guard lock(impl_->specificMutex);
    auto it = impl_->specific.find(key);
    return it == impl_->specific.end() ? nullptr : it->second;
}

void* DispatchQueue::currentSpecific(const void* key) {
    if (tCurrentQueue) return tCurrentQueue->getSpecific(key);
    if (isMainThread()) return main()->getSpecific(key);
    return nullptr;
}

std::shared_ptr<DispatchQueue> DispatchQueue::current() {
    if (tCurrentQueue) return tCurrentQueue->shared_from_this();
    if (isMainThread()) return main();
    return nullptr;
}

std::string DispatchQueue::currentLabel() {
    if (tCurrentQueue) return tCurrentQueue->label();
    if (isMainThread()) return main()->label();
    return "";
}

std::string_view DispatchQueue::currentLabelView() {
    if (tCurrentQueue) return tCurrentQueue->label();
    if (isMainThread()) {
        static const std::string* mainLabel = &main()->label();  // the main queue lives for the process
        return *mainLabel;
    }
    return {};
}

bool isMainThread() { return std::this_thread::get_id() == gMainThreadId; }
