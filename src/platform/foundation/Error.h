#pragma once
// The platform's error object: a domain, a code and a user-info dictionary.

#include <string>
#include <utility>

#include "platform/foundation/Value.h"

inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* NSPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";

struct Error {
    std::string domain;
    long code = 0;
    Value userInfo;

    Error() = default;
    Error(std::string d, long c, Value info = Value()) : domain(std::move(d)), code(c), userInfo(std::move(info)) {}
    static Error withDescription(std::string domain, long code, std::string description) {
        Error e(std::move(domain), code);
        e.userInfo.set(NSLocalizedDescriptionKey, std::move(description));
        return e;
    }

    // The description in user info, else "The operation couldn't be completed. (<domain> error <code>.)".
    std::string localizedDescription() const;
};
