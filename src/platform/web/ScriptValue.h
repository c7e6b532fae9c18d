#pragma once
// A value of the page's script world as a Value: its JSON form read back.
// Undefined, functions and values without a JSON form give null.

#include "platform/foundation/Value.h"

typedef struct _JSCValue JSCValue;

namespace webengine {

Value valueOfScriptValue(JSCValue* value);

}  // namespace webengine
