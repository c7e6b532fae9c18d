#include "platform/foundation/NSURL.h"

#include <cctype>

#include "platform/foundation/Strings.h"

std::optional<NSURL> NSURL::URLWithString(const std::string& text) {
    if (text.empty()) return std::nullopt;
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F) return std::nullopt;

    NSURL u;
    u.text_ = text;
    std::string rest = text;

    size_t hash = rest.find('#');
    if (hash != std::string::npos) {
        u.fragment_ = rest.substr(hash + 1);
        rest.resize(hash);
    }
    size_t q = rest.find('?');
    if (q != std::string::npos) {
        u.query_ = rest.substr(q + 1);
        u.hasQuery_ = true;
        rest.resize(q);
    }
    // Scheme: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":"
    size_t colon = rest.find(':');
    if (colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        bool ok = true;
        for (size_t i = 0; i < colon; ++i) {
            char c = rest[i];
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) ok = false;
        }
        if (ok) {
            u.scheme_ = rest.substr(0, colon);
            rest = rest.substr(colon + 1);
        }
    }
    if (strings::hasPrefix(rest, "//")) {
        rest = rest.substr(2);
        size_t slash = rest.find('/');
        std::string authority = rest.substr(0, slash);
        rest = slash == std::string::npos ? "" : rest.substr(slash);
        size_t at = authority.rfind('@');
        if (at != std::string::npos) {
            u.user_ = authority.substr(0, at);
            authority = authority.substr(at + 1);
        }
        size_t portColon = authority.rfind(':');
        size_t bracket = authority.rfind(']');
        if (portColon != std::string::npos && (bracket == std::string::npos || portColon > bracket)) {
            std::string p = authority.substr(portColon + 1);
            authority.resize(portColon);
            if (!p.empty()) {
                for (char c : p)
                    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
                if (p.size() > 5) return std::nullopt;
                u.port_ = std::stoi(p);
            }
        }
        u.host_ = authority;
    }
    u.path_ = rest;
    return u;
}

NSURL NSURL::fileURLWithPath(const std::string& path) {
    auto u = URLWithString("file://" + strings::percentEncode(path, "/!$&'()*+,;=:@"));
    return u ? *u : NSURL();
}

std::string NSURL::path() const { return strings::percentDecode(path_); }

std::string NSURL::lastPathComponent() const {
    std::string p = path();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos || p == "/") return p;
    return p.substr(slash + 1);
}

std::string NSURL::pathExtension() const {
    std::string last = lastPathComponent();
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return last.substr(dot + 1);
}

bool NSURL::isFileURL() const { return strings::toLower(scheme_) == "file"; }

std::vector<std::pair<std::string, std::string>> NSURL::queryItems() const {
    std::vector<std::pair<std::string, std::string>> out;
    if (query_.empty()) return out;
    for (auto& item : strings::split(query_, "&")) {
        if (item.empty()) continue;
        size_t eq = item.find('=');
        auto dec = [](std::string s) { return strings::percentDecode(strings::replaceAll(std::move(s), "+", " ")); };
        if (eq == std::string::npos) out.emplace_back(dec(item), "");
        else out.emplace_back(dec(item.substr(0, eq)), dec(item.substr(eq + 1)));
    }
    return out;
}
