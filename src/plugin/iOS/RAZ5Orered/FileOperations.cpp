#include "plugin/iOS/RAZ5Orered/FileOperations.h"

#include <algorithm>
#include <sys/stat.h>
#include <vector>

#include "platform/foundation/Folder.h"
#include "platform/foundation/Value.h"
#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"
#include "plugin/iOS/RAZ5Orered/PageArgument.h"

namespace fs = std::filesystem;
using ContainerPaths::Access;

namespace FileOperations {

namespace {

// The place the page named, with its folder open: every use below walks
// from that descriptor without following links.
struct Opened {
    files::Place place;
    files::Folder folder;
};

std::optional<Opened> opened(const Arg& path, Access access) {
    if (!path || path->empty()) return std::nullopt;
    auto place = ContainerPaths::resolve(*path, access);
    if (!place) return std::nullopt;
    auto folder = place->folder();
    if (!folder) return std::nullopt;
    return Opened{std::move(*place), std::move(*folder)};
}

struct Pair {
    Opened src, dst;
};

std::optional<Pair> pathPair(const Arg& json, Access srcAccess) {
    auto v = PageArgument::jsonObject(json);
    if (!v) return std::nullopt;
    const std::string* src = (*v)["srcPath"].getString();
    const std::string* dst = (*v)["dstPath"].getString();
    if (!src || !dst) return std::nullopt;
    auto s = opened(*src, srcAccess);
    auto d = opened(*dst, Access::Write);
    if (!s || !d) return std::nullopt;
    // Never into itself (no link is followed, so the paths tell).
    fs::path from = s->place.full(), to = d->place.full();
    auto [fi, ti] = std::mismatch(from.begin(), from.end(), to.begin(), to.end());
    if (fi == from.end()) return std::nullopt;
    // Something must be there to move, and nothing where it goes.
    if (!s->folder.status(s->place.relative) || d->folder.status(d->place.relative)) return std::nullopt;
    return Pair{std::move(*s), std::move(*d)};
}

std::optional<std::string> listing(const Arg& path, bool directories) {
    auto dir = opened(path, Access::Read);
    if (!dir) return std::nullopt;
    auto entries = dir->folder.list(dir->place.relative);
    if (!entries || entries->empty()) return std::nullopt;
    // The system lists in no particular order; the page gets a stable one.
    std::vector<std::string> names;
    for (auto& e : *entries) {
        if (e.type == S_IFLNK) continue;  // the page reaches nothing through a link
        if ((e.type == S_IFDIR) == directories) names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    Value kept = Value::array();
    for (auto& name : names) kept.push(name);
    return kept.toJSON(true);
}

std::optional<mode_t> kindAt(const Arg& path) {
    auto p = opened(path, Access::Read);
    auto st = p ? p->folder.status(p->place.relative) : std::nullopt;
    if (!st) return std::nullopt;
    return mode_t(st->st_mode & S_IFMT);
}

}  // namespace

bool CreateDir(const Arg& path) {
    auto p = opened(path, Access::Write);
    return p && p->folder.makeFolders(p->place.relative);
}

bool MoveFile(const Arg& json) {
    auto pair = pathPair(json, Access::Write);
    return pair && pair->src.folder.moveNoReplace(pair->src.place.relative, pair->dst.folder, pair->dst.place.relative);
}

bool CopyFile(const Arg& json) {
    auto pair = pathPair(json, Access::Read);
    return pair && pair->src.folder.copyNoReplace(pair->src.place.relative, pair->dst.folder, pair->dst.place.relative);
}

std::optional<std::string> GetFilesAtPath(const Arg& path) { return listing(path, false); }
std::optional<std::string> GetDirsAtPath(const Arg& path) { return listing(path, true); }

bool IsExistAtPath(const Arg& path) { return kindAt(path).has_value(); }

bool IsDirAtPath(const Arg& path) { return kindAt(path) == S_IFDIR; }

bool DeleteAtPath(const Arg& path) {
    auto p = opened(path, Access::Write);
    return p && p->folder.status(p->place.relative) && p->folder.removeAll(p->place.relative);
}

}  // namespace FileOperations
