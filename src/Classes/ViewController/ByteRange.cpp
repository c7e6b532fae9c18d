#include "Classes/ViewController/ByteRange.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

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

std::string ByteRange::contentRange(uint64_t size) const {
    if (kind != Kind::Satisfiable) return strings::format("bytes */%llu", (unsigned long long)size);
    return strings::format("bytes %llu-%llu/%llu", (unsigned long long)start, (unsigned long long)end,
                           (unsigned long long)size);
}

int sendFileRange(int fd, uint64_t offset, uint64_t length, size_t pieceSize,
                  const std::function<bool(const uint8_t*, size_t)>& sink) {
    std::vector<uint8_t> piece(size_t(std::min<uint64_t>(std::max<uint64_t>(length, 1), pieceSize)));
    while (length > 0) {
        ssize_t n = ::pread(fd, piece.data(), size_t(std::min<uint64_t>(length, piece.size())), off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        offset += uint64_t(n);
        length -= uint64_t(n);
        if (!sink(piece.data(), size_t(n))) return 0;
    }
    return 0;
}
