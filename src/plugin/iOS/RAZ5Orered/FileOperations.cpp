#include "plugin/iOS/RAZ5Orered/FileOperations.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Value.h"
#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"
#include "plugin/iOS/RAZ5Orered/PageArgument.h"

namespace fs = std::filesystem;
using ContainerPaths::Access;

namespace FileOperations {

namespace {

std::optional<fs::path> confined(const Arg& path, Access access) {
    if (!path || path->empty()) return std::nullopt;
    return ContainerPaths::resolve(*path, access);
}

struct Pair {
    fs::path src, dst;
};

std::optional<Pair> pathPair(const Arg& json, Access srcAccess) {
    auto v = PageArgument::jsonObject(json);
    if (!v) return std::nullopt;
    const std::string* src = (*v)["srcPath"].getString();
    const std::string* dst = (*v)["dstPath"].getString();
    if (!src || !dst) return std::nullopt;
    auto s = confined(*src, srcAccess);
    auto d = confined(*dst, Access::Write);
    if (!s || !d) return std::nullopt;
    return Pair{*s, *d};
}

// True when `inner` is `outer` or lies below it (after resolving symlinks).
bool within(const fs::path& outer, const fs::path& inner) { return files::isInside(outer, inner); }

bool copyItem(const fs::path& src, const fs::path& dst) {
    std::error_code ec;
    // Links are copied as links: a link to somewhere outside stays a link,
    // and reading through it is still refused.
    auto options = fs::copy_options::recursive | fs::copy_options::copy_symlinks;
    fs::copy(src, dst, options, ec);
    // Copies take the source's modes (a bundle's files are readable by all).
    return !ec && files::makePrivate(dst);
}

std::optional<std::string> listing(const Arg& path, bool directories) {
    auto dir = confined(path, Access::Read);
    if (!dir) return std::nullopt;
    std::error_code ec;
    fs::directory_iterator it(*dir, ec);
    if (ec) return std::nullopt;
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return std::nullopt;
        names.push_back(it->path().filename().string());
    }
    if (names.empty()) return std::nullopt;
    // The system lists in no particular order; the page gets a stable one.
    std::sort(names.begin(), names.end());
    Value kept = Value::array();
    for (auto& name : names) {
        fs::path p = *dir / name;
        if (!fs::exists(p, ec)) continue;
        if (fs::is_directory(p, ec) == directories) kept.push(name);
    }
    return kept.toJSON(true);
}

}  // namespace

bool CreateDir(const Arg& path) {
    auto p = confined(path, Access::Write);
    return p && files::createDirectories(*p);
}

bool MoveFile(const Arg& json) {
    auto pair = pathPair(json, Access::Write);
    if (!pair || !files::exists(pair->src) || files::exists(pair->dst)) return false;
    if (within(pair->src, pair->dst)) return false;
    Error e;
    if (files::renameNoReplace(pair->src, pair->dst, &e)) return true;
    if (e.code != EXDEV) return false;
    // Across file systems: a copy under a private name, then the rename,
    // then the source goes.
    fs::path tmp = pair->dst;
    tmp += ".moving-" + device::newUUID();
    std::error_code ec;
    if (!copyItem(pair->src, tmp) || !files::renameNoReplace(tmp, pair->dst)) {
        fs::remove_all(tmp, ec);
        return false;
    }
    fs::remove_all(pair->src, ec);
    return true;
}

bool CopyFile(const Arg& json) {
    auto pair = pathPair(json, Access::Read);
    if (!pair || !files::exists(pair->src) || files::exists(pair->dst)) return false;
    if (within(pair->src, pair->dst)) return false;
    std::error_code ec;
    if (!fs::is_directory(pair->dst.parent_path(), ec)) return false;
    // Copied under a private name and renamed: the destination appears
    // whole or not at all, and a folder that appeared meanwhile is never
    // merged into.
    fs::path tmp = pair->dst;
    tmp += ".copying-" + device::newUUID();
    if (copyItem(pair->src, tmp) && files::renameNoReplace(tmp, pair->dst)) return true;
    fs::remove_all(tmp, ec);
    return false;
}

std::optional<std::string> GetFilesAtPath(const Arg& path) { return listing(path, false); }
std::optional<std::string> GetDirsAtPath(const Arg& path) { return listing(path, true); }

bool IsExistAtPath(const Arg& path) {
    auto p = confined(path, Access::Read);
    std::error_code ec;
    return p && fs::exists(*p, ec);
}

bool IsDirAtPath(const Arg& path) {
    auto p = confined(path, Access::Read);
    std::error_code ec;
    return p && fs::is_directory(*p, ec);
}

bool DeleteAtPath(const Arg& path) {
    auto p = confined(path, Access::Write);
    if (!p || !files::exists(*p)) return false;
    std::error_code ec;
    fs::remove_all(*p, ec);
    return !ec;
}

}  // namespace FileOperations
