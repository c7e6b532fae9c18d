#include "imagecache/webimage/ZVWebImagePartials.h"

std::shared_ptr<ZVWebImagePartials> ZVWebImagePartials::create(bool blur, std::shared_ptr<Bytes> bytes, Runner run,
                                                               Show show, Now now) {
    return std::make_shared<ZVWebImagePartials>(blur, std::move(bytes), std::move(run), std::move(show),
                                                std::move(now));
}

ZVWebImagePartials::ZVWebImagePartials(bool blur, std::shared_ptr<Bytes> bytes, Runner run, Show show, Now now)
    : bytes_(std::move(bytes)), run_(std::move(run)), show_(std::move(show)), now_(std::move(now)), progressive_(blur) {}

void ZVWebImagePartials::pieceArrived(size_t pieceLength, int64_t expectedSize) {
    if (closed_) return;
    {
        std::lock_guard lock(mutex_);
        expected_ = expectedSize;
        // A waiting decode will read these bytes too; a running one is not
        // followed at once (the interval counts from its end).
        if (state_ != State::Idle || !progressive_.isDue(pieceLength, expectedSize, now_())) return;
        state_ = State::Waiting;
    }
    run_([self = shared_from_this()] { self->decode(); });
}

void ZVWebImagePartials::close() { closed_ = true; }

bool ZVWebImagePartials::inFlight() const {
    std::lock_guard lock(mutex_);
    return state_ != State::Idle;
}

double ZVWebImagePartials::lastRadius() const {
    std::lock_guard lock(mutex_);
    return progressive_.lastRadius();
}

void ZVWebImagePartials::decode() {
    int64_t expected;
    {
        std::lock_guard lock(mutex_);
        state_ = State::Running;
        expected = expected_;
    }
    std::shared_ptr<UIImage> image;
    if (!closed_) {
        Data snapshot;
        {
            std::lock_guard lock(bytes_->mutex);
            snapshot = bytes_->data;
        }
        image = progressive_.partialImage(snapshot, expected, [this] { return closed_.load(); });
        progressive_.decodeEnded(now_());
        ignored_ = progressive_.ignored();
    }
    // Shown before the next decode may start, so partial images keep their order.
    if (image && !closed_) show_(std::move(image));
    std::lock_guard lock(mutex_);
    state_ = State::Idle;
}
