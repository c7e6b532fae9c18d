// Paths from outside confined to a folder: files::confine over the bundle's
// data, and ContainerPaths::resolve for the page, over a tree with links
// that stay inside, lead out, loop, and dangle inside and out. Whatever is
// accepted lies inside its base once every link is resolved (dangling ones
// to where they would lead); the page's places have no link on their way,
// are never the keychain file, and are written only in the home.
//
// Input: byte 0 chooses the call and the access, the rest is the path.

#include <fstream>

#include "FuzzSupport.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Folder.h"
#include "platform/foundation/NSBundle.h"
#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"

namespace fs = std::filesystem;

namespace {

fs::path gHome, gBundle, gOutside;

void makeTree() {
    fs::path root = fuzz::scratchFolder();
    gHome = root / "home", gBundle = root / "bundle", gOutside = root / "outside";
    for (auto& dir : {gHome / "Documents/a/b", gHome / "Library/Caches", gBundle / "Data/img", gOutside / "deep"})
        fs::create_directories(dir);
    for (auto& file : {gHome / "keychain.sqlite", gHome / "Documents/a/f.txt", gBundle / "Data/img/a.png",
                       gOutside / "secret"})
        std::ofstream(file) << "x";
    fs::path docs = gHome / "Documents", data = gBundle / "Data";
    fs::create_directory_symlink(docs / "a", docs / "in-link");
    fs::create_directory_symlink(gOutside, docs / "out-link");
    fs::create_symlink(gOutside / "planted", docs / "dangling-out");
    fs::create_symlink(docs / "not-yet", docs / "dangling-in");
    fs::create_symlink("../../outside/deep", docs / "a/relative-out");
    fs::create_symlink(docs / "loop-b", docs / "loop-a");
    fs::create_symlink(docs / "loop-a", docs / "loop-b");
    fs::create_symlink(gHome / "keychain.sqlite", docs / "keychain-link");
    fs::create_directory_symlink(gOutside, data / "escape");
    fs::create_symlink(gOutside / "nothing", data / "img/dangling");
    fs::create_symlink("a.png", data / "img/alias.png");
    AppHome::setRoot(gHome);
    NSBundle::setMainBundlePath(gBundle);
}

bool inside(const fs::path& base, const fs::path& path) {
    auto b = files::resolveAll(base), p = files::resolveAll(path);
    if (!b || !p) return false;
    auto [bi, pi] = std::mismatch(b->begin(), b->end(), p->begin(), p->end());
    return bi == b->end();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    makeTree();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string path(fuzz::text(data + 1, size - 1));
    switch (data[0] % 3) {
    case 0:
        if (auto p = files::confine(gBundle / "Data", path)) {
            FUZZ_CHECK(inside(gBundle / "Data", *p));
            FUZZ_CHECK(files::isInside(gBundle / "Data", *p));
        }
        break;
    default: {
        auto access = data[0] % 3 == 1 ? ContainerPaths::Access::Read : ContainerPaths::Access::Write;
        auto place = ContainerPaths::resolve(path, access);
        if (!place) break;
        FUZZ_CHECK(place->base == gHome || (access == ContainerPaths::Access::Read && place->base == gBundle));
        FUZZ_CHECK(inside(place->base, place->full()));
        FUZZ_CHECK(place->folder() && place->folder()->walkable(place->relative));
        FUZZ_CHECK(files::resolveAll(place->full()) == place->full());  // no link on the way
        if (place->base == gHome) {
            FUZZ_CHECK(!place->relative.empty() || access == ContainerPaths::Access::Read);
            FUZZ_CHECK(place->relative.empty() || place->relative.begin()->string().rfind("keychain.sqlite", 0) != 0);
        }
        break;
    }
    }
    return 0;
}
