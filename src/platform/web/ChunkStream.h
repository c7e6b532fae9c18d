#pragma once
// The byte pipe between a URL scheme task (the producer, on any thread) and
// the engine (the consumer, reading on the main context): a GInputStream that
// is also pollable, so the engine's reads never tie up a thread while a
// handler is still reading its file.
//
// The producer may wait while too much is buffered (off the main thread
// only: the consumer runs there), which keeps a large answer from ever
// being held whole in memory.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

typedef struct _GInputStream GInputStream;

namespace webengine {

class ChunkBuffer {
public:
    static constexpr size_t kHighWater = 1 << 20;

    // Producer side. push() returns false once the consumer is gone.
    bool push(const uint8_t* bytes, size_t length);
    void finish();
    void fail(const Error& error);

    // Consumer side.
    enum class ReadResult { Data, End, Failed, WouldBlock };
    ReadResult read(uint8_t* out, size_t capacity, size_t& got, Error& error, bool block,
                    const std::function<bool()>& cancelled = {});
    bool readable();
    // The consumer closed the stream; `onClose` runs (on the closing thread)
    // when that happened before the producer finished.
    void close();
    void setOnEarlyClose(std::function<void()> f);
    void wakeReaders();
    bool consumerGone();
    size_t buffered();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Data> chunks_;
    size_t frontOffset_ = 0;
    size_t buffered_ = 0;
    bool finished_ = false;
    std::optional<Error> error_;
    bool closed_ = false;
    std::function<void()> onEarlyClose_;
};

// A new stream reading `buffer` (full transfer).
GInputStream* newChunkStream(std::shared_ptr<ChunkBuffer> buffer);

}  // namespace webengine
