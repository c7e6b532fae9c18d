#pragma once
// Formats that come from outside the program (string tables of a resource
// bundle, server texts) filled with values, the way the platform's
// stringWithFormat: reads them, but without ever handing the format to
// printf: every conversion is read and rendered here, so a hostile format
// can neither read past its arguments nor write through %n.
//
// Understood: %% and conversions with optional positions ("%2$@"), flags
// ("-+ 0#"), width and precision (numbers, or "*" taken from the arguments),
// length modifiers (hh h l ll q z t j L), and the kinds
//   d i u o x X c   integers (a real argument is truncated, text read as a number)
//   f F e E g G     reals
//   @ s S           the argument's text (numbers in their shortest form)
// A conversion without a matching argument renders as nothing; %n and %p
// render as nothing; anything else is copied as it stands.

#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

namespace strings {

std::string formatWithArguments(std::string_view format, const std::vector<Value>& arguments);

}  // namespace strings
