#include "imagecache/ZVImageScale.h"

#include <charconv>
#include <cmath>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of "@[0-9]+\.?[0-9]*x" starting at `at`, when a line ends right
// after it; 0 otherwise.
size_t matchAt(std::string_view s, size_t at) {
    size_t i = at + 1;
    size_t digits = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i == digits) return 0;
    if (i < s.size() && s[i] == '.') ++i;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i >= s.size() || s[i] != 'x') return 0;
    ++i;
    return i == s.size() || s[i] == '\n' || s[i] == '\r' ? i : 0;
}

size_t lastComponentStart(std::string_view path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string_view::npos) return 0;
    size_t slash = path.rfind('/', end);
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Where the extension's point is in the last component; npos when none.
size_t extensionPoint(std::string_view path) {
    size_t start = lastComponentStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= start || dot + 1 >= path.size()) return std::string_view::npos;
    if (path.find('/', dot) != std::string_view::npos) return std::string_view::npos;
    return dot;
}

}  // namespace

std::string_view ZVPathDeletingExtension(std::string_view path) {
    size_t dot = extensionPoint(path);
    return dot == std::string_view::npos ? path : path.substr(0, dot);
}

std::string_view ZVPathExtension(std::string_view path) {
    size_t dot = extensionPoint(path);
    return dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
}

double ZVImageScaleFromPath(std::string_view path) {
    if (path.empty() || path.back() == '/') return 1;
    std::string_view name = ZVPathDeletingExtension(path);
    double scale = 1;
    for (size_t at = name.find('@'); at != std::string_view::npos; at = name.find('@', at + 1)) {
        size_t end = matchAt(name, at);
        if (end == 0 || at < 3) continue;
        // Read without the locale: the point is always a point here.
        std::string_view number = name.substr(at + 1, end - at - 2);
        if (number.back() == '.') number.remove_suffix(1);
        scale = 1;
        std::from_chars(number.data(), number.data() + number.size(), scale);
    }
    return scale > 0 && std::isfinite(scale) ? scale : 1;
}
