#pragma once
// Short sounds from files (the platform's system sounds): load once, play
// many times, told on the main queue when a playing has ended. The desktop
// has no silent switch, so a sound always plays through.
//
// SoundPlayer::make() gives the GStreamer player unless tests installed a
// factory of their own.

#include <filesystem>
#include <functional>
#include <memory>

class SoundPlayer {
public:
    using Completion = std::function<void()>;
    virtual ~SoundPlayer() = default;

    // False when the file is not a sound that can be played.
    virtual bool load(const std::filesystem::path& path) = 0;
    // Plays the loaded sound; `ended` runs on the main queue when it has.
    virtual void play(Completion ended) = 0;

    static std::shared_ptr<SoundPlayer> make();
    // nullptr goes back to the GStreamer player.
    static void setFactory(std::function<std::shared_ptr<SoundPlayer>()> factory);
};

// Plays through GStreamer's default audio output (a missing output only
// goes unheard) and reports the end after the clip's length on the
// replaceable clock.
class GStreamerSoundPlayer : public SoundPlayer {
public:
    ~GStreamerSoundPlayer() override;
    bool load(const std::filesystem::path& path) override;
    void play(Completion ended) override;

private:
    void stopOutput();
    std::filesystem::path path_;
    double seconds_ = 0;
    struct Output;
    std::shared_ptr<Output> output_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // completions need the player
};
