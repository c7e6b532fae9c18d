// The "Range" header of the page's media requests, against a file size
// taken from the input: a satisfiable range lies inside the file, and its
// Content-Range names exactly that range.

#include <cstring>

#include "Classes/ViewController/ByteRange.h"
#include "FuzzSupport.h"
#include "platform/foundation/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    uint64_t fileSize = 0;
    std::memcpy(&fileSize, data, 8);
    auto header = fuzz::text(data + 8, size - 8);
    ByteRange r = ByteRange::parse(header, fileSize);
    std::string content = r.contentRange(fileSize);
    switch (r.kind) {
    case ByteRange::Kind::Satisfiable:
        FUZZ_CHECK(r.start <= r.end && r.end < fileSize);
        FUZZ_CHECK(r.length() <= fileSize);
        FUZZ_CHECK(content == strings::format("bytes %llu-%llu/%llu", (unsigned long long)r.start,
                                              (unsigned long long)r.end, (unsigned long long)fileSize));
        break;
    case ByteRange::Kind::Unsatisfiable:
        FUZZ_CHECK(content == "bytes */" + std::to_string(fileSize));
        break;
    case ByteRange::Kind::Malformed: break;
    }
    return 0;
}
