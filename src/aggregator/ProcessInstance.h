#pragma once
// A process-wide single instance, created on first use and kept for the
// process. Tests may put a fresh one in its place between cases (whoever
// still holds the old one keeps it alive until done).

#include <memory>
#include <mutex>

template <class T>
class ProcessInstance {
public:
    static std::shared_ptr<T> get() {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        if (!s.instance) s.instance = std::make_shared<T>();
        return s.instance;
    }
    static void replace(std::shared_ptr<T> instance) {
        std::shared_ptr<T> old;  // released outside the lock
        auto& s = state();
        std::lock_guard lock(s.mutex);
        old = std::move(s.instance);
        s.instance = std::move(instance);
    }

private:
    struct State {
        std::mutex mutex;
        std::shared_ptr<T> instance;
    };
    static State& state() {
        static State* s = new State();
        return *s;
    }
};
