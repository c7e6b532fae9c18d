#pragma once
// What every plug-in of the script bridge has in common: the interface
// object that does a plug-in's real work, the page callbacks native code
// answers with, the message the page posts, and the state and script of a
// plug-in.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/web/WKWebView.h"

// An event callback gets the event's JSON text, or null when it has none.
using PluginEventCallback = std::function<void(const char* json)>;

// The interface object of a plug-in. Each plug-in's own interface adds one
// method per page operation.
class PluginInterface : public NSObject {
public:
    virtual void InitSDK() = 0;     // start listening for the SDK's results
    virtual void ReleaseSDK() = 0;  // stop listening, forget callbacks
    // 1 when the event code is one the interface reports, else 0.
    virtual int RegCB(int eventCode, PluginEventCallback callback) = 0;
    virtual int UnregCB(int eventCode) = 0;
};

// One statement evaluated in the page that calls the injected object's
// CallFunc with a name and at most one value, the page seeing exactly what
// the classic forms give it, such as
//   RelaySDK_IOS.CallFunc("onLogin", JSON.parse("{\"result\":0}"));
// (the same name and value, `this` the object, one argument for the
// name-only form, whatever CallFunc the page has put on the object).
//
// The statement is one call of the scripts' dispatcher with one array
// literal: [object, name], [object, name, value], or [object, name, JSON
// text, 1] for a value the page gets from JSON.parse of the text, as in
//   __KLCallFunc(["RelaySDK_IOS","onLogin","{\"result\":0}",1]);
// The engine runs a statement of that shape without compiling it (the
// classic forms are compiled anew for every value). Every text is a
// JavaScript string literal, so any text (blanks, quotes, backslashes,
// "</script>", U+2028) reaches the page intact.
namespace PageCallback {
inline constexpr const char* kDispatcher = "__KLCallFunc";
std::string nameOnly(std::string_view object, std::string_view name);
// JSON.parse of the text; nullopt gives the name-only form.
std::string withJSON(std::string_view object, std::string_view name, const std::optional<std::string>& jsonText);
// The same for an event callback's text: null gives the name-only form.
std::string withJSONText(std::string_view object, std::string_view name, const char* jsonText);
std::string withText(std::string_view object, std::string_view name, const std::optional<std::string>& text);
std::string withInteger(std::string_view object, std::string_view name, long long value);
std::string withBool(std::string_view object, std::string_view name, bool value);
// "<prefix>_<operation>_CbFunc"
std::string queryKey(std::string_view prefix, std::string_view operation);
}  // namespace PageCallback

// {name, args} as the page posts it. The plug-ins' scripts post it as one
// JSON text after the launch's page token, which only those scripts know,
// and they run in the game's top frame only: a body without the token
// (another frame posting to a channel directly) is no message. It is
// dropped and counted; the first is logged, and the count at unload.
// Read through typed accessors: a text that is not a dictionary with a text
// "name" is no message either. A lone UTF-16 surrogate in a text arrives
// as U+FFFD.
struct BridgeMessage {
    std::string name;
    Value args;  // null when absent

    static std::optional<BridgeMessage> from(const Value& body);
    // The args as text: only a string is one.
    std::optional<std::string> text() const;

    // A random text chosen once per launch.
    static const std::string& pageToken();
    static size_t refusedCount();
};

// The injected script of a plug-in: an object on window with one function
// per operation, each checking its parameters' types before it posts, and
// the object's SetCallback and CallFunc.
struct ScriptOperation {
    enum class Param { None, Text, Number, Object };
    std::string name;
    Param param = Param::None;
    bool callback = false;    // a value query: the last parameter is the answer's function
    std::string channel;      // another channel than the plug-in's own
    std::string postedName;   // another name than the operation's
};

struct PluginScript {
    std::string object;     // "RelaySDK_IOS"
    std::string channel;    // "iOS_RelaySDK"
    std::string prefix;     // "RelaySDK": query keys are <prefix>_<operation>_CbFunc
    std::string startText;  // "Init Relay"
    std::vector<ScriptOperation> operations;
    // The object is a dotted path ("KXWeb.iOS.SNSDK") whose parent the
    // page's framework defines: the script puts a new object there, and
    // does nothing (with a console warning) when the parent is missing.
    bool memberOfPageObject = false;

    std::string source() const;
};

// The process-wide state every SDK-style plug-in keeps: its interface
// object, its web view and the handler of its channel.
class PluginState {
public:
    using HandlerFactory = std::function<std::shared_ptr<WKScriptMessageHandler>()>;
    PluginState(PluginScript script, HandlerFactory makeHandler)
        : script_(std::move(script)), makeHandler_(std::move(makeHandler)) {}

    // Keeps a non-null interface (null is ignored).
    void setInterface(std::shared_ptr<PluginInterface> interface);
    const std::shared_ptr<PluginInterface>& interface() const { return interface_; }
    // For plug-ins with an interface of their own kind I: keeps only an I
    // (null is ignored, another kind ignored and logged), and reads it back.
    template <class I>
    void setInterfaceOf(const std::shared_ptr<PluginInterface>& interface) {
        if (!interface) return;
        if (!std::dynamic_pointer_cast<I>(interface)) return refuseInterface(*interface);
        setInterface(interface);
    }
    template <class I>
    std::shared_ptr<I> interfaceAs() const {
        return std::dynamic_pointer_cast<I>(interface_);
    }
    // InitSDK, then one RegCB per event.
    void load(const std::vector<std::pair<int, PluginEventCallback>>& events);
    void unload();  // ReleaseSDK
    // Registers the channel and the script on a new web view; nothing for
    // null, for the view already held, or (when `needsInterface`) without
    // an interface. True when it attached.
    bool setWebView(const std::shared_ptr<WKWebView>& webView, bool needsInterface = true);
    const std::shared_ptr<WKWebView>& webView() const { return webView_; }
    void callJS(const std::string& script) const;
    const PluginScript& script() const { return script_; }
    void reset();  // drops interface, web view and handler

private:
    void refuseInterface(const PluginInterface& interface) const;

    PluginScript script_;
    HandlerFactory makeHandler_;
    std::shared_ptr<PluginInterface> interface_;
    std::shared_ptr<WKWebView> webView_;
    std::shared_ptr<WKScriptMessageHandler> handler_;
};
