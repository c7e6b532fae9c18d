#pragma once
// The partial images of one download, made off the network thread, so that
// a large picture arriving slowly never holds up the bytes of any other.
//
// The network thread appends each piece to the shared bytes and tells
// pieceArrived(); when a partial image is due (ZVWebImageProgressive::isDue:
// the interval counts from the end of the previous decode) and no decode of
// this download is asked for or runs, the download asks for one of the
// slots it shares with every other download (Slots). With one free, its
// decode goes to the runner (a decode queue) at once; else the download
// takes its place in the slots' line, once, and its decode goes out when a
// slot is passed on to it. So at most one decode is in flight per
// download and no more than the slots over all of them; pieces that come
// while the download's decode is asked for or runs ask for nothing (the
// decode, when it starts, takes every byte that came meanwhile), and the
// downloads take turns in the order they asked. Each decode reads all the
// bytes so far, so the interval follows every one, even one that found
// nothing new to show. The network thread's part is a lock and a
// comparison; the copy, the decode and the blur happen in the decode.
//
// Images go to `show` from the decode, one at a time, in order; the slot
// is held until `show` returned. close() ends it (the download ended,
// failed or was cancelled): a running decode stops at its next step and
// shows nothing, and none starts again (a turn that comes later passes
// the slot straight on). The owner still checks, under its own lock, that
// a shown image may go out.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "imagecache/webimage/ZVWebImageProgressive.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/UIImage.h"

class ZVWebImagePartials : public std::enable_shared_from_this<ZVWebImagePartials> {
public:
    // The partial decodes that may be in flight at once over the downloads
    // sharing it: each one's bitmaps (a large picture's decode, and its
    // blur, cost several times its pixels) live only while it runs, so this
    // bounds what partial images cost in all, however many downloads drip.
    class Slots {
    public:
        explicit Slots(unsigned count) : count_(count) {}
        unsigned taken() const;
        // Downloads in line for a slot.
        size_t waiting() const;

    private:
        friend class ZVWebImagePartials;
        // A slot for `partials` now (true), or its place in the line.
        bool takeOrWait(const std::shared_ptr<ZVWebImagePartials>& partials);
        // The next in line still alive, to which the slot passes; null when
        // none waits, and the slot is free.
        std::shared_ptr<ZVWebImagePartials> giveBack();

        const unsigned count_;
        mutable std::mutex mutex_;  // guards taken_ and line_
        unsigned taken_ = 0;
        std::deque<std::weak_ptr<ZVWebImagePartials>> line_;
    };

    // The bytes of a download so far: the network thread appends, a decode
    // copies.
    struct Bytes {
        std::mutex mutex;  // guards data
        Data data;
    };
    // Runs `decode` later, on another thread (or at once, in the fuzzer).
    using Runner = std::function<void(std::function<void()> decode)>;
    using Show = std::function<void(std::shared_ptr<UIImage> image)>;
    // Seconds on the replaceable clock.
    using Now = std::function<double()>;

    static std::shared_ptr<ZVWebImagePartials> create(bool blur, std::shared_ptr<Bytes> bytes,
                                                      std::shared_ptr<Slots> slots, Runner run, Show show, Now now);

    // A piece of `pieceLength` bytes was appended to the bytes.
    void pieceArrived(size_t pieceLength, int64_t expectedSize);
    void close();
    // Partial images were given up (wrong format, or not progressive with the blur).
    bool ignored() const { return ignored_.load(); }
    // A decode is asked for (in line for a slot, or handed to the runner) or runs.
    bool inFlight() const;
    // The blur radius of the last blurred image (points); read while no
    // decode is in flight.
    double lastRadius() const;

    ZVWebImagePartials(bool blur, std::shared_ptr<Bytes> bytes, std::shared_ptr<Slots> slots, Runner run, Show show,
                       Now now);

private:
    enum class State { Idle, InLine, Waiting, Running };
    // With a slot: the decode goes to the runner.
    void start();
    void decode();

    const std::shared_ptr<Bytes> bytes_;
    const std::shared_ptr<Slots> slots_;
    const Runner run_;
    const Show show_;
    const Now now_;
    std::atomic<bool> closed_{false};
    std::atomic<bool> ignored_{false};

    // Guards state_, expected_, and progressive_ while no decode runs. A
    // slot is ours from Waiting to the end of Running.
    mutable std::mutex mutex_;
    State state_ = State::Idle;
    int64_t expected_ = 0;
    ZVWebImageProgressive progressive_;  // a running decode's alone
};
