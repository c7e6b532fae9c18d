#include "platform/device/Camera.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstring>

#include "platform/device/GStreamer.h"
#include "platform/device/HardwareFacts.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/PlatformLog.h"

namespace {

constexpr int kTestFramesPerSecond = 15;

std::mutex gTestMutex;
std::shared_ptr<UIImage> gTestImage;

// The picture upright in the layout GStreamer calls BGRx (Cairo's RGB24).
std::shared_ptr<CGImage> uprightFrame(const UIImage& image) {
    CGSize size = image.size();
    int w = int(size.width * image.scale()), h = int(size.height * image.scale());
    auto ctx = CGContext::bitmap(CGSize{double(w), double(h)}, true, 1);
    if (!ctx) return nullptr;
    image.drawInRect(*ctx, CGRect(0, 0, w, h));
    return ctx->makeImage();
}

GstCaps* rawCaps(int w, int h) {
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, w, "height",
                               G_TYPE_INT, h, "framerate", GST_TYPE_FRACTION, kTestFramesPerSecond, 1, nullptr);
}

}  // namespace

struct Camera::Pipeline {
    GstElement* pipeline = nullptr;
    std::shared_ptr<CGImage> testFrame;  // the test source's picture, when it runs
    uint64_t pushed = 0;                 // test frames pushed (streaming thread)
    bool preferVGA = false;
    bool sawFrame = false;               // main thread

    ~Pipeline() {
        if (!pipeline) return;
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};

std::shared_ptr<Camera> Camera::create(FrameHandler onFrame, FailureHandler onFailure) {
    return std::shared_ptr<Camera>(new Camera(std::move(onFrame), std::move(onFailure)));
}

Camera::Camera(FrameHandler onFrame, FailureHandler onFailure)
    : onFrame_(std::move(onFrame)), onFailure_(std::move(onFailure)), alive_(std::make_shared<bool>(true)) {}

Camera::~Camera() { stop(); }

void Camera::setTestImage(std::shared_ptr<UIImage> image) {
    std::lock_guard lock(gTestMutex);
    gTestImage = std::move(image);
}

std::shared_ptr<UIImage> Camera::testImage() {
    std::lock_guard lock(gTestMutex);
    return gTestImage;
}

bool Camera::isAvailable() { return testImage() || device::cameraAccess() == device::CameraAccess::Available; }

bool Camera::start() {
    if (pipeline_) return true;
    return startPipeline(true);
}

void Camera::stop() {
    if (!pipeline_) return;
    pipeline_.reset();  // back to NULL: streaming threads are joined and the device closed
    // Only now, with no streaming thread left to read it: what was posted
    // before is dropped.
    *alive_ = false;
    alive_ = std::make_shared<bool>(true);
    std::lock_guard lock(frameMutex_);
    pendingFrame_.reset();
}

namespace {

// The test source: the same picture, timestamped at 15 frames a second so
// that the sink plays them at that pace.
void needData(GstAppSrc* src, guint, gpointer data) {
    auto* p = static_cast<Camera::Pipeline*>(data);
    const CGImage& frame = *p->testFrame;
    size_t row = size_t(frame.width()) * 4;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, row * size_t(frame.height()), nullptr);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(map.data + row * size_t(y), frame.data() + size_t(frame.bytesPerRow()) * size_t(y), row);
        gst_buffer_unmap(buffer, &map);
    }
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(p->pushed, GST_SECOND, kTestFramesPerSecond);
    GST_BUFFER_DURATION(buffer) = GST_SECOND / kTestFramesPerSecond;
    ++p->pushed;
    gst_app_src_push_buffer(src, buffer);
}

std::shared_ptr<CGImage> frameOfSample(GstSample* sample) {
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return nullptr;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) return nullptr;
    int w = GST_VIDEO_INFO_WIDTH(&info), h = GST_VIDEO_INFO_HEIGHT(&info);
    auto image = CGImage::create(w, h, false);
    if (image) {
        auto* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        for (int y = 0; y < h; ++y)
            std::memcpy(image->mutableData() + size_t(image->bytesPerRow()) * size_t(y), src + size_t(stride) * size_t(y),
                        size_t(w) * 4);
        image->markDirty();
    }
    gst_video_frame_unmap(&frame);
    return image;
}

}  // namespace

bool Camera::startPipeline(bool preferVGA) {
    auto post = [this](const std::string& reason) {
        std::weak_ptr<Camera> weak = weak_from_this();
        auto alive = alive_;
        DispatchQueue::main()->async([weak, alive, reason] {
            if (auto self = weak.lock(); self && *alive) self->fail(reason);
        });
        return false;
    };
    if (!gstreamer::initialize()) return post("GStreamer cannot start");
    auto picture = testImage();
    std::string device = picture ? "" : device::cameraDevice();
    if (!picture && device.empty()) return post("no camera device");

    auto p = std::make_unique<Pipeline>();
    p->preferVGA = preferVGA && !picture;
    GError* error = nullptr;
    std::string description;
    if (picture) {
        p->testFrame = uprightFrame(*picture);
        if (!p->testFrame) return post("the test picture cannot be drawn");
        description = "appsrc name=source is-live=true format=time ! videoconvert ! videoscale ! "
                      "video/x-raw,format=BGRx ! appsink name=sink sync=true max-buffers=1 drop=true";
    } else {
        gchar* quoted = g_strescape(device.c_str(), nullptr);
        description = std::string("v4l2src device=\"") + quoted + "\" ! " +
                      (p->preferVGA ? "video/x-raw,width=640,height=480 ! " : "") +
                      "videoconvert ! videoscale ! video/x-raw,format=BGRx ! "
                      "appsink name=sink sync=false max-buffers=1 drop=true";
        g_free(quoted);
    }
    p->pipeline = gst_parse_launch(description.c_str(), &error);
    if (!p->pipeline || error) {
        std::string reason = error ? error->message : "the pipeline cannot be made";
        if (error) g_error_free(error);
        return post(reason);
    }
    if (p->testFrame) {
        GstElement* source = gst_bin_get_by_name(GST_BIN(p->pipeline), "source");
        gst_app_src_set_caps(GST_APP_SRC(source), rawCaps(p->testFrame->width(), p->testFrame->height()));
        GstAppSrcCallbacks callbacks{};
        callbacks.need_data = needData;
        gst_app_src_set_callbacks(GST_APP_SRC(source), &callbacks, p.get(), nullptr);
        gst_object_unref(source);
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(p->pipeline), "sink");
    GstAppSinkCallbacks sinkCallbacks{};
    sinkCallbacks.new_sample = [](GstAppSink* s, gpointer data) -> GstFlowReturn {
        GstSample* sample = gst_app_sink_pull_sample(s);
        if (!sample) return GST_FLOW_OK;
        if (auto frame = frameOfSample(sample)) static_cast<Camera*>(data)->frameArrived(std::move(frame));
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &sinkCallbacks, this, nullptr);
    gst_object_unref(sink);

    GstBus* bus = gst_element_get_bus(p->pipeline);
    struct BusTarget {
        std::weak_ptr<Camera> camera;
        std::shared_ptr<bool> alive;
    };
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* m, gpointer data) -> GstBusSyncReply {
            if (GST_MESSAGE_TYPE(m) != GST_MESSAGE_ERROR) return GST_BUS_DROP;
            GError* e = nullptr;
            gst_message_parse_error(m, &e, nullptr);
            std::string reason = e ? e->message : "camera error";
            bool negotiation = e && e->domain == GST_STREAM_ERROR && e->code == GST_STREAM_ERROR_FORMAT;
            if (e) g_error_free(e);
            auto target = *static_cast<BusTarget*>(data);
            DispatchQueue::main()->async([target, reason, negotiation] {
                auto self = target.camera.lock();
                if (!self || !*target.alive) return;
                // A device without 640 × 480 is asked again for its own size.
                if (negotiation && self->pipeline_ && self->pipeline_->preferVGA && !self->pipeline_->sawFrame) {
                    self->stop();
                    self->startPipeline(false);
                    return;
                }
                self->fail(reason);
            });
            return GST_BUS_DROP;
        },
        new BusTarget{weak_from_this(), alive_}, [](gpointer data) { delete static_cast<BusTarget*>(data); });
    gst_object_unref(bus);

    pipeline_ = std::move(p);
    if (gst_element_set_state(pipeline_->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        stop();
        return post("the camera cannot be opened");
    }
    return true;
}

void Camera::frameArrived(std::shared_ptr<CGImage> frame) {
    bool first;
    {
        std::lock_guard lock(frameMutex_);
        first = !pendingFrame_;
        pendingFrame_ = std::move(frame);
    }
    if (!first) return;  // a delivery is already on its way and takes the newest
    std::weak_ptr<Camera> weak = weak_from_this();
    auto alive = alive_;
    DispatchQueue::main()->async([weak, alive] {
        auto self = weak.lock();
        if (!self || !*alive) return;
        std::shared_ptr<CGImage> next;
        {
            std::lock_guard lock(self->frameMutex_);
            next = std::move(self->pendingFrame_);
        }
        if (self->pipeline_) self->pipeline_->sawFrame = true;
        if (next && self->onFrame_) self->onFrame_(next);
    });
}

void Camera::fail(const std::string& reason) {
    NSLog("Camera unavailable: %s", reason.c_str());
    stop();
    if (onFailure_) onFailure_(reason);
}
