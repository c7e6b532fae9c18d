// The photo library's file names and asset URLs: a file of any name is
// listed or skipped without a crash, the name shown is UTF-8, and every
// listed asset's URL leads back to its own file; a URL from outside leads
// to nothing or to a path inside the library.

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "platform/device/PhotoLibraryScan.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    static const fs::path root = [] {
        fuzz::quietPlatformLog();
        photolibrary::setDurationReader([](const fs::path&) { return 1.0; });
        return fuzz::scratchFolder() / "Pictures";
    }();
    std::string input(fuzz::text(data, size));
    // As a URL from outside.
    if (auto path = photolibrary::pathForURL(root, input)) FUZZ_CHECK(files::isInside(root, *path));

    // As a file name (and an album of that name) in the library.
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root);
    std::string name = input.substr(0, 200);
    for (auto& c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name.empty() || name == "." || name == "..") return 0;
    static const std::string png("\x89PNG\r\n\x1a\n", 8);
    std::ofstream(root / name, std::ios::binary) << png;
    fs::create_directories(root / ("album " + name), ec);
    std::ofstream(root / ("album " + name) / "x.mp4", std::ios::binary) << "film";
    auto folders = photolibrary::scan(root);
    FUZZ_CHECK(folders);
    for (auto& folder : *folders) {
        FUZZ_CHECK(strings::isValidUTF8(folder.name));
        for (auto& entry : folder.entries) {
            FUZZ_CHECK(photolibrary::pathForURL(root, entry.url) == entry.path);
            FUZZ_CHECK(photolibrary::entryForPath(root, entry.path));
        }
    }
    return 0;
}
