#pragma once
// The head of an HTTP/1.x request as the media server reads it from a
// socket: the request line and the header fields up to the blank line.
//
// The reader looks at the bytes received so far and never copies more than
// it was given: a head that has not ended within `maxBytes` is TooLarge
// (however many bytes a client would go on sending), and one that ends but
// cannot be a request is Malformed. Lines end with LF or CRLF; blank lines
// before a request line are skipped (allowed between keep-alive requests).

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/web/NSURLRequest.h"

struct MediaRequest {
    std::string method, target, version;
    HTTPHeaderFields headers;
    std::string header(std::string_view name) const { return headerValue(headers, name).value_or(""); }
    // HTTP/1.1 keeps the connection unless told "close"; 1.0 never does.
    bool keepsAlive() const;
    // A body follows the head (a length or a chunked transfer): the server
    // reads no bodies, so such a connection is not used again.
    bool hasBody() const;
};

enum class HeadStatus { Incomplete, Complete, TooLarge, Malformed };

// Reads one head from the start of `bytes`. On Complete, `request` holds it
// and `consumed` is the length of the head (what follows is the next request).
HeadStatus readRequestHead(std::string_view bytes, size_t maxBytes, MediaRequest& request, size_t& consumed);
