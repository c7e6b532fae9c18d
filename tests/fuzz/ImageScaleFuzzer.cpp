// Scales read from file names: the hand-written matcher agrees with a
// plain reading of its rule (per line, the text after the line's last "@"
// must be digits, an optional point, digits and "x"; matches starting
// before position 3 do not count; the last one wins), and the scale is
// always positive and finite.

#include <charconv>
#include <cmath>

#include "FuzzSupport.h"
#include "imagecache/ZVImageScale.h"

namespace {

bool isDigits(std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; }

double reference(std::string_view path) {
    if (path.empty() || path.back() == '/') return 1;
    std::string_view name = ZVPathDeletingExtension(path);
    double scale = 1;
    for (size_t start = 0; start <= name.size();) {
        size_t end = name.find_first_of("\n\r", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view line = name.substr(start, end - start);
        size_t at = line.rfind('@');
        if (at != std::string_view::npos && start + at >= 3 && line.size() - at >= 3 && line.back() == 'x') {
            std::string_view number = line.substr(at + 1, line.size() - at - 2);
            size_t point = number.find('.');
            std::string_view whole = number.substr(0, point);
            std::string_view part = point == std::string_view::npos ? "" : number.substr(point + 1);
            if (!whole.empty() && isDigits(whole) && isDigits(part)) {
                scale = 1;
                std::from_chars(whole.data(), number.data() + number.size() - (part.empty() && point != std::string_view::npos), scale);
            }
        }
        start = end + 1;
    }
    return scale > 0 && std::isfinite(scale) ? scale : 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view path = fuzz::text(data, size);
    double scale = ZVImageScaleFromPath(path);
    FUZZ_CHECK(scale > 0 && std::isfinite(scale));
    FUZZ_CHECK(scale == reference(path));
    FUZZ_CHECK(ZVPathDeletingExtension(path).size() + ZVPathExtension(path).size() <= path.size());
    return 0;
}
