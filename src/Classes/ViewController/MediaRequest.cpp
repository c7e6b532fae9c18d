#include "Classes/ViewController/MediaRequest.h"

#include "platform/foundation/Strings.h"

namespace {

std::string_view withoutCR(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// A token of the request line: printable, no blanks.
bool isToken(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (c <= 0x20 || c == 0x7F) return false;
    return true;
}

bool parseRequestLine(std::string_view line, MediaRequest& r) {
    auto parts = strings::split(line, " ");
    if (parts.size() != 3 || !isToken(parts[0]) || !isToken(parts[1])) return false;
    if (!strings::hasPrefix(parts[2], "HTTP/1.")) return false;
    r.method = parts[0];
    r.target = parts[1];
    r.version = parts[2];
    return true;
}

bool parseHeaderLine(std::string_view line, MediaRequest& r) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view name = line.substr(0, colon);
    if (!isToken(name)) return false;
    r.headers.emplace_back(std::string(name), strings::trim(line.substr(colon + 1)));
    return true;
}

}  // namespace

bool MediaRequest::keepsAlive() const {
    return version == "HTTP/1.1" && strings::toLower(header("Connection")) != "close";
}

bool MediaRequest::hasBody() const {
    std::string length = header("Content-Length");
    return (!length.empty() && length != "0") || !header("Transfer-Encoding").empty();
}

HeadStatus readRequestHead(std::string_view bytes, size_t maxBytes, MediaRequest& request, size_t& consumed) {
    std::string_view window = bytes.substr(0, maxBytes);
    size_t at = 0;
    // Blank lines before the request line.
    while (at < window.size() && (window[at] == '\n' || (window[at] == '\r' && at + 1 < window.size() && window[at + 1] == '\n')))
        at += window[at] == '\r' ? 2 : 1;
    MediaRequest r;
    bool first = true;
    while (true) {
        size_t end = window.find('\n', at);
        if (end == std::string_view::npos) return bytes.size() >= maxBytes ? HeadStatus::TooLarge : HeadStatus::Incomplete;
        std::string_view line = withoutCR(window.substr(at, end - at));
        at = end + 1;
        if (first) {
            if (!parseRequestLine(line, r)) return HeadStatus::Malformed;
            first = false;
        } else if (line.empty()) {
            request = std::move(r);
            consumed = at;
            return HeadStatus::Complete;
        } else if (!parseHeaderLine(line, r)) {
            return HeadStatus::Malformed;
        }
    }
}
