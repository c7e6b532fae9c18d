#include "logging/VLFileWatch.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct VLFileWatch::Entry {
    int fd = -1;  // our own duplicate, so the check never looks at a reused number
    int wd = -1;
    std::shared_ptr<DispatchQueue> queue;
    std::function<void()> handler;
    bool cancelled = false;
};

namespace {

constexpr uint32_t kMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB | IN_UNMOUNT | IN_MASK_ADD;

class Watcher {
public:
    static Watcher& shared() {
        static Watcher* w = new Watcher();
        return *w;
    }

    bool add(const std::shared_ptr<VLFileWatch::Entry>& entry) {
        std::lock_guard lock(mutex_);
        if (ifd_ < 0) return false;
        std::string procPath = "/proc/self/fd/" + std::to_string(entry->fd);
        int wd = inotify_add_watch(ifd_, procPath.c_str(), kMask);
        if (wd < 0) return false;
        entry->wd = wd;
        watches_[wd].push_back(entry);
        return true;
    }

    void remove(const std::shared_ptr<VLFileWatch::Entry>& entry) {
        std::lock_guard lock(mutex_);
        entry->cancelled = true;
        auto it = watches_.find(entry->wd);
        if (it == watches_.end()) return;
        auto& list = it->second;
        for (auto e = list.begin(); e != list.end(); ++e) {
            if (*e == entry) {
                list.erase(e);
                break;
            }
        }
        if (list.empty()) {
            inotify_rm_watch(ifd_, entry->wd);
            watches_.erase(it);
        }
    }

private:
    Watcher() {
        ifd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (ifd_ >= 0) std::thread([this] { run(); }).detach();
    }

    void run() {
        alignas(inotify_event) char buf[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
        while (true) {
            pollfd p{ifd_, POLLIN, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR) return;
            ssize_t n = read(ifd_, buf, sizeof buf);
            if (n <= 0) continue;
            for (char* ptr = buf; ptr < buf + n;) {
                auto* ev = reinterpret_cast<inotify_event*>(ptr);
                handle(*ev);
                ptr += sizeof(inotify_event) + ev->len;
            }
        }
    }

    void handle(const inotify_event& ev) {
        std::vector<std::shared_ptr<VLFileWatch::Entry>> fire;
        {
            std::lock_guard lock(mutex_);
            auto it = watches_.find(ev.wd);
            if (it == watches_.end()) return;
            for (auto& e : it->second) {
                bool gone = (ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0;
                if (!gone && (ev.mask & IN_ATTRIB)) {
                    struct stat st {};
                    gone = fstat(e->fd, &st) == 0 && st.st_nlink == 0;
                }
                if (gone) fire.push_back(e);
            }
            if (ev.mask & IN_IGNORED) watches_.erase(it);
        }
        for (auto& e : fire) {
            auto handler = e->handler;
            std::weak_ptr<VLFileWatch::Entry> weak = e;
            e->queue->async([weak, handler] {
                auto entry = weak.lock();
                if (entry && !entry->cancelled) handler();
            });
        }
    }

    std::mutex mutex_;
    int ifd_ = -1;
    std::map<int, std::vector<std::shared_ptr<VLFileWatch::Entry>>> watches_;
};

}  // namespace

std::shared_ptr<VLFileWatch> VLFileWatch::start(int fd, std::shared_ptr<DispatchQueue> queue,
                                                std::function<void()> handler) {
    auto entry = std::make_shared<Entry>();
    entry->fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (entry->fd < 0) return nullptr;
    entry->queue = std::move(queue);
    entry->handler = std::move(handler);
    if (!Watcher::shared().add(entry)) {
        close(entry->fd);
        return nullptr;
    }
    return std::shared_ptr<VLFileWatch>(new VLFileWatch(entry));
}

void VLFileWatch::cancel() {
    if (!entry_) return;
    Watcher::shared().remove(entry_);
    close(entry_->fd);
    entry_->fd = -1;
    entry_.reset();
}

VLFileWatch::~VLFileWatch() { cancel(); }
