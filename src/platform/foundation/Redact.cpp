#include "platform/foundation/Redact.h"

#include <algorithm>
#include <cctype>

#include "platform/foundation/Strings.h"

namespace redact {
namespace {

bool namesCredential(std::string key) {
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* word : {"token", "password", "pwd", "secret", "key", "sign"})
        if (key.find(word) != std::string::npos) return true;
    return false;
}

}  // namespace

std::string secret(const std::string& text) {
    std::u16string u = strings::toUTF16(text);
    if (u.size() <= 4) return "…";
    size_t keep = u[3] >= 0xD800 && u[3] < 0xDC00 ? 3 : 4;  // never half a surrogate pair
    return strings::fromUTF16(u.substr(0, keep)) + "…";
}

Value credentials(const Value& v, const std::vector<std::string>& alsoSecret) {
    if (v.isArray()) {
        Value out = Value::array();
        for (size_t i = 0; i < v.size(); ++i) out.push(credentials(v[i], alsoSecret));
        return out;
    }
    if (!v.isDict()) return v;
    Value out = Value::dict();
    for (auto& key : v.keys()) {
        const Value& item = v[key];
        bool named = namesCredential(key) || std::find(alsoSecret.begin(), alsoSecret.end(), key) != alsoSecret.end();
        if (named && item.getString()) out.set(key, secret(*item.getString()));
        else out.set(key, credentials(item, alsoSecret));
    }
    return out;
}

std::string json(const Value& v, const std::vector<std::string>& alsoSecret) {
    return credentials(v, alsoSecret).toJSON();
}

std::string json(const std::optional<Value>& v) { return v ? json(*v) : "(none)"; }

std::string url(const std::string& address) {
    size_t query = address.find('?');
    if (query == std::string::npos) return address;
    size_t end = std::min(address.find('#', query), address.size());
    std::string out = address.substr(0, query + 1);
    auto pairs = strings::split(address.substr(query + 1, end - query - 1), "&");
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (i) out += '&';
        size_t eq = pairs[i].find('=');
        bool hidden = eq != std::string::npos && namesCredential(strings::percentDecode(pairs[i].substr(0, eq)));
        out += hidden ? pairs[i].substr(0, eq + 1) + secret(pairs[i].substr(eq + 1)) : pairs[i];
    }
    return out + address.substr(end);
}

}  // namespace redact
