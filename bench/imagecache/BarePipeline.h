#pragma once
// The peer of the web-image benchmark: the least a program needs to show a
// web image. One thread runs curl multi (keep-alive, connections reused);
// N threads decode with libpng's simplified API or tjDecompress2 straight
// into a bitmap; the result is posted to the GLib main loop, where `done`
// runs. No cache, no cancellation, no partial images.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/CGImage.h"

namespace webimagebench {

class BarePipeline {
public:
    // Called on the main loop with the bitmap (null when the bytes did not decode).
    using Done = std::function<void(std::shared_ptr<CGImage>)>;

    explicit BarePipeline(unsigned decoders);
    ~BarePipeline();
    BarePipeline(const BarePipeline&) = delete;
    BarePipeline& operator=(const BarePipeline&) = delete;

    // Downloads `url`, decodes, posts. Any thread.
    void fetch(const std::string& url, Done done);
    // Decodes `bytes` on a decoding thread, posts. Any thread.
    void decode(std::string bytes, Done done);
    // Reads bytes with `load` on a decoding thread, then decodes and posts.
    void loadAndDecode(std::function<std::string()> load, Done done);

    // PNG or JPEG bytes into a bitmap; null for anything else.
    static std::shared_ptr<CGImage> decodeNow(const std::string& bytes);

private:
    struct Fetch {
        std::string url;
        Done done;
    };
    struct Job {
        std::string bytes;
        std::function<std::string()> load;  // when set, gives the bytes
        Done done;
    };
    void runNetwork();
    void runDecoder();

    void* multi_ = nullptr;  // CURLM*
    std::mutex mutex_;       // guards everything below
    std::condition_variable jobsCv_;
    std::deque<Fetch> fetches_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread network_;
    std::vector<std::thread> decoders_;
};

}  // namespace webimagebench
