// The publisher's web pages the user centre opens: the Tasks page (whose
// sign is checked), customer service, the next page they link to, the
// posts the lists open, and the comment rules and title-level help. Each is a coloured block, a link onward and a link
// to the box page marker, laid out at fixed places (PageLayout).

#include "platform/foundation/Strings.h"
#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVRequestCodec.h"

namespace standin {

namespace {

Value queryFields(const Request& r) {
    Value fields = Value::dict();
    for (auto& [k, v] : r.rawParams) fields.set(strings::percentDecode(k), strings::percentDecode(v));
    return fields;
}

std::string htmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// A page: the block of `colour` with `title`, a link to `next` and one to the box page.
std::string page(const std::string& title, uint32_t colour, const std::string& next) {
    using L = UserCentreStandin::PageLayout;
    auto link = [](int top, const std::string& href, const std::string& text, const char* id) {
        return strings::format(
            "<a id=\"%s\" href=\"%s\" style=\"position:absolute;left:0;right:0;top:%dpx;height:%dpx;"
            "line-height:%dpx;background:#EEF2F8;color:#333;text-align:center;text-decoration:none\">%s</a>",
            id, htmlEscaped(href).c_str(), top, L::kLinkHeight, L::kLinkHeight, text.c_str());
    };
    return strings::format(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
               "content=\"width=device-width, initial-scale=1\"><title>%s</title></head>"
               "<body style=\"margin:0;font-family:sans-serif\">"
               "<div id=\"block\" style=\"position:absolute;left:0;right:0;top:0;height:%dpx;background:#%06X;"
               "color:white;font-size:22px;display:flex;align-items:center;justify-content:center\">%s</div>",
               htmlEscaped(title).c_str(), L::kBlockHeight, colour, htmlEscaped(title).c_str()) +
           link(L::kNextLinkTop, next, "下一页", "next") + link(L::kBoxLinkTop, "zorvia://rw?x=1", "打开盒子", "box") +
           "</body></html>";
}

Reply html(const std::string& body) { return Reply::text(body, "text/html; charset=utf-8"); }

}  // namespace

void UserCentreStandin::installPageRoutes() {
    auto& s = *server_;
    std::string next = path(kNextPage);
    s.on("GET", path(ZVApi::kTasksPage), [next](const Request& r, JournalEntry& entry) {
        entry.decoded = queryFields(r);
        const Value& q = entry.decoded;
        entry.signOk = !q.str("sign").empty() && ZVTasksSign(q.str("username"), q.str("logintime")) == q.str("sign");
        return html(page(*entry.signOk ? "任务" : "签名错误", *entry.signOk ? PageLayout::kSigned : PageLayout::kUnsigned,
                         next + "?from=rw"));
    });
    s.on("GET", path(ZVApi::kServicePage), [next](const Request& r, JournalEntry& entry) {
        entry.decoded = queryFields(r);
        return html(page("客服 " + entry.decoded.str("username"), PageLayout::kService, next + "?from=kefu"));
    });
    s.on("GET", path(kNextPage), [next](const Request& r, JournalEntry& entry) {
        entry.decoded = queryFields(r);
        return html(page("下一页", PageLayout::kNext, next + "?from=next"));
    });
    // The comment rules and the title-level help the comments open.
    for (auto [endpoint, title] : {std::pair{ZVApi::kCommentRulesPage, "评论规则"}, {ZVApi::kTitleLevelPage, "用户头衔等级说明"}}) {
        std::string heading = title;
        s.on("GET", path(endpoint), [next, heading](const Request& r, JournalEntry& entry) {
            entry.decoded = queryFields(r);
            return html(page(heading, PageLayout::kService, next + "?from=agreement"));
        });
    }
    s.on("GET", path(kPostPage), [next](const Request& r, JournalEntry& entry) {
        entry.decoded = queryFields(r);
        return html(page(entry.decoded.str("title"), PageLayout::kService, next + "?from=post"));
    });
    // The account tab's pages: titles, anti-addiction rules, the agreements, and the outside chat.
    struct Fixed {
        std::string path, title;
    };
    for (auto& f : std::vector<Fixed>{{path(ZVApi::kTitlePage), "用户头衔等级说明"},
                                      {path(ZVApi::kAntiAddictionPage), "防沉迷系统详情"},
                                      {path(ZVApi::kAgreementPage), "用户协议"},
                                      {path(ZVApi::kPrivacyPage), "隐私政策"},
                                      {"/" + std::string(kChatPath), "智能客服"}}) {
        s.on("GET", f.path, [next, title = f.title](const Request& r, JournalEntry& entry) {
            entry.decoded = queryFields(r);
            return html(page(title, PageLayout::kAccount, next + "?from=account"));
        });
    }
}

}  // namespace standin
