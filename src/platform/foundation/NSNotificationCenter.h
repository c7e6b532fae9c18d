#pragma once
// Process-wide notifications. Posting calls every matching observer
// synchronously on the posting thread, in the order they were added.
// Observers may post, add and remove observers from inside a callback
// (re-entrant posts are allowed): an observer removed during a post is not
// called afterwards; one added during a post is called from the next post on.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class DispatchQueue;

struct NSNotification {
    std::string name;
    const void* object = nullptr;  // the sender, compared by identity
    Value userInfo;
};

class NSNotificationCenter {
public:
    using Token = uint64_t;
    using Block = std::function<void(const NSNotification&)>;

    static NSNotificationCenter& defaultCenter();

    // `name` empty: every notification. `object` null: from any sender.
    // `owner`: an identity under which removeObserver(owner) removes all of
    // an object's observations at once (may be null). With `queue`, the
    // block is sent asynchronously to that queue instead of being called on
    // the posting thread.
    Token addObserver(const void* owner, const std::string& name, const void* object, Block block,
                      std::shared_ptr<DispatchQueue> queue = nullptr);
    Token addObserver(const std::string& name, Block block) { return addObserver(nullptr, name, nullptr, std::move(block)); }

    void removeObserver(Token token);
    void removeObserver(const void* owner);                           // every observation of the owner
    void removeObserver(const void* owner, const std::string& name);  // the owner's observations of one name

    void postNotification(const NSNotification& notification);
    void postNotificationName(const std::string& name, const void* object = nullptr, Value userInfo = Value());

    size_t observerCount() const;

private:
    struct Entry {
        Token token;
        const void* owner;
        std::string name;
        const void* object;
        std::shared_ptr<Block> block;
        std::shared_ptr<DispatchQueue> queue;
        std::shared_ptr<bool> alive;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    Token next_ = 1;
};

// Names the platform layer posts.
inline const char* const UIApplicationDidReceiveMemoryWarningNotification = "UIApplicationDidReceiveMemoryWarningNotification";
inline const char* const UIApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline const char* const UIApplicationWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";
inline const char* const UIApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";
inline const char* const UIApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
inline const char* const UIApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
