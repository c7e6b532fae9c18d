#include "platform/dispatch/NSOperationQueue.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

thread_local NSOperationQueue* tCurrentOperationQueue = nullptr;

struct CurrentOperationQueueScope {
    NSOperationQueue* saved;
    explicit CurrentOperationQueueScope(NSOperationQueue* q) : saved(tCurrentOperationQueue) { tCurrentOperationQueue = q; }
    ~CurrentOperationQueueScope() { tCurrentOperationQueue = saved; }
};

// The dispatch layer cannot use the platform log (it sits below it).
void report(const char* what, const std::string& name) {
    fprintf(stderr, "NSOperation%s%s%s: %s\n", name.empty() ? "" : " \"", name.c_str(), name.empty() ? "" : "\"", what);
}

}  // namespace

// ---- NSOperation ----

void NSOperation::start() {
    {
        std::lock_guard lock(mutex_);
        if (started_ || finished_) return;
        started_ = true;
    }
    if (!isCancelled()) {
        setExecuting(true);
        runMainGuarded();
    }
    setFinished(true);
}

void NSOperation::runMainGuarded() {
    try {
        main();
    } catch (const std::exception& e) {
        report((std::string("main() threw: ") + e.what()).c_str(), name());
    } catch (...) {
        report("main() threw", name());
    }
}

void NSOperation::cancel() {
    if (cancelled_.exchange(true)) return;
    // A cancelled operation is ready: let its queue retire it.
    readinessChanged();
}

bool NSOperation::isReady() const {
    if (isCancelled()) return true;
    std::lock_guard lock(mutex_);
    return std::all_of(dependencies_.begin(), dependencies_.end(), [](auto& d) { return d->isFinished(); });
}

void NSOperation::addDependency(const std::shared_ptr<NSOperation>& operation) {
    if (!operation || operation.get() == this) return;
    {
        std::lock_guard lock(mutex_);
        if (std::find(dependencies_.begin(), dependencies_.end(), operation) != dependencies_.end()) return;
        dependencies_.push_back(operation);
    }
    std::weak_ptr<NSOperation> weak = weak_from_this();
    operation->observeFinish([weak] {
        if (auto self = weak.lock()) self->readinessChanged();
    });
}

void NSOperation::removeDependency(const std::shared_ptr<NSOperation>& operation) {
    {
        std::lock_guard lock(mutex_);
        std::erase(dependencies_, operation);
    }
    readinessChanged();
}

std::vector<std::shared_ptr<NSOperation>> NSOperation::dependencies() const {
    std::lock_guard lock(mutex_);
    return dependencies_;
}

void NSOperation::readinessChanged() {
    std::shared_ptr<NSOperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        queue = queue_.lock();
    }
    if (queue) queue->pump();
}

std::string NSOperation::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void NSOperation::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

std::function<void()> NSOperation::completionBlock() const {
    std::lock_guard lock(mutex_);
    return completion_;
}

void NSOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    completion_ = std::move(block);
}

void NSOperation::waitUntilFinished() {
    std::unique_lock lock(mutex_);
    finishedCv_.wait(lock, [&] { return retired_; });
}

void NSOperation::setExecuting(bool executing) {
    std::lock_guard lock(mutex_);
    if (!finished_) executing_ = executing;
}

void NSOperation::setFinished(bool finished) {
    if (!finished) return;
    std::vector<Observer> observers;
    std::function<void()> completion;
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        executing_ = false;
        finished_ = true;
        started_ = true;
        completion = std::move(completion_);
    }
    // The operation may lose its last owner to an observer (its queue).
    auto keep = weak_from_this().lock();
    if (completion) {
        try {
            completion();
        } catch (...) {
            report("the completion block threw", name());
        }
    }
    {
        // Observers that come later are called at once (see observeFinish).
        std::lock_guard lock(mutex_);
        observers.swap(finishObservers_);
        retired_ = true;
    }
    for (auto& o : observers) o();
    std::lock_guard lock(mutex_);
    finishedCv_.notify_all();
}

void NSOperation::observeFinish(Observer observer) {
    {
        std::lock_guard lock(mutex_);
        if (!retired_) {
            finishObservers_.push_back(std::move(observer));
            return;
        }
    }
    observer();
}

bool NSOperation::claimForQueue() {
    std::lock_guard lock(mutex_);
    if (queued_ || started_ || finished_) return false;
    queued_ = true;
    return true;
}

// ---- NSBlockOperation ----

std::shared_ptr<NSBlockOperation> NSBlockOperation::blockOperationWithBlock(std::function<void()> block) {
    auto op = std::make_shared<NSBlockOperation>();
    op->addExecutionBlock(std::move(block));
    return op;
}

void NSBlockOperation::addExecutionBlock(std::function<void()> block) {
    if (!block || isExecuting() || isFinished()) return;
    std::lock_guard lock(blocksMutex_);
    blocks_.push_back(std::move(block));
}

size_t NSBlockOperation::executionBlockCount() const {
    std::lock_guard lock(blocksMutex_);
    return blocks_.size();
}

void NSBlockOperation::main() {
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(blocksMutex_);
        blocks = blocks_;
    }
    for (auto& b : blocks) b();
}

// ---- NSOperationQueue ----

std::shared_ptr<NSOperationQueue> NSOperationQueue::mainQueue() {
    static auto* queue = [] {
        auto q = std::make_shared<NSOperationQueue>();
        q->isMain_ = true;
        q->maxCount_ = 1;
        q->name_ = "NSOperationQueue Main Queue";
        return new std::shared_ptr<NSOperationQueue>(q);
    }();
    return *queue;
}

std::shared_ptr<NSOperationQueue> NSOperationQueue::currentQueue() {
    return tCurrentOperationQueue ? tCurrentOperationQueue->shared_from_this() : nullptr;
}

void NSOperationQueue::addOperation(const std::shared_ptr<NSOperation>& operation) {
    if (!operation) return;
    if (!operation->claimForQueue()) {
        report("refused by a queue: it is already queued, started or finished", operation->name());
        return;
    }
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(operation);
    }
    {
        std::lock_guard lock(operation->mutex_);
        operation->queue_ = weak_from_this();
    }
    std::weak_ptr<NSOperationQueue> weak = weak_from_this();
    const NSOperation* key = operation.get();
    operation->observeFinish([weak, key] {
        if (auto self = weak.lock()) self->operationFinished(key);
    });
    pump();
}

std::shared_ptr<NSBlockOperation> NSOperationQueue::addOperationWithBlock(std::function<void()> block) {
    auto op = NSBlockOperation::blockOperationWithBlock(std::move(block));
    addOperation(op);
    return op;
}

void NSOperationQueue::addOperations(const std::vector<std::shared_ptr<NSOperation>>& operations, bool wait) {
    for (auto& op : operations) addOperation(op);
    if (!wait) return;
    for (auto& op : operations)
        if (op) op->waitUntilFinished();
}

void NSOperationQueue::cancelAllOperations() {
    // cancel() is the operations' own code: call it without the queue's lock.
    for (auto& op : operations()) op->cancel();
    pump();
}

void NSOperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    emptyCv_.wait(lock, [&] { return waiting_.empty() && running_.empty(); });
}

std::vector<std::shared_ptr<NSOperation>> NSOperationQueue::operations() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<NSOperation>> all = running_;
    all.insert(all.end(), waiting_.begin(), waiting_.end());
    return all;
}

size_t NSOperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return waiting_.size() + running_.size();
}

long NSOperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(mutex_);
    return maxCount_;
}

void NSOperationQueue::setMaxConcurrentOperationCount(long count) {
    {
        std::lock_guard lock(mutex_);
        if (isMain_) return;
        maxCount_ = count < 0 ? NSOperationQueueDefaultMaxConcurrentOperationCount : count;
    }
    pump();
}

bool NSOperationQueue::isSuspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void NSOperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard lock(mutex_);
        suspended_ = suspended;
    }
    pump();
}

NSOperationQueue::QoS NSOperationQueue::qualityOfService() const {
    std::lock_guard lock(mutex_);
    return qos_;
}

void NSOperationQueue::setQualityOfService(QoS qos) {
    std::lock_guard lock(mutex_);
    qos_ = qos;
}

std::string NSOperationQueue::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void NSOperationQueue::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

long NSOperationQueue::widthLocked() const { return maxCount_ < 0 ? kDefaultWidth : maxCount_; }

void NSOperationQueue::pump() {
    std::vector<std::shared_ptr<NSOperation>> toStart;
    std::shared_ptr<DispatchQueue> target;
    {
        std::lock_guard lock(mutex_);
        target = isMain_ ? DispatchQueue::main() : DispatchQueue::global(qos_);
        while (!suspended_ && long(running_.size()) < widthLocked()) {
            // The first ready operation of the highest priority.
            auto best = waiting_.end();
            for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
                if (!(*it)->isReady()) continue;
                if (best == waiting_.end() || int((*it)->queuePriority()) > int((*best)->queuePriority())) best = it;
            }
            if (best == waiting_.end()) break;
            running_.push_back(*best);
            toStart.push_back(*best);
            waiting_.erase(best);
        }
    }
    for (auto& op : toStart) launch(target, std::move(op));
}

void NSOperationQueue::launch(const std::shared_ptr<DispatchQueue>& target, std::shared_ptr<NSOperation> operation) {
    auto self = shared_from_this();
    target->async([self, operation] {
        CurrentOperationQueueScope scope(self.get());
        operation->start();
    });
}

void NSOperationQueue::operationFinished(const NSOperation* operation) {
    {
        std::lock_guard lock(mutex_);
        auto same = [operation](auto& op) { return op.get() == operation; };
        std::erase_if(running_, same);
        std::erase_if(waiting_, same);
        if (waiting_.empty() && running_.empty()) emptyCv_.notify_all();
    }
    pump();
}
