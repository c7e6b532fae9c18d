#include "Classes/ViewController/ByteRange.h"

#include "platform/foundation/Strings.h"

ByteRange ByteRange::parse(std::string_view header, uint64_t size) {
    ByteRange r;
    if (!strings::hasPrefix(header, "bytes=")) return r;
    size_t dash = header.find('-');
    if (dash == std::string_view::npos) return r;
    std::string_view startText = header.substr(6, dash - 6);
    std::string_view endText = header.substr(dash + 1);
    auto number = [](std::string_view t) { return strings::leadingInteger(t); };

    r.kind = Kind::Unsatisfiable;
    if (startText.empty() && !endText.empty() && endText != "*") {
        // The last n bytes.
        int64_t n = number(endText);
        if (n <= 0 || size == 0) return r;
        r.start = uint64_t(n) >= size ? 0 : size - uint64_t(n);
        r.end = size - 1;
        r.kind = Kind::Satisfiable;
        return r;
    }
    int64_t start = number(startText);
    if (start < 0 || uint64_t(start) >= size) return r;
    uint64_t end = size - 1;
    if (!endText.empty() && endText != "*") {
        int64_t e = number(endText);
        if (e < start) return r;
        end = std::min<uint64_t>(uint64_t(e), size - 1);
    }
    r.start = uint64_t(start);
    r.end = end;
    r.kind = Kind::Satisfiable;
    return r;
}
