// Demo data of the user-centre stand-in, read from a folder of JSON files.

#include <chrono>
#include <ctime>

#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"
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

// Dates in fixtures are relative to the day the stand-in reads them, so
// that what is valid "until next year" stays valid whenever the demo runs.
std::chrono::sys_days localToday() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::chrono::sys_days{std::chrono::year{local.tm_year + 1900} / unsigned(local.tm_mon + 1) /
                                 unsigned(local.tm_mday)};
}

// "{today}", "{today+N}" and "{today-N}" in `text` as the dates
// ("2026-12-08") of that day and N days after or before it; nullopt when a
// "{today" reads as none of them.
std::optional<std::string> datedText(const std::string& text, std::chrono::sys_days today) {
    constexpr std::string_view kOpen = "{today";
    std::string out;
    size_t at = 0;
    for (size_t open; (open = text.find(kOpen, at)) != std::string::npos;) {
        size_t close = text.find('}', open);
        if (close == std::string::npos) return std::nullopt;
        std::string offset = text.substr(open + kOpen.size(), close - open - kOpen.size());
        int days = 0;
        if (!offset.empty()) {
            bool digits = offset.size() >= 2 && offset.size() <= 6 &&
                          offset.find_first_not_of("0123456789", 1) == std::string::npos;
            if (!digits || (offset[0] != '+' && offset[0] != '-')) return std::nullopt;
            days = std::stoi(offset);
        }
        std::chrono::year_month_day date{today + std::chrono::days(days)};
        out.append(text, at, open - at);
        out += strings::format("%04d-%02u-%02u", int(date.year()), unsigned(date.month()), unsigned(date.day()));
        at = close + 1;
    }
    return out + text.substr(at);
}

// `v` with its texts dated; nullopt names the text whose date does not read in `bad`.
std::optional<Value> dated(const Value& v, std::chrono::sys_days today, std::string& bad) {
    if (auto text = v.getString()) {
        auto out = datedText(*text, today);
        if (!out) bad = *text;
        return out ? std::optional<Value>(Value(*out)) : std::nullopt;
    }
    Value out = v;
    if (auto entries = v.getDict())
        for (auto& [key, element] : *entries) {
            auto d = dated(element, today, bad);
            if (!d) return std::nullopt;
            out.set(key, std::move(*d));
        }
    if (auto items = v.getArray())
        for (size_t i = 0; i < items->size(); ++i) {
            auto d = dated((*items)[i], today, bad);
            if (!d) return std::nullopt;
            out.mutableArray()[i] = std::move(*d);
        }
    return out;
}

// The JSON of a file, dated from `today`; nullopt with a message when it does not read.
std::optional<Value> readJSON(const std::filesystem::path& file, std::chrono::sys_days today, std::string* error) {
    auto text = files::readText(file);
    std::optional<Value> v = text ? Value::fromJSON(*text) : std::nullopt;
    if (!v) {
        if (error) *error = file.string() + ": not JSON";
        return std::nullopt;
    }
    std::string bad;
    auto out = dated(*v, today, bad);
    if (!out && error)
        *error = file.string() + ": a date that does not read in \"" + bad + "\" ({today}, {today+N} or {today-N})";
    return out;
}

}  // namespace

bool UserCentreStandin::loadCommentFixtures(const std::filesystem::path& file, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return true;
    auto v = readJSON(file, localToday(), error);
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
    const auto today = localToday();
    for (auto& entry : kListFiles) {
        auto file = folder / entry.file;
        if (!std::filesystem::exists(file, ec)) continue;
        auto v = readJSON(file, today, error);
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
        auto v = readJSON(coupons, today, error);
        if (!v || !loadCoupons(*v, error)) return false;
    }
    if (auto welfare = folder / "welfare.json"; std::filesystem::exists(welfare, ec)) {
        auto v = readJSON(welfare, today, error);
        if (!v || !loadWelfare(*v, error)) return false;
    }
    auto mine = folder / "mine.json";
    if (std::filesystem::exists(mine, ec)) {
        auto v = readJSON(mine, today, error);
        if (!v || !loadMine(*v, error)) return false;
    }
    if (!loadCommentFixtures(folder / "comments.json", error)) return false;
    auto pictures = folder / "pictures.json";
    if (std::filesystem::exists(pictures, ec)) {
        auto v = readJSON(pictures, today, error);
        if (!v) return false;
        pictures_.drawAll(*v);
    }
    return true;
}

}  // namespace standin
