#include "platform/foundation/AppHome.h"

#include <sys/stat.h>

#include <cstdlib>
#include <mutex>

#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"

namespace AppHome {

namespace {
std::mutex gMutex;
std::filesystem::path gRoot;  // guarded by gMutex
bool gRootPrivate = false;   // gRoot has been given mode 0700; guarded by gMutex

std::filesystem::path defaultRoot() {
    if (const char* env = std::getenv("KORVEL_HOME"); env && *env) return env;
    std::filesystem::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) data = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) data = std::filesystem::path(home) / ".local/share";
    else data = "/tmp";
    std::string id = NSBundle::mainBundle().bundleIdentifier();
    return data / (id.empty() ? "korvel" : id);
}

std::filesystem::path sub(const char* rel) {
    auto p = root() / rel;
    files::createDirectories(p);
    return p;
}
}  // namespace

std::filesystem::path root() {
    std::lock_guard lock(gMutex);
    if (gRoot.empty()) gRoot = std::filesystem::absolute(defaultRoot());
    files::createDirectories(gRoot);
    // A home made by an older build, or by hand, may be open to others.
    if (!gRootPrivate) gRootPrivate = ::chmod(gRoot.c_str(), files::kPrivateFolderMode) == 0;
    return gRoot;
}

void setRoot(const std::filesystem::path& path) {
    std::lock_guard lock(gMutex);
    gRoot = std::filesystem::absolute(path);
    gRootPrivate = false;
}

std::filesystem::path documents() { return sub("Documents"); }
std::filesystem::path library() { return sub("Library"); }
std::filesystem::path caches() { return sub("Library/Caches"); }
std::filesystem::path preferences() { return sub("Library/Preferences"); }
std::filesystem::path tmp() { return sub("tmp"); }

}  // namespace AppHome
