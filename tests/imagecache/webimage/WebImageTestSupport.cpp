#include "WebImageTestSupport.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/NSOperationQueue.h"

namespace webimagetest {

std::shared_ptr<CGImage> disc(int w, int h, RGBA8 colour) {
    auto img = CGImage::create(w, h, false);
    double r = std::min(w, h) * 0.3;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool inside = std::hypot(x + 0.5 - w / 2.0, y + 0.5 - h / 2.0) < r;
            img->setPixel(x, y, inside ? RGBA8{255, 255, 255, 255} : colour);
        }
    return img;
}

namespace {
void pngWrite(png_structp png, png_bytep bytes, png_size_t n) {
    auto* out = static_cast<Data*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + n);
}
std::vector<uint8_t> rgba(const CGImage& image) {
    std::vector<uint8_t> px;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            RGBA8 p = image.pixelAt(x, y);
            px.insert(px.end(), {p.r, p.g, p.b, p.a});
        }
    return px;
}
}  // namespace

Data png(const CGImage& image, bool interlaced) {
    Data out;
    auto px = rgba(image);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, pngWrite, nullptr);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, PNG_COLOR_TYPE_RGBA,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_bytep> rows(size_t(image.height()));
    for (int y = 0; y < image.height(); ++y) rows[size_t(y)] = &px[size_t(y) * size_t(image.width()) * 4];
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Data jpeg(const CGImage& image, bool progressive) {
    auto px = rgba(image);
    return jpegOfRows(image.width(), image.height(), progressive, [&](int y, uint8_t* rgb) {
        const uint8_t* in = &px[size_t(y) * size_t(image.width()) * 4];
        for (int x = 0; x < image.width(); ++x, in += 4, rgb += 3) rgb[0] = in[0], rgb[1] = in[1], rgb[2] = in[2];
    });
}

Data jpegOfRows(int w, int h, bool progressive, const std::function<void(int y, uint8_t* rgb)>& row) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long len = 0;
    jpeg_mem_dest(&cinfo, &buf, &len);
    cinfo.image_width = JDIMENSION(w), cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 3, cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> rgb(size_t(w) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        row(int(cinfo.next_scanline), rgb.data());
        JSAMPROW rows[1] = {rgb.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Data out(buf, buf + len);
    free(buf);
    return out;
}

Data stillGIF(int w, int h) {
    Data out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, [](GifFileType* g, const GifByteType* b, int n) {
        static_cast<Data*>(g->UserData)->insert(static_cast<Data*>(g->UserData)->end(), b, b + n);
        return n;
    }, &error);
    GifColorType colours[2] = {{200, 40, 40}, {255, 255, 255}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    EGifPutScreenDesc(gif, w, h, 1, 0, map);
    EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) row[size_t(x)] = GifPixelType((x / 4 + y / 4) % 2);
        EGifPutLine(gif, row.data(), w);
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
    return out;
}

std::shared_ptr<CGImage> noisy(int w, int h) {
    auto img = disc(w, h);
    uint32_t seed = 7;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            RGBA8 p = img->pixelAt(x, y);
            p.r = uint8_t(seed >> 24);
            img->setPixel(x, y, p);
        }
    return img;
}

std::vector<size_t> scanStarts(const Data& jpg) {
    std::vector<size_t> out;
    for (size_t i = 2; i + 1 < jpg.size(); ++i)
        if (jpg[i] == 0xFF && jpg[i + 1] == 0xDA) out.push_back(i);
    return out;
}

std::vector<std::string> scanPieces(const Data& jpg) {
    auto starts = scanStarts(jpg);
    std::vector<std::string> pieces;
    size_t from = 0;
    for (size_t i = 1; i <= starts.size(); ++i) {
        size_t to = i < starts.size() ? starts[i] : jpg.size();
        pieces.push_back(std::string(jpg.begin() + long(from), jpg.begin() + long(to)));
        from = to;
    }
    return pieces;
}

std::string text(const Data& d) { return std::string(d.begin(), d.end()); }

void drainNetworkThread() {
    auto passed = std::make_shared<DispatchSemaphore>(0);
    ZVWebImageOperation::networkThread().perform([passed] { passed->signal(); });
    passed->wait(std::chrono::seconds(10));
}

void drainWebImageThreads() {
    drainNetworkThread();
    for (unsigned i = 0; i < 16; ++i) ZVWebImageOperation::imageQueue()->sync([] {});
    ZVWebImageOperation::partialImageQueue()->sync([] {});
    drainNetworkThread();
}

// ---- Calls

ZVWebImageCompletionHandler Calls::handler() {
    return [state = state_](std::shared_ptr<UIImage> image, const NSURL& url, ZVWebImageSource from,
                            ZVWebImageStage stage, const std::optional<Error>& error) {
        std::lock_guard lock(state->mutex);
        state->calls.push_back({std::move(image), url.absoluteString(), from, stage, error,
                                ZVWebImageOperation::networkThread().isCurrent(), Clock::current().now()});
        state->changed.notify_all();
    };
}

std::vector<Call> Calls::all() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
}

std::vector<Call> Calls::partials() const {
    std::vector<Call> out;
    for (auto& c : all())
        if (c.stage == ZVWebImageStageIntermediate) out.push_back(c);
    return out;
}

size_t Calls::endCount() const {
    size_t n = 0;
    for (auto& c : all()) n += c.stage != ZVWebImageStageIntermediate;
    return n;
}

bool Calls::blockUntilEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] {
        return std::any_of(state_->calls.begin(), state_->calls.end(),
                           [](auto& c) { return c.stage != ZVWebImageStageIntermediate; });
    });
}

std::optional<Call> Calls::waitEnd(std::chrono::milliseconds timeout) {
    if (!testsupport::waitFor([&] { return endCount() > 0; }, timeout)) return std::nullopt;
    for (auto& c : all())
        if (c.stage != ZVWebImageStageIntermediate) return c;
    return std::nullopt;
}

// ---- The fixture

void WebImageEnvironment::setUpEnvironment() {
    ASSERT_TRUE(server.start());
    cache = ZVImageCache::initWithPath((dir.path() / "images").string());
    ASSERT_NE(cache, nullptr);
    manager = makeManager();
}

void WebImageEnvironment::tearDownEnvironment() {
    if (manager && manager->queue()) manager->queue()->waitUntilAllOperationsAreFinished();
}

std::shared_ptr<ZVWebImageManager> WebImageEnvironment::makeManager(bool queued) {
    auto m = std::make_shared<ZVWebImageManager>(cache, queued ? std::make_shared<NSOperationQueue>() : nullptr);
    m->setTimeout(10);
    return m;
}

void WebImageEnvironment::serve(const std::string& path, const Data& bytes, const std::string& type) {
    server.scriptAlways(path, standin::Reply::text(text(bytes), type));
}

std::shared_ptr<ZVWebImageOperation> WebImageEnvironment::request(const std::string& urlText, ZVWebImageOptions options,
                                                           Calls& calls, ZVWebImageProgressHandler progress,
                                                           ZVWebImageTransformHandler transform) {
    auto u = NSURL::URLWithString(urlText);
    EXPECT_TRUE(u) << urlText;
    return u ? manager->requestImageWithURL(*u, options, std::move(progress), std::move(transform), calls.handler())
             : nullptr;
}

std::optional<Call> WebImageEnvironment::load(const std::string& path, ZVWebImageOptions options) {
    Calls calls;
    auto op = request(url(path), options, calls);
    return calls.waitEnd();
}

}  // namespace webimagetest
