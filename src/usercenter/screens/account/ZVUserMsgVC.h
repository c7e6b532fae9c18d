#pragma once
// The message centre ("消息中心"), pushed by the account page: the player's
// messages page by page, a dot on the unread ones. Its list departs from the
// others: rows in "c", "nowpage" and "allnum" (the number of pages) at the
// top, and a first page counts only with "a" 1. A tap opens the message's
// page; an unread message is then marked read on the server ("Mynews/news");
// with "a" 1 the row loses its dot and `refreshBlock` runs, otherwise
// nothing changes and the next tap marks it again.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIImageView.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"

class ZVUserMsgModel {
public:
    std::optional<int64_t> msgId;  // "id"
    std::string status;            // read when its boolean value is true
    std::string title, content, addtime, url;
    bool isRead() const;
    static const zv::ModelTable<ZVUserMsgModel>& zvTable();
};

class ZVUserMsgCell : public UITableViewCell {
public:
    static constexpr double kRowHeight = 82;
    explicit ZVUserMsgCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                           std::string reuseIdentifier = "ZVUserMsgCell");
    static std::shared_ptr<ZVUserMsgCell> fromNib();

    std::shared_ptr<UIImageView> iconView;
    std::shared_ptr<UILabel> nameL, timeL, showL;
    std::shared_ptr<UIView> pointView;
    const ZVUserMsgModel& model() const { return model_; }
    void setModel(const ZVUserMsgModel& model);

    void layoutSubviews() override;

private:
    void awakeFromNib();
    ZVUserMsgModel model_;
};

class ZVUserMsgVC : public ZVRefreshViewController {
public:
    ZVUserMsgVC();
    std::function<void()> refreshBlock;

    void viewDidLoad() override;
    void readNewsWithModel(const ZVUserMsgModel& model, const NSIndexPath& ip);

    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
    void tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

protected:
    std::string listPath() const override;
    Value listParameters() const override;
};
