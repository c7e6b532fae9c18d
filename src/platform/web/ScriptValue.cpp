#include "platform/web/ScriptValue.h"

#include <jsc/jsc.h>

namespace webengine {

Value valueOfScriptValue(JSCValue* value) {
    if (!value || jsc_value_is_undefined(value) || jsc_value_is_function(value)) return Value();
    char* json = jsc_value_to_json(value, 0);
    if (!json) return Value();
    auto parsed = Value::fromJSON(json);
    g_free(json);
    return parsed ? *parsed : Value();
}

}  // namespace webengine
