#pragma once
// What the comment list and a comment's thread share: rows of comment
// models loaded a page at a time through the list base (replies of the
// form {"a", "b", "c": {lists, now_page, total_page}}), the comment bar at
// the bottom, and posting what it holds.
//
// - A refused first page shows its "b" and leaves the rows; a failed one
//   shows nothing. A reply to a superseded load is dropped (the pager).
// - Sending takes the bar's plain text, empties the bar, and posts. The
//   server's "b" is shown whatever "a" says; a failure shows "服务器错误".
//   A post that fails or is refused ("a" not 1) puts the typed text back
//   into the bar, emoji included, if the bar is still empty. The list is
//   not reloaded after posting.
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "usercenter/screens/strategy/ZVInputView.h"
#include "usercenter/screens/strategy/ZVPingModel.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"

class ZVPingListBase : public ZVRefreshViewController, public ZVInputViewDelegate {
public:
    static constexpr const char* kServerError = "服务器错误";

    ZVPingListBase();

    // The rows shown (the list's dataSource of comment models).
    std::vector<std::shared_ptr<ZVPingModel>> models;
    // Made on first use, with this screen as its delegate.
    const std::shared_ptr<ZVInputView>& inputView();

    void tableViewDidTriggerHeaderRefresh() override;
    void tableViewDidTriggerFooterRefresh() override;
    long tableView_numberOfRowsInSection(UITableView& t, long section) override;

    void inputViewDidClickSendButton(ZVInputView& bar) override;
    // Posts `text`; `typed` is what the bar held (put back when the post does not go through).
    void doCommitWithText(const std::string& text, const NSAttributedString& typed = NSAttributedString());

protected:
    // The form of a post ("gid", "username", "appid", "content", "cpsId").
    virtual Value commitParameters(const std::string& text) const;
    // The login state every request of the comments carries.
    static Value loginParameters();
    std::shared_ptr<ZVPingModel> modelAt(const NSIndexPath& ip) const;
    void showToast(const std::string& text);

private:
    void loadComments(bool first);
    std::shared_ptr<ZVInputView> inputView_;
};
