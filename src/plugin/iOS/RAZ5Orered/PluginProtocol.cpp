#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

#include <atomic>
#include <random>

#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"

using strings::jsStringLiteral;

namespace PageCallback {

namespace {
// `parts` are the array's elements after the object and the name, each a
// JSON value already.
std::string call(std::string_view object, std::string_view name, std::string_view parts = {}) {
    std::string out = kDispatcher;
    out += "([";
    out += jsStringLiteral(object);
    out += ",";
    out += jsStringLiteral(name);
    if (!parts.empty()) {
        out += ",";
        out += parts;
    }
    out += "]);";
    return out;
}
}  // namespace

std::string nameOnly(std::string_view object, std::string_view name) { return call(object, name); }

std::string withJSON(std::string_view object, std::string_view name, const std::optional<std::string>& jsonText) {
    if (!jsonText) return nameOnly(object, name);
    return call(object, name, jsStringLiteral(*jsonText) + ",1");
}

std::string withJSONText(std::string_view object, std::string_view name, const char* jsonText) {
    return jsonText ? withJSON(object, name, std::string(jsonText)) : nameOnly(object, name);
}

std::string withText(std::string_view object, std::string_view name, const std::optional<std::string>& text) {
    if (!text) return nameOnly(object, name);
    return call(object, name, jsStringLiteral(*text));
}

std::string withInteger(std::string_view object, std::string_view name, long long value) {
    return call(object, name, std::to_string(value));
}

std::string withBool(std::string_view object, std::string_view name, bool value) {
    return call(object, name, value ? "true" : "false");
}

std::string queryKey(std::string_view prefix, std::string_view operation) {
    return std::string(prefix) + "_" + std::string(operation) + "_CbFunc";
}

}  // namespace PageCallback

namespace {

constexpr const char* kBridgeFile = "plugin/iOS/RAZ5Orered/PluginProtocol";

std::atomic<size_t> gRefused{0};

void refuse() {
    if (gRefused++ == 0)
        pluginLog(true, PluginLogLevelWarning, PluginLogFlagWarning, kBridgeFile, "+[BridgeMessage from:]", __LINE__,
                  "a script message without the game's token was dropped: only the game's top frame reaches "
                  "native code (further ones are counted)");
}

}  // namespace

const std::string& BridgeMessage::pageToken() {
    static const std::string token = [] {
        std::random_device rd;
        std::string t;
        for (int i = 0; i < 4; ++i) t += strings::format("%08x", unsigned(rd()));
        return t;
    }();
    return token;
}

size_t BridgeMessage::refusedCount() { return gRefused.load(); }

std::optional<BridgeMessage> BridgeMessage::from(const Value& body) {
    const std::string* text = body.getString();
    const std::string& token = pageToken();
    if (!text || text->compare(0, token.size(), token) != 0) {
        refuse();
        return std::nullopt;
    }
    auto message = Value::fromJSON(std::string_view(*text).substr(token.size()));
    if (!message || !message->isDict()) return std::nullopt;
    const std::string* name = (*message)["name"].getString();
    if (!name) return std::nullopt;
    return BridgeMessage{*name, (*message)["args"]};
}

std::optional<std::string> BridgeMessage::text() const {
    if (const std::string* s = args.getString()) return *s;
    return std::nullopt;
}

namespace {

// The page callbacks' one entry (see PageCallback), defined once for every
// plug-in and fixed in place.
std::string dispatcherSource() {
    std::string name = jsStringLiteral(PageCallback::kDispatcher);
    return "  if (typeof window[" + name + "] != \"function\") Object.defineProperty(window, " + name + R"JS(, {value: (function() {
   var paths = Object.create(null);
   return function(call) {
    var path = paths[call[0]] || (paths[call[0]] = call[0].split(".")), target = window;
    for (var i = 0; i < path.length; ++i) target = target[path[i]];
    if (call.length < 3) return target.CallFunc(call[1]);
    return target.CallFunc(call[1], call.length > 3 ? JSON.parse(call[2]) : call[2]);
   };
  })()});
)JS";
}

}  // namespace

std::string PluginScript::source() const {
    const std::string obj = jsStringLiteral(object);
    std::string js;
    js += "(function() {\n";
    js += dispatcherSource();
    js += "  var m_CbTable = {};\n";
    if (memberOfPageObject) {
        auto dot = object.rfind('.');
        std::string parentPath = dot == std::string::npos ? "" : object.substr(0, dot);
        js += "  var parent = window;\n";
        for (auto& part : strings::split(parentPath, "."))
            if (!part.empty()) js += "  parent = parent && parent[" + jsStringLiteral(part) + "];\n";
        js += "  if (!parent) { console.warn(" + obj + " + \" needs \" + " +
              jsStringLiteral(parentPath) + "); return; }\n";
        js += "  var self = parent[" + jsStringLiteral(object.substr(dot == std::string::npos ? 0 : dot + 1)) +
              "] = {};\n";
    } else {
        js += "  if (!window[" + obj + "]) window[" + obj + "] = {};\n";
        js += "  var self = window[" + obj + "];\n";
    }
    js += "  console.log(" + jsStringLiteral(startText) + ");\n";
    // One text per message, parsed once natively; the token tells the
    // game's own scripts from anything else that posts to the channel.
    js += "  var TOKEN = " + jsStringLiteral(BridgeMessage::pageToken()) + ", stringify = JSON.stringify;\n";
    js += "  function post(channel, data) { window.webkit.messageHandlers[channel].postMessage(TOKEN + stringify(data)); }\n";
    js += "  function paramError(op) { console.warn(" + obj + " + \".\" + op + \" param error\"); }\n";
    for (const auto& op : operations) {
        const std::string name = jsStringLiteral(op.name);
        const std::string channelName = jsStringLiteral(op.channel.empty() ? channel : op.channel);
        const std::string posted = jsStringLiteral(op.postedName.empty() ? op.name : op.postedName);
        std::string params;
        std::string checks;
        std::string data = "{name: " + posted;
        switch (op.param) {
        case ScriptOperation::Param::None: break;
        case ScriptOperation::Param::Text:
            params = "param";
            checks += "    if (typeof param != \"string\") { paramError(" + name + "); return; }\n";
            data += ", args: param";
            break;
        case ScriptOperation::Param::Number:
            params = "param";
            checks += "    if (typeof param != \"number\") { paramError(" + name + "); return; }\n";
            data += ", args: param";
            break;
        case ScriptOperation::Param::Object:
            params = "param";
            checks += "    if (typeof param != \"object\") { paramError(" + name + "); return; }\n";
            data += ", args: JSON.stringify(param)";
            break;
        }
        data += "}";
        std::string store;
        if (op.callback) {
            params += params.empty() ? "cbFunc" : ", cbFunc";
            checks += "    if (typeof cbFunc != \"function\") { paramError(" + name + "); return; }\n";
            store = "    m_CbTable[" + jsStringLiteral(PageCallback::queryKey(prefix, op.name)) + "] = cbFunc;\n";
        }
        js += "  self[" + name + "] = function(" + params + ") {\n" + checks + store + "    post(" + channelName + ", " +
              data + ");\n  };\n";
    }
    js += "  self.SetCallback = function(cbTable) {\n"
          "    if (!cbTable || typeof cbTable != \"object\") { paramError(\"SetCallback\"); return; }\n"
          "    for (var key in cbTable) {\n"
          "      if (typeof cbTable[key] == \"function\") m_CbTable[key] = cbTable[key];\n"
          "    }\n"
          "  };\n";
    js += "  self.CallFunc = function(name, args) {\n"
          "    var fn = m_CbTable[name];\n"
          "    if (typeof fn != \"function\") { console.warn(" + obj + " + \".CallFunc \" + name + \" not exist\"); return; }\n"
          "    if (args && Array.isArray(args)) fn.apply(null, args);\n"
          "    else fn.call(null, args);\n"
          "  };\n";
    js += "})();\n";
    return js;
}

void PluginState::setInterface(std::shared_ptr<PluginInterface> interface) {
    if (interface) interface_ = std::move(interface);
}

void PluginState::refuseInterface(const PluginInterface& interface) const {
    NSLog("%s: %s is not its kind of interface; ignored", script_.object.c_str(), interface.className().c_str());
}

void PluginState::load(const std::vector<std::pair<int, PluginEventCallback>>& events) {
    if (!interface_) return;
    interface_->InitSDK();
    for (auto& [code, callback] : events) interface_->RegCB(code, callback);
}

void PluginState::unload() {
    if (interface_) interface_->ReleaseSDK();
}

bool PluginState::setWebView(const std::shared_ptr<WKWebView>& webView, bool needsInterface) {
    if ((needsInterface && !interface_) || !webView || webView == webView_) return false;
    webView_ = webView;
    handler_ = makeHandler_();
    auto ucc = webView->configuration()->userContentController();
    ucc->addScriptMessageHandler(handler_, script_.channel);
    ucc->addUserScript(WKUserScript(script_.source(), WKUserScriptInjectionTime::AtDocumentStart, true));
    return true;
}

void PluginState::callJS(const std::string& script) const {
    if (!webView_ || script.empty()) return;
    webView_->evaluateJavaScript(script);
}

void PluginState::reset() {
    interface_.reset();
    webView_.reset();
    handler_.reset();
}
