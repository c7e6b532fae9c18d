// Addresses and escaped paths from the page and servers: parsing keeps the
// text it was given and finds the same parts again in it; percent-encoding
// then decoding gives back any text, and decoding never grows a text.

#include "FuzzSupport.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(fuzz::text(data, size));
    FUZZ_CHECK(strings::percentDecode(strings::percentEncode(text)) == text);
    FUZZ_CHECK(strings::percentDecode(text).size() <= text.size());
    auto url = NSURL::URLWithString(text);
    if (!url) return 0;
    FUZZ_CHECK(url->absoluteString() == text);
    auto again = NSURL::URLWithString(url->absoluteString());
    FUZZ_CHECK(again);
    FUZZ_CHECK(again->scheme() == url->scheme() && again->host() == url->host() && again->port() == url->port());
    FUZZ_CHECK(again->percentEncodedPath() == url->percentEncodedPath() && again->query() == url->query());
    FUZZ_CHECK(url->path() == strings::percentDecode(url->percentEncodedPath()) || url->path().empty());
    for (auto& [name, value] : url->queryItems()) FUZZ_CHECK(name.size() + value.size() <= url->query().size());
    (void)url->lastPathComponent();
    (void)url->pathExtension();
    return 0;
}
