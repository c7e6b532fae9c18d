#pragma once
// The aggregator SDK's codecs: MD5 texts, Base64, single DES (ECB, PKCS#7)
// and JSON, as used by its signed request envelope, its JSON replies and its
// encrypted channel file. Stateless; callable from any thread. Failures are
// empty results (nullopt or ""), never exceptions.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace Extend {

// ---- texts ----

// 32 lower-case hex digits of the MD5 of the UTF-8 bytes up to the first
// zero byte; "" for the empty text.
std::string md5Stringg(std::string_view text);
// Base64 (standard alphabet, padding, no line breaks) of the bytes; "" for "".
std::string base64Stringg(std::string_view text);
// Kept for callers that expect it: always "" (no decoding is done).
std::string stringFromBase64Stringg(std::string_view text);
// Base64 of the DES encryption of the text's bytes.
std::string base64FromDES128Encrypt(std::string_view text, std::string_view key);
// The same with every "+" written "%2B" (nothing else is escaped): the
// "json_data" value of a request.
std::string urlEncodeFromBase64StrOfDES128Encryptt(std::string_view text, std::string_view key);
// The reverse of the above: "%2B" back to "+", Base64, DES, UTF-8.
// nullopt when any step fails.
std::optional<std::string> urlDecodeFromBase64StrOfDes128Decryptt(std::string_view text, std::string_view key);
// Base64 (no "%2B" step), DES, UTF-8.
std::optional<std::string> DES128DecryptBase64StrWithKey(std::string_view text, std::string_view key);

// ---- bytes ----

// The DES key of a key text: its first 8 bytes, zero-padded, cut at a zero byte.
std::string desKeyOf(std::string_view key);
// DES, ECB mode, PKCS#7 padding, no IV: n bytes give 8 * (n / 8 + 1).
Data des128Encryptt(std::string_view bytes, std::string_view key);
// nullopt when the bytes are not whole blocks or the padding is wrong.
std::optional<Data> des128Decryptt(std::string_view bytes, std::string_view key);
inline std::string_view view(const Data& d) { return {reinterpret_cast<const char*>(d.data()), d.size()}; }

// Strict Base64 (standard alphabet, "=" padding; nothing else accepted).
std::optional<Data> base64DecodeStrict(std::string_view text);

// ---- JSON ----

// Compact JSON text of a dictionary or array; nullopt (logged) otherwise.
std::optional<std::string> jsonString(const Value& value);
// What one server reply may cost, far above what the SDK reads: a longer
// body fails as a transport error, a text of more JSON values as one that
// does not parse.
inline constexpr size_t kMaxReplyBytes = 4u << 20;
inline constexpr size_t kMaxReplyValues = 200000;

// The parsed JSON value, of whatever type; nullopt (logged) on a parse
// error, and for a text of more than kMaxReplyValues values.
std::optional<Value> dictionaryFromJsonData(std::string_view bytes);
std::optional<Value> arrayFromJsonData(std::string_view bytes);

}  // namespace Extend
