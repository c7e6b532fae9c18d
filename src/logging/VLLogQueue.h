#pragma once
// The list of work waiting for the global logging queue: records and steps
// (registration, flushes, settings) in the order they were queued. Any
// number of threads push without a lock, each with one atomic exchange;
// the logging queue alone pops. An intrusive list after Vyukov's
// multi-producer single-consumer queue.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "logging/VLLogMessage.h"

namespace vl_detail {

// A caller waiting until its entry has been handled.
struct Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    void signal() {
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
    }
};

struct QueueNode {
    std::atomic<QueueNode*> next{nullptr};
    VLLogMessagePtr record;           // a record, or
    std::unique_ptr<std::function<void()>> work;  // a step
    std::shared_ptr<Waiter> waiter;   // signalled once handled
    bool ownedByQueue = false;        // deleted by the consumer; else it lives in its record's block
};

// A record and its node in one allocation; the node holds the record (and
// so itself) until the consumer takes it.
struct QueuedRecord {
    QueueNode node;
    VLLogMessage message;
    template <class... Args>
    explicit QueuedRecord(Args&&... args) : message(std::forward<Args>(args)...) {}
};

class LogQueue {
public:
    LogQueue() : head_(&stub_), tail_(&stub_) {}

    // Any thread.
    void push(QueueNode* node) {
        node->next.store(nullptr, std::memory_order_relaxed);
        QueueNode* prev = head_.exchange(node, std::memory_order_seq_cst);
        prev->next.store(node, std::memory_order_release);
    }

    enum class State { Item, Empty, Busy };

    // Consumer only. Busy: a producer is between its two steps; try again.
    State pop(QueueNode*& out) {
        QueueNode* tail = tail_;
        QueueNode* next = tail->next.load(std::memory_order_acquire);
        if (tail == &stub_) {
            if (!next) return head_.load(std::memory_order_seq_cst) == &stub_ ? State::Empty : State::Busy;
            tail_ = next;
            tail = next;
            next = next->next.load(std::memory_order_acquire);
        }
        if (next) {
            tail_ = next;
            out = tail;
            return State::Item;
        }
        if (tail != head_.load(std::memory_order_acquire)) return State::Busy;
        push(&stub_);
        next = tail->next.load(std::memory_order_acquire);
        if (next) {
            tail_ = next;
            out = tail;
            return State::Item;
        }
        return State::Busy;
    }

private:
    QueueNode stub_;
    alignas(64) std::atomic<QueueNode*> head_;
    alignas(64) QueueNode* tail_;
};

}  // namespace vl_detail
