#pragma once
// The gift packs, page 2 of the welfare tab (storyboard "ZVSuTabBarVC",
// scene "ZVGiftVC"): a row of gift-type buttons over the packs of the
// chosen type. A row offers "领取" (claim, for the player's current
// sub-account) until the pack is claimed, then shows its code and offers
// "复制" (copy to the pasteboard).
//
// The list loads when the view loads, on each change of type and after a
// claim the server did not refuse ("a" not 0). A later load supersedes the
// earlier ones: their replies are dropped. The reply is the array of packs
// itself; a reply that is no array leaves the list as it was and shows its
// "b" (a dictionary that has one) or "服务器错误". Entries that are no
// dictionaries are skipped. Until a list first came, a loading note stands
// under the type buttons where the packs go: "加载中…" while one is asked
// for, "加载失败" when none came.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UITableView.h"
#include "platform/ui/UIViewController.h"
#include "usercenter/screens/common/ZVLoadingNote.h"
#include "usercenter/screens/shell/ZVPager.h"

class ZVGiftCell : public UITableViewCell {
public:
    static constexpr const char* kClaimColour = "#6137E7";

    explicit ZVGiftCell(std::string reuseIdentifier = "ZVGiftCell")
        : UITableViewCell(UITableViewCellStyle::Default, std::move(reuseIdentifier)) {}
    // The cell as its nib makes it (labels, button and its action).
    static std::shared_ptr<ZVGiftCell> fromNib();
    void awakeFromNib() {}

    std::shared_ptr<UILabel> nameL, showL, timeL;
    std::shared_ptr<UIButton> btn;
    std::shared_ptr<UIView> line;  // under the row, hidden under the last
    // Run after a claim the server did not refuse.
    std::function<void()> doRefrsh;

    const Value& dic() const { return dic_; }
    // A claimed pack ("status" true) shows its code and "复制", another its
    // description, validity and "领取".
    void setDic(const Value& dic);
    // Copies the code of a claimed pack, claims another.
    void doBtnClick();

    void layoutSubviews() override;

private:
    bool claimed() const;
    void copyCode();
    void claim();
    Value dic_;
};

class ZVGiftVC : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    static constexpr double kRowHeight = 120;
    static constexpr long kFirstTag = 10;
    static constexpr const char* kSelectedColour = "#6137E7";
    // The gift types, in the order of their buttons (type = tag - 10).
    static const std::vector<std::string>& typeTitles();

    // Outlets of the scene.
    std::shared_ptr<UIView> giftView, btnsView;
    std::shared_ptr<UIButton> oneBtn;
    std::shared_ptr<UITableView> tableView;
    std::shared_ptr<NSLayoutConstraint> tableViewH;
    // The page's own vertical scrolling, holding the buttons and the list.
    std::shared_ptr<UIScrollView> contentView;
    std::shared_ptr<ZVLoadingNote> loadingNote;

    std::shared_ptr<UIButton> nowBtn() const { return nowBtn_.lock(); }
    const std::vector<Value>& dataSource() const { return dataSource_; }
    // Replies dropped because a later load came first.
    uint64_t droppedReplies() const { return generations_.dropped(); }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void doBtnClick(UIButton& button);
    void loadData();

    long tableView_numberOfRowsInSection(UITableView& t, long section) override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

private:
    void buildScene();
    void showReply(const Value& reply);
    // A request failed or was refused: `message` as a toast.
    void showFailure(const std::string& message);
    void hideCardUnderNote();

    std::weak_ptr<UIButton> nowBtn_;
    std::vector<Value> dataSource_;
    ZVReplyGenerations generations_;
};
