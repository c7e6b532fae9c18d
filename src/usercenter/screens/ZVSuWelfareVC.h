#pragma once
// The "福利" tab until the welfare tab is built: two of its pages,
// "活动" (activities) and "开服" (server openings), switched by two
// buttons under the navigation bar.

#include <memory>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIViewController.h"

class ZVSuWelfareVC : public UIViewController {
public:
    static constexpr double kSwitchHeight = 44;

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    // Shows page 0 ("活动") or 1 ("开服").
    void showPage(size_t index);
    const std::vector<std::shared_ptr<UIViewController>>& pages() const { return pages_; }
    size_t currentPage() const { return current_; }

private:
    std::vector<std::shared_ptr<UIViewController>> pages_;
    std::vector<std::shared_ptr<UIButton>> buttons_;
    size_t current_ = 0;
};
