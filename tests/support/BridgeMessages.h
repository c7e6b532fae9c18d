#pragma once
// The script bridge as the plug-ins' page scripts speak it, for tests that
// act as the page or read what native code evaluated.

#include <string>

#include "platform/foundation/Value.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

namespace testsupport {

// What an injected script posts for {name, args}: the page token, then the
// message's JSON text.
inline Value postedMessage(const std::string& name, const Value& args = Value()) {
    Value m = Value::dict({{"name", name}});
    if (!args.isNull()) m.set("args", args);
    return Value(BridgeMessage::pageToken() + m.toJSON());
}

// The dispatcher call of a page callback as an array: [object, name, ...].
inline Value pageCall(const std::string& script) {
    std::string head = std::string(PageCallback::kDispatcher) + "(";
    if (script.rfind(head, 0) != 0 || script.size() < head.size() + 2) return Value();
    return Value::fromJSON(script.substr(head.size(), script.size() - head.size() - 2)).value_or(Value());
}

}  // namespace testsupport
