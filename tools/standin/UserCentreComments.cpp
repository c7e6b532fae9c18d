// The comments: the list in two orders, each comment's replies, posts and
// likes, all answered {"a", "b", "c"}.

#include <algorithm>

#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVApi.h"

namespace standin {

namespace {

Value ok(const std::string& message, Value payload = Value::dict()) {
    return Value::dict({{"a", 1}, {"b", message}, {"c", std::move(payload)}});
}
Value refused(const std::string& message) { return Value::dict({{"a", 0}, {"b", message}, {"c", ""}}); }

// Newest first (px 0) or most liked first (px 1, the default), ties newest first.
std::vector<Value> ordered(std::vector<Value> rows, const std::string& px) {
    bool byTime = px == "0";
    std::stable_sort(rows.begin(), rows.end(), [byTime](const Value& a, const Value& b) {
        if (!byTime && a["good"].intValue() != b["good"].intValue()) return a["good"].intValue() > b["good"].intValue();
        return a["createtime"].textValue() > b["createtime"].textValue();
    });
    return rows;
}

Value* find(std::vector<Value>& rows, const std::string& id) {
    for (auto& row : rows)
        if (row["id"].textValue() == id) return &row;
    return nullptr;
}

}  // namespace

void UserCentreStandin::setComments(Comments comments) {
    std::lock_guard lock(mutex_);
    comments_ = std::move(comments);
    likes_.clear();
}

UserCentreStandin::Comments UserCentreStandin::comments() const {
    std::lock_guard lock(mutex_);
    return comments_;
}

int UserCentreStandin::likesOf(const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto it = likes_.find(id);
    return it == likes_.end() ? 0 : it->second;
}

Value UserCentreStandin::commentPage(const std::vector<Value>& rows, const std::string& pagecode) const {
    return ok("获取成功", pageOf(List{rows, comments().pageSize, Value::dict()}, pagecode));
}

Value UserCentreStandin::postComment(const Value& fields) {
    std::string content = fields.text("content"), pid = fields.text("pid");
    if (content.empty()) return refused("评论内容不能为空");
    std::lock_guard lock(mutex_);
    Value row = Value::dict({{"id", nextComment_++}, {"full_name", fields.text("username")}, {"avatar", ""},
                             {"createtime", minuteNow()}, {"content", content}, {"good", 0}, {"isgood", 0}, {"level", 0},
                             {"goldcoin", 0}, {"vippic", ""}, {"paypic", ""}, {"plpic", ""}, {"number_reply", 0}});
    if (pid.empty()) {
        comments_.rows.push_back(row);
        return ok(kPosted);
    }
    Value* parent = find(comments_.rows, pid);
    if (!parent) return refused("评论不存在");
    comments_.replies[pid].push_back(row);
    parent->set("number_reply", (*parent)["number_reply"].intValue() + 1);
    return ok(kPosted);
}

Value UserCentreStandin::likeComment(const Value& fields) {
    std::string id = fields.text("comments_id");
    std::lock_guard lock(mutex_);
    Value* row = find(comments_.rows, id);
    if (!row) return refused("评论不存在");
    if ((*row)["isgood"].intValue() == 1) return refused("已经点过赞了");
    row->set("good", (*row)["good"].intValue() + 1);
    row->set("isgood", 1);
    ++likes_[id];
    return ok(kLiked);
}

void UserCentreStandin::installCommentRoutes() {
    auto& s = *server_;
    s.on("POST", path(ZVApi::kCommentList), formRoute([this](const Value& f) {
             return commentPage(ordered(comments().rows, f.text("px")), f.text("pagecode"));
         }));
    s.on("POST", path(ZVApi::kCommentReplies), formRoute([this](const Value& f) {
             auto all = comments().replies;
             auto it = all.find(f.text("comments_id"));
             return commentPage(it == all.end() ? std::vector<Value>() : it->second, f.text("pagecode"));
         }));
    s.on("POST", path(ZVApi::kCommentPost), formRoute([this](const Value& f) { return postComment(f); }));
    s.on("POST", path(ZVApi::kCommentLike), formRoute([this](const Value& f) { return likeComment(f); }));
}

}  // namespace standin
