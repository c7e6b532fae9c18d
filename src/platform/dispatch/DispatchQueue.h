#pragma once
// Dispatch queues in the platform's manner: the main queue (the GLib main
// context of the main thread), global concurrent queues, and labelled serial
// and concurrent queues, all served by one growing thread pool.
//
// Differences from the platform, chosen to avoid deadlocks rather than
// reproduce them: sync() onto the serial queue (or main queue) that is
// already running the caller runs the block inline.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class DispatchGroup;

using DispatchBlock = std::function<void()>;

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    enum class Kind { Main, Serial, Concurrent };
    enum class QoS { Background, Utility, Default, UserInitiated, UserInteractive };

    static std::shared_ptr<DispatchQueue> main();
    static std::shared_ptr<DispatchQueue> global(QoS qos = QoS::Default);
    static std::shared_ptr<DispatchQueue> serial(const std::string& label);
    static std::shared_ptr<DispatchQueue> concurrent(const std::string& label);

    void async(DispatchBlock block);
    void async(DispatchGroup& group, DispatchBlock block);
    // Waits for the block; an exception it throws is thrown again here.
    void sync(const DispatchBlock& block);
    void asyncAfter(std::chrono::nanoseconds delay, DispatchBlock block);
    // On a concurrent queue the barrier block runs alone, after everything
    // queued before it and before everything queued after it; on a serial
    // queue these are async()/sync().
    void barrierAsync(DispatchBlock block);
    void barrierSync(const DispatchBlock& block);

    // Suspended queues start nothing new until resumed (counts nest).
    void suspend();
    void resume();

    const std::string& label() const;
    Kind kind() const;
    // True when the calling code runs as a block of this queue (for the main
    // queue: on the main thread).
    bool isCurrent() const;

    // Queue-specific values, as the platform's queue-specific keys.
    void setSpecific(const void* key, void* value);
    void* getSpecific(const void* key) const;
    // The value for `key` of the queue running the caller; nullptr off any queue.
    static void* currentSpecific(const void* key);

    // The queue running the caller: its block's queue, the main queue on the
    // main thread, else nullptr.
    static std::shared_ptr<DispatchQueue> current();
    static std::string currentLabel();  // "" off any queue
    // The same without a copy; valid while the caller runs on that queue.
    static std::string_view currentLabelView();

    ~DispatchQueue();

    struct Impl;
    explicit DispatchQueue(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
};

bool isMainThread();

// Shorthands.
inline void dispatch_main_async(DispatchBlock b) { DispatchQueue::main()->async(std::move(b)); }
