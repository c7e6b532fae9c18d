// String tables of a resource bundle (".strings" property lists) and the
// formats they hold: a table in any shape reads without a crash, a text it
// lacks reads as its key, and filling any format with numbers and text gives
// a bounded text (no padding of millions, nothing read past the arguments).

#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/StringFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto bundle = [] {
        fuzz::quietPlatformLog();
        return fuzz::scratchFolder() / "Table.bundle";
    }();
    auto input = fuzz::text(data, size);
    std::filesystem::create_directories(bundle / "Base.lproj");
    std::ofstream(bundle / "Base.lproj/T.strings", std::ios::binary | std::ios::trunc) << input;
    auto reader = NSBundle::bundleWithPath(bundle);  // a new bundle: nothing cached
    FUZZ_CHECK(reader);
    const std::vector<Value> args{3, -2, 2.5, "text"};
    for (const char* key : {"title", "items_selected", "format_photos", "no such key"}) {
        std::string text = reader->localizedStringForKey(key, "", "T");
        std::string filled = strings::formatWithArguments(text, args);
        FUZZ_CHECK(filled.size() <= text.size() * 1100 + 64);
    }
    FUZZ_CHECK(reader->localizedStringForKey("\x01 absent", "", "T") == "\x01 absent" ||
               reader->localizedStringForKey("\x01 absent", "", "T").size() <= size);
    std::string filled = strings::formatWithArguments(input, args);
    FUZZ_CHECK(filled.size() <= size * 1100 + 64);
    return 0;
}
