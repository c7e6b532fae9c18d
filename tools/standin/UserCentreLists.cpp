// The user centre's paged lists: fixture rows served a page at a time by
// "pagecode", with "lists", "now_page" and "total_page" at the top (no status).

#include <algorithm>

#include "platform/foundation/Strings.h"
#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVApi.h"

namespace standin {

namespace {
// The page asked for: a whole number from 1, else 1.
int pageAskedFor(const std::string& pagecode) {
    std::string t = strings::trim(pagecode);
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) return 1;
    return std::max(1, std::stoi(t));
}
}  // namespace

void UserCentreStandin::setList(const std::string& endpoint, List list) {
    std::lock_guard lock(mutex_);
    lists_[endpoint] = std::move(list);
}

UserCentreStandin::List UserCentreStandin::list(const std::string& endpoint) const {
    std::lock_guard lock(mutex_);
    auto it = lists_.find(endpoint);
    return it == lists_.end() ? List{} : it->second;
}

Value UserCentreStandin::filled(const Value& v) const {
    if (auto text = v.getString()) {
        std::string out = strings::replaceAll(*text, "{pictures}", server_->baseURL() + PictureShelf::kRoute);
        return strings::replaceAll(out, "{server}", serverURL());
    }
    Value out = v;
    if (v.isDict())
        for (auto& [key, element] : *v.getDict()) out.set(key, filled(element));
    if (v.isArray())
        for (size_t i = 0; i < v.size(); ++i) out.mutableArray()[i] = filled(v[i]);
    return out;
}

Value UserCentreStandin::listPage(const std::string& endpoint, const std::string& pagecode) const {
    return pageOf(list(endpoint), pagecode);
}

Value UserCentreStandin::pageOf(const List& l, const std::string& pagecode) const {
    int size = std::max(1, l.pageSize);
    int total = std::max(1, int((l.rows.size() + size_t(size) - 1) / size_t(size)));
    int page = pageAskedFor(pagecode);
    Value rows = Value::array();
    for (size_t i = size_t(page - 1) * size_t(size); i < l.rows.size() && i < size_t(page) * size_t(size); ++i)
        rows.push(filled(l.rows[i]));
    Value reply = l.extras.isDict() ? l.extras : Value::dict();
    reply.set("lists", rows);
    reply.set("now_page", page);
    reply.set("total_page", total);
    return reply;
}

void UserCentreStandin::installListRoutes() {
    for (const char* endpoint : {ZVApi::kServerList, ZVApi::kGuideList, ZVApi::kActivityList}) {
        std::string name = endpoint;
        server_->on("POST", path(name), formRoute([this, name](const Value& fields) {
                        return listPage(name, fields.text("pagecode"));
                    }));
    }
}

}  // namespace standin
