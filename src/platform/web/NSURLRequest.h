#pragma once
// What a web view asks for and what a URL scheme handler answers: a request
// (URL, method, header fields) and an HTTP response (status, version, header
// fields in the order they were given).

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/NSURL.h"
#include "platform/net/URLSession.h"  // NSURLRequestCachePolicy, shared with the HTTP clients

using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

// Case-insensitive lookup in a header list; the first match wins.
std::optional<std::string> headerValue(const HTTPHeaderFields& fields, std::string_view name);

struct NSURLRequest {
    NSURL URL;
    std::string HTTPMethod = "GET";
    HTTPHeaderFields allHTTPHeaderFields;
    NSURLRequestCachePolicy cachePolicy = NSURLRequestCachePolicy::UseProtocolCachePolicy;
    double timeoutInterval = 60;

    static NSURLRequest requestWithURL(const NSURL& url) {
        NSURLRequest r;
        r.URL = url;
        return r;
    }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
        return headerValue(allHTTPHeaderFields, name);
    }
    void setValue(const std::string& value, const std::string& field);
};

struct NSHTTPURLResponse {
    NSURL URL;
    long statusCode = 200;
    std::string HTTPVersion = "HTTP/1.1";
    HTTPHeaderFields allHeaderFields;

    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
        return headerValue(allHeaderFields, name);
    }
};
