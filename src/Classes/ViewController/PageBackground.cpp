#include "Classes/ViewController/PageBackground.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSUserDefaults.h"

namespace pagebackground {

namespace {

// The computed background of the body, else of the root element, as three
// numbers; white when both are transparent (the engine's own default).
#define KORVEL_BACKGROUND_FUNCTION                                                                   \
    "function () {"                                                                                  \
    "  var elements = [document.body, document.documentElement];"                                    \
    "  for (var i = 0; i < elements.length; i++) {"                                                  \
    "    if (!elements[i]) continue;"                                                                \
    "    var c = getComputedStyle(elements[i]).backgroundColor;"                                     \
    "    var parts = (c || '').match(/[0-9.]+/g) || [];"                                             \
    "    if (parts.length >= 3 && (parts.length < 4 || Number(parts[3]) > 0))"                       \
    "      return parts.slice(0, 3).map(Number);"                                                    \
    "  }"                                                                                            \
    "  return [255, 255, 255];"                                                                      \
    "}"

}  // namespace

const char* currentScript() { return "(" KORVEL_BACKGROUND_FUNCTION ")()"; }

const char* postingScript() {
    return "(function () {"
           "  var background = " KORVEL_BACKGROUND_FUNCTION ";"
           "  var channel = window.webkit && window.webkit.messageHandlers &&"
           "                window.webkit.messageHandlers.korvelPageBackground;"
           "  if (!channel) return;"
           "  var told = false;"
           "  function tell() { if (!told) { told = true; channel.postMessage(background()); } }"
           "  function whenStyled() {"
           "    var links = Array.prototype.filter.call(document.querySelectorAll('head link[rel~=stylesheet]'),"
           "                                            function (l) { return !l.sheet; });"
           "    var left = links.length;"
           "    if (left === 0) return tell();"
           "    links.forEach(function (l) {"
           "      var done = function () { if (--left === 0) tell(); };"
           "      l.addEventListener('load', done, {once: true});"
           "      l.addEventListener('error', done, {once: true});"
           "    });"
           "  }"
           "  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', whenStyled, {once: true});"
           "  else whenStyled();"
           "  window.addEventListener('load', tell, {once: true});"
           "})();";
}

std::optional<UIColor> colourOf(const Value& rgb) {
    if (!rgb.isArray() || rgb.size() != 3) return std::nullopt;
    for (size_t i = 0; i < 3; ++i)
        if (!rgb[i].isNumber()) return std::nullopt;
    auto channel = [&](size_t i) { return std::clamp(rgb[i].doubleValue(), 0.0, 255.0) / 255.0; };
    return UIColor::colorWithRed(channel(0), channel(1), channel(2));
}

namespace {
constexpr const char* kRememberedKey = "KorvelStartPageBackground";

Value rgbOf(const UIColor& c) {
    auto channel = [](double v) { return Value(int64_t(std::lround(std::clamp(v, 0.0, 1.0) * 255))); };
    return Value::array({channel(c.red), channel(c.green), channel(c.blue)});
}
}  // namespace

std::optional<UIColor> remembered() {
    return colourOf(NSUserDefaults::standardUserDefaults().objectForKey(kRememberedKey));
}

void remember(const UIColor& colour) {
    Value rgb = rgbOf(colour);
    auto& defaults = NSUserDefaults::standardUserDefaults();
    if (defaults.objectForKey(kRememberedKey) != rgb) defaults.setObject(kRememberedKey, rgb);
}

void Handler::userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) {
    if (!heard_) return;
    auto colour = colourOf(m.body);
    if (!colour) return;
    auto heard = std::move(heard_);
    heard_ = nullptr;
    heard(*colour);
}

}  // namespace pagebackground
