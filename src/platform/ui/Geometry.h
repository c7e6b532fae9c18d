#pragma once
// Geometry lives with the drawing types; kept here for code that includes it from ui/.
#include "platform/graphics/Geometry.h"
