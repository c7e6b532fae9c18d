#include "logging/VLASLLogger.h"

#include <cinttypes>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <unistd.h>

#include "logging/VLLog.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

#if KORVEL_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif

// ---- writing ----

std::shared_ptr<VLASLLogger> VLASLLogger::sharedInstance() {
    static auto* instance = new std::shared_ptr<VLASLLogger>(std::make_shared<VLASLLogger>());
    return *instance;
}

VLASLLogger::VLASLLogger() : VLAbstractLogger("varmelund.logging.aslLogger") {}

int VLASLLogger::levelForFlag(uint64_t flag) {
    switch (flag) {
    case VLLogFlagError: return 2;
    case VLLogFlagWarning: return 3;
    case VLLogFlagInfo: return 4;
    default: return 5;
    }
}

void VLASLLogger::logMessage(const VLLogMessagePtr& message) {
    if (!message || isCapturedRecord(*message)) return;
    auto text = lt_textFor(*message);
    if (!text) return;
    // Our tag, so the capture skips the entry, and the reader allowed to see it.
    static const std::string fields = strings::format("VLLOG=1\nREADUID=%d\n", int(geteuid()));
    PlatformLog::writeToSystemLog(static_cast<PlatformLog::Priority>(levelForFlag(message->flag())), *text, {}, fields);
}

// ---- reading ----

namespace {

#if KORVEL_HAVE_SYSTEMD
class JournalSource : public VLSystemLogSource {
public:
    ~JournalSource() override {
        if (j_) sd_journal_close(j_);
    }
    bool open(std::string* error) override {
        int r = sd_journal_open(&j_, SD_JOURNAL_LOCAL_ONLY);
        if (r < 0) {
            j_ = nullptr;
            if (error) *error = strerror(-r);
            return false;
        }
        return true;
    }
    void seekToTime(int64_t seconds) override { sd_journal_seek_realtime_usec(j_, uint64_t(seconds) * 1000000); }
    bool next(Entry& e) override {
        if (sd_journal_next(j_) <= 0) return false;
        e = Entry();
        e.message = field("MESSAGE");
        if (auto p = field("PRIORITY")) e.level = strings::leadingInteger(*p);
        uint64_t usec = 0;
        if (sd_journal_get_realtime_usec(j_, &usec) >= 0) e.time = double(usec) / 1e6;
        e.writtenByFramework = field("VLLOG") == std::optional<std::string>("1");
        // The entry's sequence number and its journal, from its cursor
        // ("s=<journal>;i=<hex number>;...").
        char* cursor = nullptr;
        if (sd_journal_get_cursor(j_, &cursor) >= 0 && cursor) {
            std::string_view c(cursor);
            if (strings::hasPrefix(c, "s=")) e.idSpace = std::string(c.substr(2, c.find(';') - 2));
            if (const char* i = strstr(cursor, ";i=")) e.id = strtoull(i + 3, nullptr, 16);
            free(cursor);
        }
        return true;
    }
    void wait(std::chrono::milliseconds timeout) override {
        sd_journal_wait(j_, uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(timeout).count()));
    }

private:
    std::optional<std::string> field(const char* name) {
        const void* data = nullptr;
        size_t length = 0;
        if (sd_journal_get_data(j_, name, &data, &length) < 0) return std::nullopt;
        std::string_view s(static_cast<const char*>(data), length);
        size_t eq = s.find('=');
        return eq == std::string_view::npos ? std::string() : std::string(s.substr(eq + 1));
    }
    sd_journal* j_ = nullptr;
};
#endif

// The capture's state. One capture runs at a time; `floorSecond` is the
// start second of the latest start(), `lastId` the last entry handed on by
// any capture of this process, so none is handed on twice.
struct CaptureState {
    std::mutex mutex;
    bool running = false;
    bool cancel = true;
    int64_t floorSecond = 0;
    std::optional<std::pair<std::string, uint64_t>> lastId;  // log and id
    std::function<std::unique_ptr<VLSystemLogSource>()> factory;
};

CaptureState& state() {
    static auto* s = new CaptureState();
    return *s;
}

std::atomic<uint64_t> gCaptureLevel{VLLogLevelVerbose};

constexpr auto kWakeUp = std::chrono::milliseconds(200);

// Reads until stopped. The source is closed before the capture counts as
// stopped, so that a start() right after never has two reading at once.
void captureLoop() {
    CaptureState& s = state();
    while (true) {
        std::unique_ptr<VLSystemLogSource> source;
        int64_t floor;
        {
            std::lock_guard lock(s.mutex);
            source = s.factory ? s.factory() : VLASLLogCapture::journalSource();
            floor = s.floorSecond;
        }
        std::string error = "no journal on this system";
        if (!source || !source->open(&error)) {
            NSLog("VLASLLogCapture: cannot read the system log: %s", error.c_str());
            std::lock_guard lock(s.mutex);
            s.running = false;
            s.cancel = true;
            return;
        }
        source->seekToTime(floor);
        while (true) {
            source->wait(kWakeUp);
            VLSystemLogSource::Entry entry;
            while (source->next(entry)) {
                {
                    std::lock_guard lock(s.mutex);
                    if (entry.time && *entry.time < double(s.floorSecond)) continue;
                    if (s.lastId && s.lastId->first == entry.idSpace && entry.id <= s.lastId->second) continue;
                    s.lastId = std::make_pair(entry.idSpace, entry.id);
                }
                if (entry.writtenByFramework || (entry.level && *entry.level > 7)) continue;
                VLASLLogCapture::aslMessageReceived(entry);
            }
            std::lock_guard lock(s.mutex);
            if (s.cancel) break;
        }
        source.reset();
        std::lock_guard lock(s.mutex);
        if (s.cancel) {
            s.running = false;
            return;
        }
        // Started again while closing: read on with a fresh source.
    }
}

}  // namespace

std::unique_ptr<VLSystemLogSource> VLASLLogCapture::journalSource() {
#if KORVEL_HAVE_SYSTEMD
    return std::make_unique<JournalSource>();
#else
    return nullptr;
#endif
}

void VLASLLogCapture::start() {
    CaptureState& s = state();
    std::lock_guard lock(s.mutex);
    s.floorSecond = int64_t(std::floor(Clock::timeIntervalSince1970()));
    bool wasRunning = s.running;
    s.cancel = false;
    if (wasRunning) return;  // stopping, not yet stopped: it goes on from the new start second
    s.running = true;
    DispatchQueue::global()->async(captureLoop);
}

void VLASLLogCapture::stop() {
    CaptureState& s = state();
    std::lock_guard lock(s.mutex);
    s.cancel = true;
}

bool VLASLLogCapture::isRunning() {
    CaptureState& s = state();
    std::lock_guard lock(s.mutex);
    return s.running;
}

uint64_t VLASLLogCapture::captureLevel() { return gCaptureLevel.load(); }
void VLASLLogCapture::setCaptureLevel(uint64_t level) { gCaptureLevel.store(level); }

void VLASLLogCapture::setSourceFactory(std::function<std::unique_ptr<VLSystemLogSource>()> factory) {
    CaptureState& s = state();
    std::lock_guard lock(s.mutex);
    s.factory = std::move(factory);
}

void VLASLLogCapture::aslMessageReceived(const VLSystemLogSource::Entry& entry) {
    if (!entry.message) return;
    int64_t level = entry.level.value_or(0);
    uint64_t flag;
    bool async = true;
    if (level >= 0 && level <= 2) {
        flag = VLLogFlagError;
        async = false;
    } else if (level == 3) {
        flag = VLLogFlagWarning;
    } else if (level == 4) {
        flag = VLLogFlagInfo;
    } else if (level == 5) {
        flag = VLLogFlagDebug;
    } else {
        flag = VLLogFlagVerbose;
    }
    uint64_t captureLevel = gCaptureLevel.load();
    if (!(captureLevel & flag)) return;
    double seconds = entry.time.value_or(Clock::timeIntervalSince1970());
    auto when = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(seconds)));
    VLLog::log(async, std::make_shared<VLLogMessage>(*entry.message, captureLevel, flag, 0, "VLASLLogCapture", "", 0,
                                                     Value(), 0, when));
}
