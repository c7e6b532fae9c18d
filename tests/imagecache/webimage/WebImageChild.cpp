// Loads one hostile reply through a web-image operation and prints what it
// cost, so that a test sees it in a process of its own:
//   endless  a body without end, capped at 16 MiB: the failure's code and
//            how far the peak resident memory grew ("code=... grew_kib=...");
//   lying    a Content-Length of 10^12 before a short body: how much heap
//            the response made the operation set aside ("reserved_kib=...").

#include <malloc.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>

#include "imagecache/webimage/ZVWebImageManager.h"
#include "imagecache/webimage/ZVWebImageOperation.h"
#include "standin/StandinServer.h"

namespace {

long statusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return -1;
}

size_t heapBytes() {
    struct mallinfo2 m = mallinfo2();
    return m.hblkhd + m.uordblks;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    standin::HttpServer server("child");
    if (mode == "endless") {
        server.scriptAlways("/x", standin::Reply::endless("image/png"));
    } else if (mode == "lying") {
        auto reply = standin::Reply::held({std::string(1000, 'x')}, "image/png");
        reply.stream.announcedLength = 1000000000000ull;
        server.scriptAlways("/x", reply);
    } else {
        return 2;
    }
    if (!server.start()) return 3;
    ZVWebImageManager manager(nullptr, nullptr);
    manager.setMaxBodyBytes(16u << 20);

    std::mutex mutex;
    std::condition_variable ended;
    long code = 0;
    bool done = false;
    size_t heapBefore = heapBytes(), reserved = 0;
    long rssBefore = statusKiB("VmRSS:");
    auto op = manager.requestImageWithURL(
        *NSURL::URLWithString(server.baseURL() + "/x"), 0,
        [&](int64_t received, int64_t) {
            if (received == 0) reserved = heapBytes() - heapBefore;  // the response has just come
        },
        {},
        [&](std::shared_ptr<UIImage>, const NSURL&, ZVWebImageSource, ZVWebImageStage, const std::optional<Error>& e) {
            std::lock_guard lock(mutex);
            code = e ? e->code : 0;
            done = true;
            ended.notify_all();
        });
    if (mode == "lying") server.releasePieces();
    std::unique_lock lock(mutex);
    if (!ended.wait_for(lock, std::chrono::seconds(60), [&] { return done; })) return 4;
    if (mode == "endless") std::printf("code=%ld grew_kib=%ld\n", code, statusKiB("VmHWM:") - rssBefore);
    else std::printf("code=%ld reserved_kib=%zu\n", code, reserved / 1024);
    return 0;
}
