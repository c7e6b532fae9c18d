// Response heads from servers, line by line as curl hands them over: the
// headers kept are bounded and trimmed, a status line starts afresh, and
// the promised length is -1 or a number that some Content-Length spelled.

#include <charconv>

#include "FuzzSupport.h"
#include "platform/foundation/Strings.h"
#include "platform/net/CurlSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text = fuzz::text(data, size);
    HTTPHeaders headers;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(at, end - at);
        httpheaders::collect(headers, line);
        if (strings::hasPrefix(line, "HTTP/")) FUZZ_CHECK(headers.empty());
        at = end;
    }
    FUZZ_CHECK(headers.size() <= 512);
    for (auto& [name, value] : headers) {
        FUZZ_CHECK(!name.empty() && name == strings::trim(name) && value == strings::trim(value));
        FUZZ_CHECK(name.find(':') == std::string::npos);
    }
    int64_t length = httpheaders::expectedLength(headers);
    FUZZ_CHECK(length >= -1);
    if (length >= 0) {
        FUZZ_CHECK(!httpheaders::isContentEncoded(headers));
        bool spelled = false;
        for (auto& [name, value] : headers) {
            int64_t n = -1;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            spelled = spelled || (strings::toLower(name) == "content-length" && ec == std::errc() &&
                                  end == value.data() + value.size() && n == length);
        }
        FUZZ_CHECK(spelled);
    }
    return 0;
}
