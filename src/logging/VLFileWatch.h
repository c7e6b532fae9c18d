#pragma once
// Watches an open file for being deleted, moved to another name or
// revoked (its file system unmounted), on inotify. A file deleted while
// open shows only as a change of its link count, which is checked here.

#include <functional>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"

class VLFileWatch {
public:
    // `handler` is posted to `queue` on each such event until cancel().
    // nullptr when the file cannot be watched.
    static std::shared_ptr<VLFileWatch> start(int fd, std::shared_ptr<DispatchQueue> queue,
                                              std::function<void()> handler);
    void cancel();
    ~VLFileWatch();

    struct Entry;

private:
    explicit VLFileWatch(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    std::shared_ptr<Entry> entry_;
};
