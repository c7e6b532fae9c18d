// Takes one picture file down one of the roads a page's picture goes, in a
// process of its own, and prints what that cost:
//   plain FILE          decoded through the image decoder, every frame
//   thumbnail FILE W H  made into a W x H thumbnail by SaveThumbnail
//   web FILE            loaded as a web image from a server on this machine
// "image=1|0 grew_kib=N heap_kib=N": whether a picture came (a frame, a
// thumbnail written, a web image), how far the peak resident memory grew
// over what the process held before, and (under AddressSanitizer, else -1)
// how far the heap grew.

#include <malloc.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>

#include "HeapPeak.h"
#include "imagecache/ZVImageDecoder.h"
#include "imagecache/webimage/ZVWebImageManager.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Value.h"
#include "plugin/iOS/RAZ5Orered/ImageOperations.h"
#include "standin/StandinServer.h"
#include "support/TestSupport.h"

namespace {


// What the road costs from here on: the peak resident memory is set back
// to what is held now.
class Cost {
public:
    Cost() {
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        rssBefore_ = testsupport::ownStatusKiB("VmRSS:");
    }
    void print(bool image) const {
        auto heap = heap_.growth();
        std::printf("image=%d grew_kib=%ld heap_kib=%lld\n", image ? 1 : 0, testsupport::ownStatusKiB("VmHWM:") - rssBefore_,
                    heap ? (long long)(*heap / 1024) : -1LL);
    }

private:
    long rssBefore_ = 0;
    fuzz::HeapPeak heap_;
};

int plain(const Data& bytes) {
    Cost cost;
    bool image = false;
    if (auto decoder = ZVImageDecoder::decoderWithData(bytes, 1))
        for (size_t i = 0; i < decoder->frameCount(); ++i) image = decoder->frameAtIndex(i, true) != nullptr || image;
    cost.print(image);
    return 0;
}

int thumbnail(const Data& bytes, int width, int height) {
    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    const auto source = AppHome::documents() / "picture", saved = AppHome::documents() / "thumbnail.jpg";
    if (!files::writeAtomically(source, bytes)) return 3;
    const auto json = Value::dict({{"sourcePath", source.string()}, {"savePath", saved.string()}, {"width", width},
                                   {"height", height}});
    Cost cost;
    const bool written = ImageOperations::SaveThumbnail(json.toJSON());
    cost.print(written && files::readData(saved));
    return 0;
}

int web(const Data& bytes) {
    standin::HttpServer server("child");
    server.scriptAlways("/picture", standin::Reply::text(std::string(bytes.begin(), bytes.end()), "image/jp2"));
    if (!server.start()) return 3;
    ZVWebImageManager manager(nullptr, nullptr);
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false, image = false;
    Cost cost;
    auto operation = manager.requestImageWithURL(
        *NSURL::URLWithString(server.baseURL() + "/picture"), 0, {}, {},
        [&](std::shared_ptr<UIImage> loaded, const NSURL&, ZVWebImageSource, ZVWebImageStage stage,
            const std::optional<Error>&) {
            if (stage == ZVWebImageStageIntermediate) return;
            std::lock_guard lock(mutex);
            image = loaded != nullptr;
            done = true;
            ended.notify_all();
        });
    std::unique_lock lock(mutex);
    if (!ended.wait_for(lock, std::chrono::seconds(120), [&] { return done; })) return 4;
    cost.print(image);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string road = argv[1];
    auto bytes = files::readData(argv[2]);
    if (!bytes) return 2;
    if (road == "plain" && argc == 3) return plain(*bytes);
    if (road == "thumbnail" && argc == 5) return thumbnail(*bytes, std::atoi(argv[3]), std::atoi(argv[4]));
    if (road == "web" && argc == 3) return web(*bytes);
    return 2;
}
