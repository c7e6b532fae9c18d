#pragma once
// The codec of the coded request and reply bodies of the user-centre
// server. One interface, used by the client (NetWorkManager) and by the
// stand-in of the server alike, so a real codec replaces the plain one in
// one place.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

class ZVRequestCodec {
public:
    virtual ~ZVRequestCodec() = default;
    // A dictionary as a body.
    virtual std::string encode(const Value& dictionary) const = 0;
    // A body as a dictionary; nullopt when it does not decode to one, or
    // holds more values than a reply may (zvnet::kMaxReplyValues).
    virtual std::optional<Value> decode(std::string_view body) const = 0;

    // The codec in use (the plain one unless another was installed).
    static std::shared_ptr<const ZVRequestCodec> current();
    // nullptr restores the plain codec.
    static void install(std::shared_ptr<const ZVRequestCodec> codec);
};

// The short keys of coded bodies whose texts are credentials: "p" the
// password's digest, "k" a login's sign, "s" the session token. Logs pass
// them to redact:: beside its own names.
inline const std::vector<std::string> kZVCredentialKeys{"p", "k", "s"};
// The short keys whose texts are personal data: "r" the real name and "id"
// the ID number of the real-name check, "sj" a phone number (SMS codes,
// phone binding). Longer names ("phone") redact:: knows itself.
inline const std::vector<std::string> kZVPersonalKeys{"r", "id", "sj"};

// The sign of a login request: MD5 of "i=<name>&g=<game>&t=<time>&key=<app key>".
std::string ZVLoginSign(const std::string& name, const std::string& gameID, const std::string& time,
                        const std::string& appKey);

// The JSON text as it is.
class ZVPlainCodec : public ZVRequestCodec {
public:
    std::string encode(const Value& dictionary) const override;
    std::optional<Value> decode(std::string_view body) const override;
};

// The SDK's own key in the Tasks page's sign (not the game's app key).
inline constexpr const char* kZVTasksAppKey = "tabnexq@!pwz";
// The sign of the Tasks page address: MD5 of
// "username=<name>&appkey=<kZVTasksAppKey>&logintime=<time>", over the raw values.
std::string ZVTasksSign(const std::string& userName, const std::string& loginTime);
