#include "imagecache/webimage/ZVWebImagePartials.h"

// ---- The slots

unsigned ZVWebImagePartials::Slots::taken() const {
    std::lock_guard lock(mutex_);
    return taken_;
}

size_t ZVWebImagePartials::Slots::waiting() const {
    std::lock_guard lock(mutex_);
    return line_.size();
}

// One step under the lock, so that a slot given back meanwhile cannot pass
// over a download that is just joining the line.
bool ZVWebImagePartials::Slots::takeOrWait(const std::shared_ptr<ZVWebImagePartials>& partials) {
    std::lock_guard lock(mutex_);
    if (taken_ < count_) {
        ++taken_;
        return true;
    }
    line_.push_back(partials);
    return false;
}

std::shared_ptr<ZVWebImagePartials> ZVWebImagePartials::Slots::giveBack() {
    std::lock_guard lock(mutex_);
    while (!line_.empty()) {
        auto next = line_.front().lock();
        line_.pop_front();
        if (next) return next;
    }
    --taken_;
    return nullptr;
}

// ---- One download

std::shared_ptr<ZVWebImagePartials> ZVWebImagePartials::create(bool blur, std::shared_ptr<Bytes> bytes,
                                                               std::shared_ptr<Slots> slots, Runner run, Show show,
                                                               Now now) {
    return std::make_shared<ZVWebImagePartials>(blur, std::move(bytes), std::move(slots), std::move(run),
                                                std::move(show), std::move(now));
}

ZVWebImagePartials::ZVWebImagePartials(bool blur, std::shared_ptr<Bytes> bytes, std::shared_ptr<Slots> slots,
                                       Runner run, Show show, Now now)
    : bytes_(std::move(bytes)),
      slots_(std::move(slots)),
      run_(std::move(run)),
      show_(std::move(show)),
      now_(std::move(now)),
      progressive_(blur) {}

void ZVWebImagePartials::pieceArrived(size_t pieceLength, int64_t expectedSize) {
    if (closed_) return;
    {
        std::lock_guard lock(mutex_);
        expected_ = expectedSize;
        // A decode asked for will read these bytes too; a running one is
        // not followed at once (the interval counts from its end).
        if (state_ != State::Idle || !progressive_.isDue(pieceLength, expectedSize, now_())) return;
        state_ = State::InLine;
    }
    if (slots_->takeOrWait(shared_from_this())) start();
}

void ZVWebImagePartials::start() {
    {
        std::lock_guard lock(mutex_);
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
    image.reset();  // the slot covers the image until here
    {
        std::lock_guard lock(mutex_);
        state_ = State::Idle;
    }
    if (auto next = slots_->giveBack()) next->start();
}
