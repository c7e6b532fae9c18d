#pragma once
// Programming errors inside the logging framework (a method on the wrong
// queue, a bad argument) are reported, never fatal: the default handler
// writes "<file>: <text>" to the platform log. Tests install their own.

#include <functional>
#include <string>

namespace vl {

using AssertionHandler = std::function<void(const std::string& file, const std::string& text)>;

// nullptr restores the default handler. Returns the previous one.
AssertionHandler setAssertionHandler(AssertionHandler handler);
void assertionFailure(const std::string& file, const std::string& text);

// True when `condition` holds; otherwise reports and answers false.
inline bool check(bool condition, const char* file, const char* text) {
    if (!condition) assertionFailure(file, text);
    return condition;
}

}  // namespace vl
