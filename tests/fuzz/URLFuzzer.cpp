// Addresses and escaped paths from the page and servers: parsing keeps the
// text it was given and finds the same parts again in it; percent-encoding
// then decoding gives back any text, and decoding never grows a text. An
// address shortened for the log keeps everything before its query and
// fragment (but a password in its user part and the values of credential
// parameters in its path), and shortening it again changes nothing.

#include "FuzzSupport.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Redact.h"
#include "platform/foundation/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(fuzz::text(data, size));
    FUZZ_CHECK(strings::percentDecode(strings::percentEncode(text)) == text);
    FUZZ_CHECK(strings::percentDecode(text).size() <= text.size());
    std::string logged = redact::url(text);
    size_t pairs = text.find_first_of("?#");
    size_t kept = pairs == std::string::npos ? text.size() : pairs + 1;
    size_t plain = std::min(kept, text.find(';'));  // path parameters may be shortened
    if (text.find('@') >= kept) FUZZ_CHECK(logged.compare(0, plain, text, 0, plain) == 0);
    FUZZ_CHECK(redact::url(logged) == logged);
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
