#include "platform/device/SoundPlayer.h"

#include <gst/gst.h>

#include <chrono>
#include <mutex>

#include "platform/device/GStreamer.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {
std::mutex gFactoryMutex;
std::function<std::shared_ptr<SoundPlayer>()> gFactory;
}  // namespace

std::shared_ptr<SoundPlayer> SoundPlayer::make() {
    {
        std::lock_guard lock(gFactoryMutex);
        if (gFactory) return gFactory();
    }
    return std::make_shared<GStreamerSoundPlayer>();
}

void SoundPlayer::setFactory(std::function<std::shared_ptr<SoundPlayer>()> factory) {
    std::lock_guard lock(gFactoryMutex);
    gFactory = std::move(factory);
}

struct GStreamerSoundPlayer::Output {
    GstElement* playbin = nullptr;
    ~Output() {
        if (!playbin) return;
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
    }
};

GStreamerSoundPlayer::~GStreamerSoundPlayer() = default;

bool GStreamerSoundPlayer::load(const std::filesystem::path& path) {
    seconds_ = gstreamer::mediaDuration(path);
    path_ = path;
    return seconds_ > 0;
}

void GStreamerSoundPlayer::stopOutput() { output_.reset(); }

void GStreamerSoundPlayer::play(Completion ended) {
    if (seconds_ <= 0) return;
    stopOutput();
    auto output = std::make_shared<Output>();
    output->playbin = gst_element_factory_make("playbin", nullptr);
    if (output->playbin) {
        gchar* uri = gst_filename_to_uri(path_.c_str(), nullptr);
        g_object_set(output->playbin, "uri", uri, nullptr);
        g_free(uri);
        gst_element_set_state(output->playbin, GST_STATE_PLAYING);
    }
    output_ = output;
    std::weak_ptr<bool> alive = alive_;
    DispatchQueue::main()->asyncAfter(std::chrono::nanoseconds(int64_t(seconds_ * 1e9)),
                                      [alive, ended = std::move(ended)] {
                                          if (alive.expired()) return;  // the player is gone
                                          if (ended) ended();
                                      });
}
