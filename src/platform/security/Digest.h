#pragma once
// Message digests and keyed digests (OpenSSL).

#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace digest {

Data md5(std::string_view bytes);
Data sha1(std::string_view bytes);
Data sha256(std::string_view bytes);
Data hmacSha1(std::string_view key, std::string_view bytes);
Data hmacSha256(std::string_view key, std::string_view bytes);

// 32 lower-case hexadecimal digits of the MD5 of the UTF-8 bytes.
std::string md5Hex(std::string_view bytes);
std::string sha1Hex(std::string_view bytes);
std::string sha256Hex(std::string_view bytes);

}  // namespace digest
