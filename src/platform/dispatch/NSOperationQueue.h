#pragma once
// Operations and operation queues in the platform's manner, on dispatch
// queues.
//
// - An operation runs once. A plain operation's start() runs main() and the
//   operation is finished when main() returns (or throws: the exception is
//   logged). An asynchronous operation overrides start(), returns at once
//   and reports its own state with setExecuting() and setFinished(), from
//   any thread, when its work ends; until then a queue counts it as running.
// - cancel() only marks the operation: main() and asynchronous work look at
//   isCancelled(). A plain operation started while cancelled finishes
//   without running main().
// - An operation is ready when all its dependencies have finished; a
//   cancelled one is ready at once, so that a queue retires it promptly.
// - The completion block runs once, on the thread that finished the
//   operation, before its queue lets go of it and before waiters wake (so
//   waiting for an operation or a queue also waits for completion blocks).
// - A queue starts ready operations, highest priority first and in the
//   order added among equals, at most maxConcurrentOperationCount at a time
//   (the default allows 64), each start() in a block of the global dispatch
//   queue of the queue's quality of service (the main queue for mainQueue()).
//   It holds an operation until it finishes.
//
// Operations are made with std::make_shared (dependencies and queues keep
// them by shared pointer). Waits block in real time.
//
// Differences from the platform: adding an operation that is already in a
// queue, started or finished is refused with a log line (the platform
// throws), and a block operation runs its blocks one after another.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"

class NSOperationQueue;

class NSOperation : public std::enable_shared_from_this<NSOperation> {
public:
    enum class QueuePriority : int { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };
    using QoS = DispatchQueue::QoS;

    NSOperation() = default;
    virtual ~NSOperation() = default;
    NSOperation(const NSOperation&) = delete;
    NSOperation& operator=(const NSOperation&) = delete;

    // Runs main() unless cancelled, then finishes; a second call does nothing.
    virtual void start();
    virtual void main() {}
    virtual void cancel();
    virtual bool isAsynchronous() const { return false; }
    bool isConcurrent() const { return isAsynchronous(); }

    bool isCancelled() const { return cancelled_.load(); }
    bool isExecuting() const { return executing_.load(); }
    bool isFinished() const { return finished_.load(); }
    bool isReady() const;

    // A dependency may sit in any queue (or none); it is kept until removed.
    void addDependency(const std::shared_ptr<NSOperation>& operation);
    void removeDependency(const std::shared_ptr<NSOperation>& operation);
    std::vector<std::shared_ptr<NSOperation>> dependencies() const;

    QueuePriority queuePriority() const { return QueuePriority(priority_.load()); }
    void setQueuePriority(QueuePriority p) { priority_ = int(p); }
    QoS qualityOfService() const { return QoS(qos_.load()); }
    void setQualityOfService(QoS q) { qos_ = int(q); }
    std::string name() const;
    void setName(std::string name);

    std::function<void()> completionBlock() const;
    void setCompletionBlock(std::function<void()> block);

    // Blocks until the operation has finished and its completion block has
    // run. Never call it from the operation's own work.
    void waitUntilFinished();

protected:
    // The state reports of an asynchronous operation. Finishing is for good:
    // it clears executing, and later calls change nothing.
    void setExecuting(bool executing);
    void setFinished(bool finished);

private:
    friend class NSOperationQueue;
    using Observer = std::function<void()>;

    // Runs `observer` once the operation has finished (at once if it has).
    void observeFinish(Observer observer);
    // Claims the operation for a queue; false when it cannot be queued.
    bool claimForQueue();
    // A dependency finished or went, or the operation was cancelled: its
    // queue looks again for operations to start.
    void readinessChanged();
    void runMainGuarded();

    std::atomic<bool> cancelled_{false}, executing_{false}, finished_{false};
    std::atomic<int> priority_{int(QueuePriority::Normal)};
    std::atomic<int> qos_{int(QoS::Default)};

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable finishedCv_;
    bool started_ = false;
    bool queued_ = false;
    bool retired_ = false;  // finished, and the completion and observers have run
    std::vector<std::shared_ptr<NSOperation>> dependencies_;
    std::vector<Observer> finishObservers_;
    std::weak_ptr<NSOperationQueue> queue_;
    std::function<void()> completion_;
    std::string name_;
};

// Runs its blocks, in the order added, as its main().
class NSBlockOperation : public NSOperation {
public:
    static std::shared_ptr<NSBlockOperation> blockOperationWithBlock(std::function<void()> block);
    // Blocks added after the operation started are ignored.
    void addExecutionBlock(std::function<void()> block);
    size_t executionBlockCount() const;
    void main() override;

private:
    mutable std::mutex blocksMutex_;
    std::vector<std::function<void()>> blocks_;
};

class NSOperationQueue : public std::enable_shared_from_this<NSOperationQueue> {
public:
    static constexpr long NSOperationQueueDefaultMaxConcurrentOperationCount = -1;
    using QoS = DispatchQueue::QoS;

    NSOperationQueue() = default;
    // Starts its operations on the main thread, one at a time.
    static std::shared_ptr<NSOperationQueue> mainQueue();
    // The queue whose operation's start() runs the caller; nullptr elsewhere.
    static std::shared_ptr<NSOperationQueue> currentQueue();

    void addOperation(const std::shared_ptr<NSOperation>& operation);
    std::shared_ptr<NSBlockOperation> addOperationWithBlock(std::function<void()> block);
    void addOperations(const std::vector<std::shared_ptr<NSOperation>>& operations, bool waitUntilFinished);
    // Cancels every operation the queue holds (started or not).
    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();

    // The operations held: waiting or running, in the order added.
    std::vector<std::shared_ptr<NSOperation>> operations() const;
    size_t operationCount() const;

    long maxConcurrentOperationCount() const;
    // The default (-1, or any negative) allows 64; 0 starts nothing.
    void setMaxConcurrentOperationCount(long count);
    bool isSuspended() const;
    void setSuspended(bool suspended);
    QoS qualityOfService() const;
    void setQualityOfService(QoS qos);
    std::string name() const;
    void setName(std::string name);

private:
    friend class NSOperation;
    static constexpr long kDefaultWidth = 64;

    void pump();
    void operationFinished(const NSOperation* operation);
    void launch(const std::shared_ptr<DispatchQueue>& target, std::shared_ptr<NSOperation> operation);
    long widthLocked() const;

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable emptyCv_;
    std::vector<std::shared_ptr<NSOperation>> waiting_;  // not started, in the order added
    std::vector<std::shared_ptr<NSOperation>> running_;  // started, not finished
    long maxCount_ = NSOperationQueueDefaultMaxConcurrentOperationCount;
    bool suspended_ = false;
    bool isMain_ = false;
    QoS qos_ = QoS::Default;
    std::string name_;
};
