#pragma once
// Colours live with the drawing types; kept here for code that includes it from ui/.
#include "platform/graphics/UIColor.h"
