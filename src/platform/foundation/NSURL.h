#pragma once
// URL parsing in the manner of the platform's URL object: the parts of an
// absolute URL "scheme://user@host:port/path?query#fragment" or of a
// scheme-less relative reference.

#include <optional>
#include <string>
#include <utility>
#include <vector>

class NSURL {
public:
    // nullopt for an empty text or one holding blanks or control characters.
    static std::optional<NSURL> URLWithString(const std::string& text);
    static NSURL fileURLWithPath(const std::string& path);

    const std::string& absoluteString() const { return text_; }
    const std::string& scheme() const { return scheme_; }  // as written
    const std::string& host() const { return host_; }
    std::optional<int> port() const { return port_; }
    const std::string& user() const { return user_; }
    // The path, percent-decoded ("" when absent).
    std::string path() const;
    const std::string& percentEncodedPath() const { return path_; }
    const std::string& query() const { return query_; }          // without '?'
    const std::string& fragment() const { return fragment_; }    // without '#'
    bool hasQuery() const { return hasQuery_; }
    std::string lastPathComponent() const;
    std::string pathExtension() const;
    bool isFileURL() const;

    // Query items "a=1&b=2" decoded (blank for '+'); items without '=' get "".
    std::vector<std::pair<std::string, std::string>> queryItems() const;

    bool operator==(const NSURL& o) const { return text_ == o.text_; }

private:
    std::string text_, scheme_, user_, host_, path_, query_, fragment_;
    std::optional<int> port_;
    bool hasQuery_ = false;
};
