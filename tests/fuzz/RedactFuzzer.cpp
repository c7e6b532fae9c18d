// What a log prints of credentials and personal data: values (and keys)
// below credential keys at any depth, under every name and in any case, in
// JSON texts inside texts and in addresses (user part, escaped or not,
// path, query, fragment), nested as deep as the input likes. Byte 0
// chooses the way:
// - even: the rest are choices building such a value; no credential or
//   personal value of 8 characters or more comes out whole, however deep;
// - odd: the rest is a text as a reply or an address holds it.
// Either way shortening again changes nothing, and the cost is bounded by
// the size of the unshortened log text: the shortened text at most 16
// times it, the heap's growth at most 400 times it, the CPU time 50 ms and
// 20 µs a byte; texts in texts cost no more than linear.

#include <time.h>

#include <vector>

#include "FuzzSupport.h"
#include "HeapPeak.h"
#include "platform/foundation/Redact.h"
#include "platform/foundation/Strings.h"

namespace {

const redact::Keys kKeys{{"p", "k", "s"}, {"r", "id", "sj"}};

// Planted texts are letters G to Z and planted numbers digits 6 to 9;
// nothing else the shapes hold has those (percent escapes are 0-9 and A-F
// between "%"s, shortened values 4 characters at most), so a run of 8 of
// them in the output is a planted value that came out whole.
constexpr std::string_view kPlantedLetters = "GHIJKLMNOPQRSTUVWXYZ";
const char* const kWordPieces[] = {"a", "b", "x", "token", "data", " ", "-", "_", ".", ",", ":", "/", "\\", "\"", "'",
                                   "{", "}", "[", "]", "=", "&", ";", "?", "#", "%", "+", "@", "中", "令牌", "…", "\n",
                                   "0", "1", "5", "://", "%2", "%e4"};
const char* const kCredentialKeys[] = {"token", "pwd", "Password", "sign", "access_token", "appKey", "secret", "p",
                                       "k", "s", "X-Sign", "user_token", "passwd", "pass", "user_pass", "auth",
                                       "X-Auth", "Authorization", "Cookie", "ticket", "loginTicket", "P", "K"};
const char* const kPersonalKeys[] = {"r", "id", "sj", "phone", "Mobile", "real_name", "idCard", "tel", "ID", "SJ", "R"};

class Shapes {
public:
    explicit Shapes(fuzz::Input& in) : in_(in) {}

    Value shape(int depth) {
        uint8_t choice = in_.byte();
        if (depth <= 0) choice %= 2;
        switch (choice % 7) {
        case 0: return Value(word());
        case 1: return choice & 8 ? Value(int(in_.byte() % 6)) : Value(bool(choice & 16));
        case 2: return Value(shape(depth - 1).toJSON(choice & 8));
        case 3: return Value(address(depth - 1));
        case 4: {
            Value a = Value::array();
            for (int n = in_.byte() % 4; n > 0; --n) a.push(shape(depth - 1));
            return a;
        }
        default: {
            Value d = Value::dict();
            for (int n = in_.byte() % 4; n > 0; --n) {
                uint8_t kind = in_.byte() % 4;
                if (kind == 0) d.set(pick(kCredentialKeys), hidden(depth - 1));
                else if (kind == 1) d.set(pick(kPersonalKeys), hidden(depth - 1));
                else d.set(word(), shape(depth - 1));
            }
            return d;
        }
        }
    }

    const std::vector<std::string>& planted() const { return planted_; }

private:
    template <size_t N>
    std::string pick(const char* const (&list)[N]) {
        return list[in_.byte() % N];
    }

    std::string word() {
        std::string w;
        for (int n = in_.byte() % 6; n > 0; --n) w += pick(kWordPieces);
        return w;
    }

    std::string lowerWord() {
        std::string w(1 + in_.byte() % 4, 'a');
        for (char& c : w) c = char('a' + in_.byte() % 6);
        return w;
    }

    std::string plantedText() {
        std::string t(1 + in_.byte() % 16, 'G');
        for (char& c : t) c = kPlantedLetters[in_.byte() % kPlantedLetters.size()];
        if (t.size() >= 8) planted_.push_back(t);
        return t;
    }

    Value plantedNumber() {
        int64_t n = 0;
        for (int digits = 1 + in_.byte() % 18; digits > 0; --digits) n = n * 10 + 6 + in_.byte() % 4;
        std::string text = std::to_string(n);
        if (text.size() >= 8) planted_.push_back(text);
        return Value(n);
    }

    // What sits below a credential or personal key: keys below it may be
    // credentials too, and a value may be an authorization header's.
    Value hidden(int depth) {
        uint8_t choice = in_.byte();
        if (depth <= 0) choice %= 3;
        switch (choice % 6) {
        case 0: return Value(choice & 8 ? "Bearer " + plantedText() : plantedText());
        case 1: return plantedNumber();
        case 2: return choice & 8 ? Value() : Value(bool(choice & 16));
        case 3: return Value(hidden(depth - 1).toJSON());
        case 4: {
            Value a = Value::array();
            for (int n = in_.byte() % 4; n > 0; --n) a.push(hidden(depth - 1));
            return a;
        }
        default: {
            Value d = Value::dict();
            for (int n = in_.byte() % 4; n > 0; --n) d.set(in_.byte() & 1 ? plantedText() : word(), hidden(depth - 1));
            return d;
        }
        }
    }

    // "https://[user:PASSWORD@]host/path[;pair]/path?pairs#pairs", with "&"
    // or ";" between pairs, or a route with a query in the fragment; the
    // user part's ":" may be escaped.
    std::string address(int depth) {
        uint8_t form = in_.byte();
        std::string a = "https://";
        if (form & 1) a += lowerWord() + (form & 16 ? "%3A" : ":") + plantedText() + "@";
        a += lowerWord() + "/" + lowerWord();
        if (form & 32) a += ";" + pairs(depth, true) + "/" + lowerWord();
        if (form & 2) a += "?" + pairs(depth);
        if (form & 4) a += std::string("#") + (form & 8 ? "/" + lowerWord() + "?" : "") + pairs(depth);
        return a;
    }

    // Pairs of a query or fragment, or of a path segment (";" between them).
    std::string pairs(int depth, bool inPath = false) {
        std::string out;
        for (int n = 1 + in_.byte() % 3; n > 0; --n) {
            if (!out.empty()) out += inPath || in_.byte() & 1 ? ";" : "&";
            uint8_t kind = in_.byte() % 4;
            if (kind == 0) out += pick(kCredentialKeys) + "=" + plantedText();
            else if (kind == 1) out += pick(kPersonalKeys) + "=" + plantedText();
            else out += strings::percentEncode(word()) + "=" + strings::percentEncode(nested(depth));
        }
        return out;
    }

    // A plain query value: a word, a JSON text or another address.
    std::string nested(int depth) {
        uint8_t choice = depth > 0 ? in_.byte() % 3 : 0;
        if (choice == 0) return word();
        return choice == 1 ? shape(depth - 1).toJSON() : address(depth - 1);
    }

    fuzz::Input& in_;
    std::vector<std::string> planted_;
};

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Shortens `v` (and `address`, when given) under the bounds of the header.
std::string shortenedWithinBounds(const Value& v, const std::string* address) {
    const size_t size = v.toJSON().size() + (address ? address->size() : 0);
    const double started = cpuSeconds();
    fuzz::HeapPeak heap;
    std::string shown = redact::json(v, kKeys);
    std::string shownAddress = address ? redact::url(*address, kKeys) : "";
    const double seconds = cpuSeconds() - started;
    auto growth = heap.growth();
    if (growth && *growth > 400 * size + 65536)
        std::fprintf(stderr, "heap grew by %llu bytes for %zu\n", (unsigned long long)*growth, size);
    FUZZ_CHECK(!growth || *growth <= 400 * size + 65536);
    if (seconds > 0.05 + 20e-6 * double(size)) std::fprintf(stderr, "%.3f s for %zu bytes\n", seconds, size);
    FUZZ_CHECK(seconds <= 0.05 + 20e-6 * double(size));
    FUZZ_CHECK(shown.size() + shownAddress.size() <= 16 * size + 64);

    FUZZ_CHECK(redact::credentials(redact::credentials(v, kKeys), kKeys) == redact::credentials(v, kKeys));
    if (address) FUZZ_CHECK(redact::url(shownAddress, kKeys) == shownAddress);
    return shown + "\n" + shownAddress;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    if (in.byte() & 1) {
        std::string text(in.rest());
        shortenedWithinBounds(Value(text), &text);
        return 0;
    }
    Shapes shapes(in);
    Value v = shapes.shape(8);
    std::string shown = shortenedWithinBounds(v, nullptr);
    for (auto& whole : shapes.planted()) {
        if (shown.find(whole) != std::string::npos)
            std::fprintf(stderr, "%s came out whole in\n%s\n", whole.c_str(), shown.c_str());
        FUZZ_CHECK(shown.find(whole) == std::string::npos);
    }
    return 0;
}
