#include "BarePipeline.h"

#include <curl/curl.h>
#include <glib.h>
#include <png.h>
#include <turbojpeg.h>

#include <cstring>
#include <map>

namespace webimagebench {

namespace {

struct Transfer {
    std::string body;
    BarePipeline::Done done;
};

size_t onBody(char* p, size_t size, size_t n, void* user) {
    static_cast<Transfer*>(user)->body.append(p, size * n);
    return size * n;
}

// Runs `done` with `image` on the main loop.
void post(BarePipeline::Done done, std::shared_ptr<CGImage> image) {
    auto* call = new std::pair<BarePipeline::Done, std::shared_ptr<CGImage>>(std::move(done), std::move(image));
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer p) -> gboolean {
            auto* c = static_cast<std::pair<BarePipeline::Done, std::shared_ptr<CGImage>>*>(p);
            c->first(std::move(c->second));
            delete c;
            return G_SOURCE_REMOVE;
        },
        call, nullptr);
}

std::shared_ptr<CGImage> decodePNG(const std::string& bytes) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return nullptr;
    image.format = PNG_FORMAT_BGRA;
    auto bitmap = CGImage::createForOverwrite(int(image.width), int(image.height), true);
    if (!bitmap || !png_image_finish_read(&image, nullptr, bitmap->mutableData(), bitmap->bytesPerRow(), nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    bitmap->markDirty();
    return bitmap;
}

std::shared_ptr<CGImage> decodeJPEG(const std::string& bytes) {
    thread_local tjhandle handle = tjInitDecompress();
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (tjDecompressHeader3(handle, data, bytes.size(), &w, &h, &subsampling, &colourspace) != 0) return nullptr;
    auto bitmap = CGImage::createForOverwrite(w, h, false);
    if (!bitmap || tjDecompress2(handle, data, bytes.size(), bitmap->mutableData(), w, bitmap->bytesPerRow(), h,
                                 TJPF_BGRX, 0) != 0)
        return nullptr;
    bitmap->markDirty();
    return bitmap;
}

}  // namespace

BarePipeline::BarePipeline(unsigned decoders) : multi_(curl_multi_init()) {
    network_ = std::thread([this] { runNetwork(); });
    for (unsigned i = 0; i < decoders; ++i) decoders_.emplace_back([this] { runDecoder(); });
}

BarePipeline::~BarePipeline() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        curl_multi_wakeup(static_cast<CURLM*>(multi_));
    }
    jobsCv_.notify_all();
    network_.join();
    for (auto& d : decoders_) d.join();
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void BarePipeline::fetch(const std::string& url, Done done) {
    std::lock_guard lock(mutex_);
    fetches_.push_back({url, std::move(done)});
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

void BarePipeline::decode(std::string bytes, Done done) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back({std::move(bytes), nullptr, std::move(done)});
    }
    jobsCv_.notify_one();
}

void BarePipeline::loadAndDecode(std::function<std::string()> load, Done done) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back({"", std::move(load), std::move(done)});
    }
    jobsCv_.notify_one();
}

std::shared_ptr<CGImage> BarePipeline::decodeNow(const std::string& bytes) {
    static const unsigned char pngSignature[] = {0x89, 'P', 'N', 'G'};
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), pngSignature, 4) == 0) return decodePNG(bytes);
    if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xD8) return decodeJPEG(bytes);
    return nullptr;
}

void BarePipeline::runNetwork() {
    auto* multi = static_cast<CURLM*>(multi_);
    std::map<CURL*, std::unique_ptr<Transfer>> running;
    while (true) {
        std::deque<Fetch> batch;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            batch.swap(fetches_);
        }
        for (auto& f : batch) {
            CURL* easy = curl_easy_init();
            auto transfer = std::make_unique<Transfer>();
            transfer->done = std::move(f.done);
            curl_easy_setopt(easy, CURLOPT_URL, f.url.c_str());
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
            curl_multi_add_handle(multi, easy);
            running[easy] = std::move(transfer);
        }
        int still = 0;
        curl_multi_perform(multi, &still);
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
            if (m->msg != CURLMSG_DONE) continue;
            CURL* easy = m->easy_handle;
            auto transfer = std::move(running[easy]);
            running.erase(easy);
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
            decode(std::move(transfer->body), std::move(transfer->done));
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (auto& [easy, transfer] : running) {
        curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
    }
}

void BarePipeline::runDecoder() {
    while (true) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            jobsCv_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (job.load) job.bytes = job.load();
        post(std::move(job.done), decodeNow(job.bytes));
    }
}

}  // namespace webimagebench
