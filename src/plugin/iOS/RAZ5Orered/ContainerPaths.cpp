#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/Strings.h"

namespace fs = std::filesystem;

namespace ContainerPaths {

namespace {

// `path` below `base` (as given, or as resolved), as a relative path.
std::optional<fs::path> below(const fs::path& base, const fs::path& path) {
    for (const fs::path& b : {base.lexically_normal(), files::resolveAll(base).value_or(fs::path())}) {
        if (b.empty()) continue;
        fs::path rel = path.lexically_relative(b);
        if (rel.empty()) continue;
        if (rel == ".") return fs::path();
        if (*rel.begin() == "..") continue;
        // "saves/" is "saves": paths compare plainly.
        if (!rel.has_filename() && rel.has_parent_path()) rel = rel.parent_path();
        return rel;
    }
    return std::nullopt;
}

bool isKeychainFile(const fs::path& relative) {
    return !relative.empty() && strings::hasPrefix(relative.begin()->string(), "keychain.sqlite");
}

}  // namespace

std::optional<files::Place> resolve(const std::string& pagePath, Access access) {
    if (pagePath.empty() || pagePath.find('\0') != std::string::npos) return std::nullopt;
    fs::path given(pagePath);
    for (auto& part : given)
        if (part == "..") return std::nullopt;
    fs::path full = (given.is_absolute() ? given : AppHome::documents() / given).lexically_normal();

    std::optional<files::Place> place;
    fs::path home = AppHome::root();
    if (auto rel = below(home, full)) {
        if (isKeychainFile(*rel)) return std::nullopt;
        if (access == Access::Write && rel->empty()) return std::nullopt;
        place = files::Place{home, *rel};
    } else if (access == Access::Read) {
        fs::path bundle = NSBundle::mainBundle().bundlePath();
        if (auto inBundle = below(bundle, full)) place = files::Place{bundle, *inBundle};
    }
    if (!place) return std::nullopt;
    // A link on the way is refused now; one that appears later is refused
    // when the place is used.
    auto folder = place->folder();
    if (!folder || !folder->walkable(place->relative)) return std::nullopt;
    return place;
}

}  // namespace ContainerPaths
