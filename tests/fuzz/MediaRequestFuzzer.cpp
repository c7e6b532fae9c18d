// Request heads as the media server reads them from its socket, any bytes
// and any limit: a complete head never reaches past the bytes given or the
// limit, its method and target are tokens without blanks, and the same head
// read again alone (or with more bytes after it) reads the same; a head
// that does not end within the limit is too large, never incomplete.
//
// Input: bytes 0-1 choose the limit (up to 16 KiB, the server's), the
// rest arrives on the socket.

#include "Classes/ViewController/MediaRequest.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    size_t limit = 1 + in.integer(2) % 16384;
    std::string_view bytes = in.rest();
    MediaRequest request;
    size_t consumed = 0;
    HeadStatus status = readRequestHead(bytes, limit, request, consumed);
    if (status == HeadStatus::Incomplete) FUZZ_CHECK(bytes.size() < limit);
    if (status != HeadStatus::Complete) return 0;
    FUZZ_CHECK(consumed > 0 && consumed <= bytes.size() && consumed <= limit);
    FUZZ_CHECK(!request.method.empty() && !request.target.empty());
    for (auto& token : {request.method, request.target})
        FUZZ_CHECK(token.find_first_of(" \t\r\n") == std::string::npos);

    MediaRequest alone;
    size_t again = 0;
    FUZZ_CHECK(readRequestHead(bytes.substr(0, consumed), limit, alone, again) == HeadStatus::Complete);
    FUZZ_CHECK(again == consumed && alone.method == request.method && alone.target == request.target &&
               alone.version == request.version && alone.headers == request.headers);
    return 0;
}
