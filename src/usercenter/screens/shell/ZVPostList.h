#pragma once
// What the strategy-guide list and the activity list share: paged picture
// cards of posts (title, publication date, picture "pic1"), opened in the
// web page ("openurl", pushed with isShowSuperVc), an empty-list notice
// that only a first load shows or removes, and the same request with the
// login state ("username", "gid", "cpsId", "appid", "type" "ios").

#include <memory>
#include <string>

#include "platform/ui/UIImageView.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"

// A post's card: picture on top, title and "发布时间：" date under it.
class ZVPostCell : public UITableViewCell {
public:
    ZVPostCell(UITableViewCellStyle style, std::string reuseIdentifier);
    // What the nib does once the cell is made: puts the parts together.
    virtual void awakeFromNib();
    virtual void setDic(const Value& dic);
    const Value& dic() const { return dic_; }

    std::shared_ptr<UIView> bgView;
    std::shared_ptr<UILabel> nameL, timeL;
    std::shared_ptr<UIImageView> picView;

    void layoutSubviews() override;

protected:
    static constexpr double kMargin = 15, kInset = 12;
    Value dic_;
};

class ZVPostListVC : public ZVRefreshViewController {
public:
    // The notice's text ("此游戏暂无攻略，敬请期待哦~") and the list's path.
    ZVPostListVC(std::string notice, std::string path);

    // Made on first use: a 200 × 120 clear view, the empty picture and the text.
    const std::shared_ptr<UIView>& tempView();
    bool isNoticeShown() const { return tempView_ && tempView_->superview(); }

    void viewWillLayoutSubviews() override;
    void tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

protected:
    std::string listPath() const override { return path_; }
    Value listParameters() const override;
    void firstPageDidLoad(const ZVPager::Page& page) override;
    // Registers the list's cell under `identifier` and styles the table.
    void prepareTable(const std::string& identifier, std::function<std::shared_ptr<UITableViewCell>()> make,
                      double rowHeight);
    std::shared_ptr<UITableViewCell> postCell(UITableView& t, const NSIndexPath& ip, const std::string& identifier);

private:
    std::string notice_, path_;
    std::shared_ptr<UIView> tempView_;
};
