#pragma once
// The camera, on GStreamer: frames of the first capture device that opens
// (v4l2src), or of the test source, a picture repeated 15 times a second
// (setTestImage; the demo sets it from KORVEL_CAMERA_IMAGE). Frames come
// as upright RGB bitmaps, 640 × 480 when the device offers that size, on
// the main thread; at most one waits there (a newer frame replaces it).
//
// A camera that cannot run (no device, a missing plug-in, a busy or failing
// device) is reported once through the failure handler, with the reason
// logged; nothing blocks and nothing crashes. stop() closes the device;
// no frame or failure arrives after it.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/graphics/UIImage.h"

class Camera : public std::enable_shared_from_this<Camera> {
public:
    using FrameHandler = std::function<void(const std::shared_ptr<CGImage>& frame)>;
    using FailureHandler = std::function<void(const std::string& reason)>;

    static std::shared_ptr<Camera> create(FrameHandler onFrame, FailureHandler onFailure);
    ~Camera();

    // Starts capturing; false (and the failure handler, on the main queue)
    // when the pipeline cannot start. Main thread.
    bool start();
    void stop();
    bool isRunning() const { return pipeline_ != nullptr; }

    // The picture the test source repeats; nullptr goes back to the device.
    static void setTestImage(std::shared_ptr<UIImage> image);
    static std::shared_ptr<UIImage> testImage();
    // True when start() has something to open: the test source or a device
    // that opens (HardwareFacts.h).
    static bool isAvailable();

    struct Pipeline;

private:
    Camera(FrameHandler onFrame, FailureHandler onFailure);
    bool startPipeline(bool preferVGA);
    void fail(const std::string& reason);
    void frameArrived(std::shared_ptr<CGImage> frame);

    FrameHandler onFrame_;
    FailureHandler onFailure_;
    std::unique_ptr<Pipeline> pipeline_;
    std::shared_ptr<bool> alive_;  // cleared by stop(): posted frames and failures are dropped
    std::mutex frameMutex_;        // guards pendingFrame_
    std::shared_ptr<CGImage> pendingFrame_;
};
