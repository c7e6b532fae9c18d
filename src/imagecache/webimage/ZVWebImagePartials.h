#pragma once
// The partial images of one download, made off the network thread, so that
// a large picture arriving slowly never holds up the bytes of any other.
//
// The network thread appends each piece to the shared bytes and tells
// pieceArrived(); when a partial image is due (ZVWebImageProgressive::isDue:
// the interval counts from the end of the previous decode) and no decode of
// this download waits or runs, one decode is handed to the runner (a decode
// queue). So at most one is in flight: a decode still waiting to start
// takes the bytes that came meanwhile (a newer request replaces a waiting
// one), and pieces that come while one runs ask for nothing. Each decode
// reads all the bytes so far, so the interval follows every one, even one
// that found nothing new to show. The network thread's part is a lock and
// a comparison; the copy, the decode and the blur happen in the decode.
//
// Images go to `show` from the decode, one at a time, in order. close()
// ends it (the download ended, failed or was cancelled): a running decode
// stops at its next step and shows nothing, and none starts again. The
// owner still checks, under its own lock, that a shown image may go out.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "imagecache/webimage/ZVWebImageProgressive.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/UIImage.h"

class ZVWebImagePartials : public std::enable_shared_from_this<ZVWebImagePartials> {
public:
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

    static std::shared_ptr<ZVWebImagePartials> create(bool blur, std::shared_ptr<Bytes> bytes, Runner run, Show show,
                                                      Now now);

    // A piece of `pieceLength` bytes was appended to the bytes.
    void pieceArrived(size_t pieceLength, int64_t expectedSize);
    void close();
    // Partial images were given up (wrong format, or not progressive with the blur).
    bool ignored() const { return ignored_.load(); }
    // A decode waits or runs.
    bool inFlight() const;
    // The blur radius of the last blurred image (points); read while no
    // decode is in flight.
    double lastRadius() const;

    ZVWebImagePartials(bool blur, std::shared_ptr<Bytes> bytes, Runner run, Show show, Now now);

private:
    enum class State { Idle, Waiting, Running };
    void decode();

    const std::shared_ptr<Bytes> bytes_;
    const Runner run_;
    const Show show_;
    const Now now_;
    std::atomic<bool> closed_{false};
    std::atomic<bool> ignored_{false};

    mutable std::mutex mutex_;  // guards state_, expected_, and progressive_ while no decode runs
    State state_ = State::Idle;
    int64_t expected_ = 0;
    ZVWebImageProgressive progressive_;  // a running decode's alone
};
