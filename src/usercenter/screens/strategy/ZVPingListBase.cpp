#include "usercenter/screens/strategy/ZVPingListBase.h"

#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"

ZVPingListBase::ZVPingListBase()
    : ZVRefreshViewController(ZVPager::Shape{{"c", "lists"}, {"c", "now_page"}, {"c", "total_page"}, true}) {}

const std::shared_ptr<ZVInputView>& ZVPingListBase::inputView() {
    if (!inputView_) {
        inputView_ = ZVInputView::create();
        inputView_->delegate = std::static_pointer_cast<ZVPingListBase>(sharedController());
    }
    return inputView_;
}

Value ZVPingListBase::loginParameters() {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"appid", share.appID()}, {"gid", share.gameID()}, {"username", share.userName()},
                        {"cpsId", share.chanelid()}});
}

void ZVPingListBase::showToast(const std::string& text) {
    if (!text.empty()) CXRMessage::showMessage(text, view());
}

void ZVPingListBase::tableViewDidTriggerHeaderRefresh() { loadComments(true); }
void ZVPingListBase::tableViewDidTriggerFooterRefresh() { loadComments(false); }

void ZVPingListBase::loadComments(bool first) {
    std::weak_ptr<ZVPingListBase> weak = std::static_pointer_cast<ZVPingListBase>(sharedController());
    auto finish = [weak, first](bool reload) {
        if (auto self = weak.lock()) self->tableViewDidFinishTriggerHeader(first, reload);
    };
    auto loaded = [weak, first, finish](const ZVPager::Page& page) {
        auto self = weak.lock();
        if (!self) return;
        auto rows = ZVPingModel::modelsOf(page.rows);
        if (first) self->models = std::move(rows);
        else self->models.insert(self->models.end(), rows.begin(), rows.end());
        if (first) self->setShowRefreshFooter(true);
        finish(true);
    };
    auto failed = [finish] { finish(false); };
    if (!first) {
        if (!pager().loadMore(loaded, failed)) finish(false);
        return;
    }
    firstPageAsked();
    pager().loadFirst(loaded, failed, [weak, finish](const Value& reply) {
        if (auto self = weak.lock()) self->showToast(reply["b"].textValue());
        finish(false);
    });
}

long ZVPingListBase::tableView_numberOfRowsInSection(UITableView&, long) { return long(models.size()); }

std::shared_ptr<ZVPingModel> ZVPingListBase::modelAt(const NSIndexPath& ip) const {
    return ip.row >= 0 && size_t(ip.row) < models.size() ? models[size_t(ip.row)] : nullptr;
}

Value ZVPingListBase::commitParameters(const std::string& text) const {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"gid", share.gameID()}, {"username", share.userName()}, {"appid", share.appID()},
                        {"content", text}, {"cpsId", share.chanelid()}});
}

void ZVPingListBase::inputViewDidClickSendButton(ZVInputView& bar) {
    std::string text = bar.plainText();
    NSAttributedString typed = bar.textView()->attributedText();
    bar.clearText();
    doCommitWithText(text, typed);
}

void ZVPingListBase::doCommitWithText(const std::string& text, const NSAttributedString& typed) {
    // The screen stays until its post is answered.
    auto self = std::static_pointer_cast<ZVPingListBase>(sharedController());
    CXRSdpNetTool::sharedTool().PostWithURLString(
        ZVApi::kCommentPost, commitParameters(text),
        [self, typed](const Value& reply) {
            self->showToast(reply["b"].textValue());
            if (!ZVReplySucceeded(reply, "a")) self->inputView()->restoreText(typed);
        },
        [self, typed](const Error&) {
            self->showToast(kServerError);
            self->inputView()->restoreText(typed);
        });
}
