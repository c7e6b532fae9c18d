#include "aggregator/Extend.h"

#include "platform/foundation/Error.h"
#include "platform/foundation/JSONReading.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Cipher.h"
#include "platform/security/Digest.h"

namespace Extend {

std::string md5Stringg(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty()) return "";
    return digest::md5Hex(text);
}

std::string base64Stringg(std::string_view text) { return text.empty() ? "" : strings::base64Encode(text); }

std::string stringFromBase64Stringg(std::string_view) { return ""; }

std::string desKeyOf(std::string_view key) {
    std::string k(key.substr(0, std::min<size_t>(8, key.find('\0'))));
    k.resize(8, '\0');
    return k;
}

Data des128Encryptt(std::string_view bytes, std::string_view key) {
    return cipher::desEcbEncrypt(desKeyOf(key), bytes);
}

std::optional<Data> des128Decryptt(std::string_view bytes, std::string_view key) {
    return cipher::desEcbDecrypt(desKeyOf(key), bytes);
}

std::optional<Data> base64DecodeStrict(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    size_t pad = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (c == '=') {
            ++pad;
            if (i + 2 < text.size()) return std::nullopt;  // "=" only in the last two places
        } else if (!alpha || pad) {
            return std::nullopt;
        }
    }
    if (pad > 2) return std::nullopt;
    return strings::base64Decode(text);
}

std::string base64FromDES128Encrypt(std::string_view text, std::string_view key) {
    return strings::base64Encode(des128Encryptt(text, key));
}

std::string urlEncodeFromBase64StrOfDES128Encryptt(std::string_view text, std::string_view key) {
    return strings::replaceAll(base64FromDES128Encrypt(text, key), "+", "%2B");
}

std::optional<std::string> DES128DecryptBase64StrWithKey(std::string_view text, std::string_view key) {
    auto bytes = base64DecodeStrict(text);
    if (!bytes) return std::nullopt;
    auto plain = des128Decryptt(view(*bytes), key);
    if (!plain) return std::nullopt;
    std::string s(plain->begin(), plain->end());
    if (!strings::isValidUTF8(s)) return std::nullopt;
    return s;
}

std::optional<std::string> urlDecodeFromBase64StrOfDes128Decryptt(std::string_view text, std::string_view key) {
    return DES128DecryptBase64StrWithKey(strings::replaceAll(std::string(text), "%2B", "+"), key);
}

std::optional<std::string> jsonString(const Value& value) {
    if (!value.isDict() && !value.isArray()) {
        NSLog("json封装错误：NSJSONSerialization #CREAT# fail");
        return std::nullopt;
    }
    return value.toJSON();
}

std::optional<Value> dictionaryFromJsonData(std::string_view bytes) {
    Error error;
    auto v = readJSON(bytes, {kMaxReplyValues}, &error);
    if (!v) {
        NSLog("json解析错误：NSJSONSerialization #ANALYZE# fail");
        NSLog("json解析错误：error %s", error.localizedDescription().c_str());
    }
    return v;
}

std::optional<Value> arrayFromJsonData(std::string_view bytes) { return dictionaryFromJsonData(bytes); }

}  // namespace Extend
