#include "platform/web/ChunkStream.h"

#include <gio/gio.h>

#include <cstring>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"

namespace webengine {

bool ChunkBuffer::push(const uint8_t* bytes, size_t length) {
    std::unique_lock lock(mutex_);
    if (closed_ || finished_ || error_) return !closed_;
    if (!isMainThread()) cv_.wait(lock, [&] { return closed_ || buffered_ < kHighWater; });
    if (closed_) return false;
    if (length) {
        chunks_.emplace_back(bytes, bytes + length);
        buffered_ += length;
    }
    lock.unlock();
    wakeReaders();
    return true;
}

void ChunkBuffer::finish() {
    {
        std::lock_guard lock(mutex_);
        if (error_) return;
        finished_ = true;
    }
    wakeReaders();
}

void ChunkBuffer::fail(const Error& error) {
    {
        std::lock_guard lock(mutex_);
        if (finished_ || error_) return;
        error_ = error;
    }
    wakeReaders();
}

void ChunkBuffer::wakeReaders() {
    cv_.notify_all();
    g_main_context_wakeup(nullptr);
}

bool ChunkBuffer::readable() {
    std::lock_guard lock(mutex_);
    return !chunks_.empty() || finished_ || error_ || closed_;
}

bool ChunkBuffer::consumerGone() {
    std::lock_guard lock(mutex_);
    return closed_;
}

size_t ChunkBuffer::buffered() {
    std::lock_guard lock(mutex_);
    return buffered_;
}

ChunkBuffer::ReadResult ChunkBuffer::read(uint8_t* out, size_t capacity, size_t& got, Error& error, bool block,
                                          const std::function<bool()>& cancelled) {
    std::unique_lock lock(mutex_);
    got = 0;
    while (true) {
        if (!chunks_.empty()) {
            while (got < capacity && !chunks_.empty()) {
                Data& front = chunks_.front();
                size_t n = std::min(capacity - got, front.size() - frontOffset_);
                std::memcpy(out + got, front.data() + frontOffset_, n);
                got += n;
                frontOffset_ += n;
                if (frontOffset_ == front.size()) {
                    chunks_.pop_front();
                    frontOffset_ = 0;
                }
            }
            buffered_ -= got;
            lock.unlock();
            cv_.notify_all();  // a waiting producer may go on
            return ReadResult::Data;
        }
        if (error_) {
            error = *error_;
            return ReadResult::Failed;
        }
        if (finished_) return ReadResult::End;
        if (!block) return ReadResult::WouldBlock;
        if (cancelled && cancelled()) return ReadResult::WouldBlock;
        cv_.wait_for(lock, std::chrono::milliseconds(50));
    }
}

void ChunkBuffer::close() {
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        closed_ = true;
        chunks_.clear();
        buffered_ = 0;
        if (!finished_ && !error_) notify = std::move(onEarlyClose_);
        onEarlyClose_ = nullptr;
    }
    cv_.notify_all();
    if (notify) notify();
}

void ChunkBuffer::setOnEarlyClose(std::function<void()> f) {
    std::lock_guard lock(mutex_);
    onEarlyClose_ = std::move(f);
}

}  // namespace webengine

// ---- The GObject side ----------------------------------------------------

using webengine::ChunkBuffer;

namespace {

// The engine forwards what it reads to the page's process without waiting
// for the page, so a stream read as fast as it can be piles the answer up
// in the engine's queues (a 256 MiB file grew the process by some 200 MiB).
// A stream hands the engine at most kBurst bytes ahead of kRate bytes a
// second since its first read: a few pieces in flight, not the file.
struct Pace {
    static constexpr double kRate = 32 << 20;
    static constexpr double kBurst = 1 << 20;
    gint64 start = 0;  // microseconds, at the first read
    double handed = 0;

    // Microseconds until the next read may go (0: now).
    gint64 wait() const {
        if (!start) return 0;
        double allowed = kBurst + kRate * double(g_get_monotonic_time() - start) / 1e6;
        return handed < allowed ? 0 : gint64((handed - allowed) * 1e6 / kRate) + 1;
    }
    void took(size_t bytes) {
        if (!start) start = g_get_monotonic_time();
        handed += double(bytes);
    }
};

}  // namespace

struct KorvelChunkStream {
    GInputStream parent;
    std::shared_ptr<ChunkBuffer>* buffer;
    Pace* pace;
};
struct KorvelChunkStreamClass {
    GInputStreamClass parent_class;
};

static void korvel_chunk_stream_pollable_init(GPollableInputStreamInterface* iface);

G_DEFINE_TYPE_WITH_CODE(KorvelChunkStream, korvel_chunk_stream, G_TYPE_INPUT_STREAM,
                        G_IMPLEMENT_INTERFACE(G_TYPE_POLLABLE_INPUT_STREAM, korvel_chunk_stream_pollable_init))

#define KORVEL_CHUNK_STREAM(o) (reinterpret_cast<KorvelChunkStream*>(o))

namespace {

ChunkBuffer& bufferOf(gpointer stream) { return **KORVEL_CHUNK_STREAM(stream)->buffer; }

GQuark errorDomain(const Error& e) { return g_quark_from_string(e.domain.empty() ? "KorvelError" : e.domain.c_str()); }

gssize finishRead(ChunkBuffer::ReadResult r, size_t got, const Error& err, GError** error) {
    switch (r) {
    case ChunkBuffer::ReadResult::Data: return gssize(got);
    case ChunkBuffer::ReadResult::End: return 0;
    case ChunkBuffer::ReadResult::Failed:
        g_set_error_literal(error, errorDomain(err), gint(err.code), err.localizedDescription().c_str());
        return -1;
    case ChunkBuffer::ReadResult::WouldBlock:
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK, "no data yet");
        return -1;
    }
    return -1;
}

gssize readBlocking(GInputStream* stream, void* out, gsize count, GCancellable* cancellable, GError** error) {
    size_t got = 0;
    Error err;
    auto r = bufferOf(stream).read(static_cast<uint8_t*>(out), count, got, err, true,
                                   [&] { return cancellable && g_cancellable_is_cancelled(cancellable); });
    if (r == ChunkBuffer::ReadResult::WouldBlock) {
        g_cancellable_set_error_if_cancelled(cancellable, error);
        return -1;
    }
    return finishRead(r, got, err, error);
}

gboolean closeStream(GInputStream* stream, GCancellable*, GError**) {
    bufferOf(stream).close();
    return TRUE;
}

Pace& paceOf(gpointer stream) { return *KORVEL_CHUNK_STREAM(stream)->pace; }

gboolean canPoll(GPollableInputStream*) { return TRUE; }
// Data waits for its pace; an end or a failure does not.
gboolean isReadable(GPollableInputStream* s) {
    return bufferOf(s).readable() && (bufferOf(s).buffered() == 0 || paceOf(s).wait() == 0);
}

gssize readNonblocking(GPollableInputStream* s, void* out, gsize count, GError** error) {
    if (!isReadable(s)) return finishRead(ChunkBuffer::ReadResult::WouldBlock, 0, Error(), error);
    size_t got = 0;
    Error err;
    auto r = bufferOf(s).read(static_cast<uint8_t*>(out), count, got, err, false);
    paceOf(s).took(got);
    return finishRead(r, got, err, error);
}

// A source that is ready while the buffer is readable; producers wake the
// main context after each push, so prepare() runs again.
struct ReadySource {
    GSource source;
    GPollableInputStream* stream;
};

gboolean readyPrepare(GSource* s, gint* timeout) {
    auto* stream = reinterpret_cast<ReadySource*>(s)->stream;
    gint64 wait = bufferOf(stream).buffered() ? paceOf(stream).wait() : 0;
    *timeout = wait ? gint((wait + 999) / 1000) : -1;
    return isReadable(stream);
}
gboolean readyCheck(GSource* s) { return isReadable(reinterpret_cast<ReadySource*>(s)->stream); }
gboolean readyDispatch(GSource* s, GSourceFunc callback, gpointer data) {
    if (!callback) return FALSE;
    auto* stream = reinterpret_cast<ReadySource*>(s)->stream;
    return reinterpret_cast<GPollableSourceFunc>(reinterpret_cast<void (*)()>(callback))(G_OBJECT(stream), data);
}
void readyFinalize(GSource* s) { g_object_unref(reinterpret_cast<ReadySource*>(s)->stream); }

GSourceFuncs readyFuncs = {readyPrepare, readyCheck, readyDispatch, readyFinalize, nullptr, nullptr};

GSource* createSource(GPollableInputStream* stream, GCancellable* cancellable) {
    GSource* source = g_source_new(&readyFuncs, sizeof(ReadySource));
    reinterpret_cast<ReadySource*>(source)->stream = G_POLLABLE_INPUT_STREAM(g_object_ref(stream));
    g_source_set_name(source, "KorvelChunkStream");
    if (cancellable) {
        // A cancelled read wakes at once.
        GSource* cancel = g_cancellable_source_new(cancellable);
        g_source_set_dummy_callback(cancel);
        g_source_add_child_source(source, cancel);
        g_source_unref(cancel);
    }
    return source;
}

}  // namespace

static void korvel_chunk_stream_finalize(GObject* object) {
    auto* self = KORVEL_CHUNK_STREAM(object);
    if (self->buffer) {
        (*self->buffer)->close();  // a stream dropped unread stops its producer
        delete self->buffer;
        self->buffer = nullptr;
    }
    delete self->pace;
    self->pace = nullptr;
    G_OBJECT_CLASS(korvel_chunk_stream_parent_class)->finalize(object);
}

static void korvel_chunk_stream_class_init(KorvelChunkStreamClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = korvel_chunk_stream_finalize;
    G_INPUT_STREAM_CLASS(klass)->read_fn = readBlocking;
    G_INPUT_STREAM_CLASS(klass)->close_fn = closeStream;
}

static void korvel_chunk_stream_init(KorvelChunkStream* self) {
    self->buffer = nullptr;
    self->pace = new Pace();
}

static void korvel_chunk_stream_pollable_init(GPollableInputStreamInterface* iface) {
    iface->can_poll = canPoll;
    iface->is_readable = isReadable;
    iface->create_source = createSource;
    iface->read_nonblocking = readNonblocking;
}

namespace webengine {

GInputStream* newChunkStream(std::shared_ptr<ChunkBuffer> buffer) {
    auto* s = KORVEL_CHUNK_STREAM(g_object_new(korvel_chunk_stream_get_type(), nullptr));
    s->buffer = new std::shared_ptr<ChunkBuffer>(std::move(buffer));
    return G_INPUT_STREAM(s);
}

}  // namespace webengine
