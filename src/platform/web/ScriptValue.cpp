#include "platform/web/ScriptValue.h"

#include <jsc/jsc.h>

namespace webengine {

Value valueOfScriptValue(JSCValue* value) {
    if (!value) return Value();
    // Texts first: the bridge's messages are texts, and every question
    // asked of the engine here takes its lock.
    if (jsc_value_is_string(value)) {
        // A text is read as it is, without a round trip through JSON.
        if (char* text = jsc_value_to_string(value)) {
            Value out{std::string(text)};
            g_free(text);
            return out;
        }
    }
    if (jsc_value_is_undefined(value) || jsc_value_is_function(value)) return Value();
    char* json = jsc_value_to_json(value, 0);
    if (!json) return Value();
    auto parsed = Value::fromJSON(json);
    g_free(json);
    return parsed ? *parsed : Value();
}

}  // namespace webengine
