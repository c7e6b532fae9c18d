#pragma once
// Symmetric ciphers (OpenSSL). Single DES survives only for peers whose
// wire format requires it; it is implemented on OpenSSL's own DES block
// functions, which need no provider, so it works on OpenSSL 3 without the
// legacy provider being installed or configured.

#include <optional>
#include <string_view>

#include "platform/foundation/Value.h"

namespace cipher {

// Single DES, ECB mode, PKCS#7 padding. `key` is exactly the 8 key bytes
// (parity bits are ignored). Encryption of n bytes gives 8 * (n / 8 + 1)
// bytes. Decryption gives nullopt for input that is empty, not a multiple
// of 8 bytes long, or whose padding is wrong.
Data desEcbEncrypt(std::string_view key8, std::string_view plain);
std::optional<Data> desEcbDecrypt(std::string_view key8, std::string_view encrypted);

// Cryptographically random bytes.
Data randomBytes(size_t count);

}  // namespace cipher
