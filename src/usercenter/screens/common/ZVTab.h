#pragma once
// A segmented bar: equal items in a row inside a border, separator lines
// centred on the item borders, one item selected (its own background and
// title colours). A tap selects the item and tells the delegate (held
// weakly); setTabStateIndex selects without telling. A bar is only made
// with its line width and colour.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"

class ZVTab;

class ZVTabDelegate {
public:
    virtual ~ZVTabDelegate() = default;
    virtual void tab_didSelectedItemNumber(ZVTab& tab, long index) = 0;
};

class ZVTab : public UIView {
public:
    static constexpr long kItemTagBase = 1000;

    static std::shared_ptr<ZVTab> create(const CGRect& frame, double lineWidth, const UIColor& lineColor);

    std::weak_ptr<ZVTabDelegate> delegate;
    double lineWidth() const { return lineWidth_; }
    const UIColor& lineColor() const { return lineColor_; }

    // Items (tags 1000 + index) and n - 1 separators (tag 0), built once per call.
    void setItemsWithTitle(const std::vector<std::string>& titles, const UIColor& normalItemColor,
                           const UIColor& selectItemColor, const UIColor& normalTitleColor,
                           const UIColor& selectTitleColor, double titleTextSize, long selectItemNumber);
    // An index with no item leaves every item unselected.
    void setTabStateIndex(long index);
    void clickedButton(UIButton& button);

    ZVTab(const CGRect& frame, double lineWidth, const UIColor& lineColor);

private:
    void recolour(long selected);

    double lineWidth_;
    UIColor lineColor_;
    UIColor normalItemColor_, selectItemColor_, normalTitleColor_, selectTitleColor_;
};
