#include "FuzzSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace fuzz {

namespace {

std::filesystem::path gScratch;

void removeScratch() {
    std::error_code ec;
    if (!gScratch.empty()) std::filesystem::remove_all(gScratch, ec);
}

}  // namespace

std::filesystem::path scratchFolder() {
    if (!gScratch.empty()) return gScratch;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "cannot make a scratch folder: %s\n", std::strerror(errno));
        std::abort();
    }
    gScratch = std::filesystem::canonical(pattern);
    std::atexit(removeScratch);
    return gScratch;
}

void quietPlatformLog() {
    PlatformLog::setStderrEnabled(false);
    PlatformLog::connectSystemSink(PlatformLog::Sink::None, "");
}

uint64_t Input::integer(int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | byte();
    return v;
}

std::string Input::text(size_t max) {
    size_t wanted = byte() % (max + 1);  // before what is left is counted
    size_t n = std::min(wanted, size_ - std::min(at_, size_));
    std::string out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
}

std::string_view Input::rest() const {
    return at_ < size_ ? std::string_view(reinterpret_cast<const char*>(data_ + at_), size_ - at_) : "";
}

Value Input::value(int depth) {
    switch (byte() % (depth > 0 ? 9 : 7)) {
    case 0: return Value();
    case 1: return Value(bool(byte() & 1));
    case 2: return Value(int64_t(integer(8)));
    case 3: {
        uint64_t bits = integer(8);
        double d;
        std::memcpy(&d, &bits, 8);
        return Value(std::isfinite(d) ? d : 0.5);
    }
    case 4: return Value(text());
    case 5: {
        std::string t = text();
        return Value(Data(t.begin(), t.end()));
    }
    case 6: {
        // Whole seconds since 2001, of the years -7500 to 11500: within
        // what a Date holds and far beyond it, as other programs write.
        int64_t seconds = int64_t(integer(8) % 600000000000ull) - 300000000000;
        return *Value::dateFromStoredSeconds(double(seconds));
    }
    case 7: {
        Value out = Value::array();
        for (int n = byte() % 5; n > 0 && !empty(); --n) out.push(value(depth - 1));
        return out;
    }
    default: {
        Value out = Value::dict();
        for (int n = byte() % 5; n > 0 && !empty(); --n) {
            std::string key = text(12);
            out.set(key, value(depth - 1));
        }
        return out;
    }
    }
}

Value storedForm(const Value& v) {
    auto stored = [](std::string_view s) { return binaryplist::storedText(s); };
    if (v.isNull()) return Value("");
    if (auto s = v.getString()) return Value(stored(*s));
    if (auto a = v.getArray()) {
        Value out = Value::array();
        for (auto& e : *a) out.push(storedForm(e));
        return out;
    }
    if (auto d = v.getDict()) {
        Value out = Value::dict();
        for (auto& [k, e] : *d) out.set(stored(k), storedForm(e));
        return out;
    }
    return v;
}

}  // namespace fuzz
