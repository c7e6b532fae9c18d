// Demo data of the user-centre stand-in, read from a folder of JSON files.

#include "platform/foundation/Files.h"
#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVApi.h"

namespace standin {

namespace {

// Which file holds which list.
struct ListFile {
    const char* endpoint;
    const char* file;
};
constexpr ListFile kListFiles[] = {
    {ZVApi::kServerList, "servers.json"},
    {ZVApi::kGuideList, "guides.json"},
    {ZVApi::kActivityList, "activities.json"},
};

// The JSON of a file; nullopt with a message when it does not read.
std::optional<Value> readJSON(const std::filesystem::path& file, std::string* error) {
    auto text = files::readText(file);
    std::optional<Value> v = text ? Value::fromJSON(*text) : std::nullopt;
    if (!v && error) *error = file.string() + ": not JSON";
    return v;
}

}  // namespace

bool UserCentreStandin::loadCommentFixtures(const std::filesystem::path& file, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return true;
    auto v = readJSON(file, error);
    if (!v || !v->isDict()) {
        if (error && v) *error = file.string() + ": not an object";
        return false;
    }
    Comments c;
    if (auto rows = (*v)["rows"].getArray()) c.rows = *rows;
    if (auto replies = (*v)["replies"].getDict())
        for (auto& [id, list] : *replies)
            if (auto items = list.getArray()) c.replies[id] = *items;
    if ((*v)["page_size"].intValue() > 0) c.pageSize = int((*v)["page_size"].intValue());
    setComments(std::move(c));
    return true;
}

bool UserCentreStandin::loadFixtures(const std::filesystem::path& folder, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        if (error) *error = folder.string() + ": no such folder";
        return false;
    }
    for (auto& entry : kListFiles) {
        auto file = folder / entry.file;
        if (!std::filesystem::exists(file, ec)) continue;
        auto v = readJSON(file, error);
        if (!v || !v->isDict()) {
            if (error && v) *error = file.string() + ": not an object";
            return false;
        }
        List l;
        if (auto rows = (*v)["rows"].getArray()) l.rows = *rows;
        if ((*v)["page_size"].intValue() > 0) l.pageSize = int((*v)["page_size"].intValue());
        if ((*v)["extras"].isDict()) l.extras = (*v)["extras"];
        setList(entry.endpoint, std::move(l));
    }
    if (auto coupons = folder / "coupons.json"; std::filesystem::exists(coupons, ec)) {
        auto v = readJSON(coupons, error);
        if (!v || !loadCoupons(*v, error)) return false;
    }
    if (auto welfare = folder / "welfare.json"; std::filesystem::exists(welfare, ec)) {
        auto v = readJSON(welfare, error);
        if (!v || !loadWelfare(*v, error)) return false;
    }
    auto mine = folder / "mine.json";
    if (std::filesystem::exists(mine, ec)) {
        auto v = readJSON(mine, error);
        if (!v || !loadMine(*v, error)) return false;
    }
    if (!loadCommentFixtures(folder / "comments.json", error)) return false;
    auto pictures = folder / "pictures.json";
    if (std::filesystem::exists(pictures, ec)) {
        auto v = readJSON(pictures, error);
        if (!v) return false;
        pictures_.drawAll(*v);
    }
    return true;
}

}  // namespace standin
