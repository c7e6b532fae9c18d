#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/Strings.h"

namespace fs = std::filesystem;

namespace ContainerPaths {

namespace {

fs::path resolvedPath(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(p, ec);
    if (ec) return fs::path();
    // No trailing separator, so that parents and equality compare plainly.
    if (!c.has_filename() && c.has_parent_path()) c = c.parent_path();
    return c;
}

bool isKeychainFile(const fs::path& resolved, const fs::path& root) {
    if (resolved.parent_path() != root) return false;
    return strings::hasPrefix(resolved.filename().string(), "keychain.sqlite");
}

}  // namespace

std::optional<fs::path> resolve(const std::string& pagePath, Access access) {
    if (pagePath.empty() || pagePath.find('\0') != std::string::npos) return std::nullopt;
    fs::path given(pagePath);
    for (auto& part : given)
        if (part == "..") return std::nullopt;
    fs::path full = given.is_absolute() ? given : AppHome::documents() / given;
    fs::path resolved = resolvedPath(full);
    if (resolved.empty()) return std::nullopt;

    fs::path root = resolvedPath(AppHome::root());
    if (root.empty()) return std::nullopt;
    if (files::isInside(root, resolved)) {
        if (isKeychainFile(resolved, root)) return std::nullopt;
        if (access == Access::Write && resolved == root) return std::nullopt;
        return full.lexically_normal();
    }
    if (access == Access::Read) {
        fs::path bundle = resolvedPath(NSBundle::mainBundle().bundlePath());
        if (!bundle.empty() && files::isInside(bundle, resolved)) return full.lexically_normal();
    }
    return std::nullopt;
}

}  // namespace ContainerPaths
