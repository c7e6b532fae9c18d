#pragma once
// A drop-down selection: a button showing the current title and a turning
// icon; a tap opens the list of options under it, a tap on an option shows
// its title on the button, tells the delegate and closes the list. The open
// list lies in the nearest of the menu's ancestors that holds it whole (a
// bar as high as the menu is too small), above that ancestor's other views,
// so that its options take taps wherever it hangs. Hiding or removing the
// menu closes the list. Data source and delegate are held weakly.

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/UIImage.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UIScrollView.h"

class DMDropdownMenu;

class DMDropdownMenuDataSource {
public:
    virtual ~DMDropdownMenuDataSource() = default;
    virtual long numberOfOptionsInDropdownMenu(DMDropdownMenu& menu) = 0;
    virtual double dropdownMenu_heightForOptionAtIndex(DMDropdownMenu& menu, long index) { return 40; }
    virtual std::string dropdownMenu_titleForOptionAtIndex(DMDropdownMenu& menu, long index) = 0;
};

class DMDropdownMenuDelegate {
public:
    virtual ~DMDropdownMenuDelegate() = default;
    virtual void dropdownMenu_didSelectOptionAtIndex_optionTitle(DMDropdownMenu& menu, long index,
                                                                 const std::string& title) {}
};

class DMDropdownMenu : public UIView {
public:
    DMDropdownMenu();

    void setDataSource(std::weak_ptr<DMDropdownMenuDataSource> ds) { dataSource_ = std::move(ds); }
    void setDelegate(std::weak_ptr<DMDropdownMenuDelegate> d) { delegate_ = std::move(d); }

    void setTitle(const std::string& title);
    std::string title() const;
    void setTitleFont(std::shared_ptr<UIFont> font);
    void setTitleColor(const UIColor& color);
    // 0 left, 1 centre, 2 right.
    void setTitleAlignment(int alignment);
    void setTitleEdgeInsets(const UIEdgeInsets& insets);
    void setRotateIcon(std::shared_ptr<UIImage> icon);
    void setRotateIconSize(CGSize size);
    void setOptionFont(std::shared_ptr<UIFont> font) { optionFont_ = std::move(font); }
    void setOptionTextColor(const UIColor& c) { optionTextColor_ = c; }
    void setOptionBgColor(const UIColor& c) { optionBgColor_ = c; }
    void setOptionLineColor(const UIColor& c) { optionLineColor_ = c; }
    void setOptionTextAlignment(int alignment) { optionAlignment_ = alignment; }
    void setOptionIconSize(CGSize size) { optionIconSize_ = size; }

    bool isOpen() const { return list_ != nullptr; }
    void showDropDown();
    void hideDropDown();
    // The option rows while the list is open.
    const std::vector<std::shared_ptr<UIButton>>& optionButtons() const { return rows_; }
    // A tap on option `index`.
    void selectOption(long index);

    const std::shared_ptr<UIButton>& mainButton() const { return button_; }
    void layoutSubviews() override;
    void willMoveToSuperview(UIView* newSuperview) override;
    void setHidden(bool hidden) override;

private:
    void ensureBuilt();
    void toggle();
    // The ancestor that holds a list of `frame` (in the superview's space) whole: the top one when none does.
    std::shared_ptr<UIView> listHost(const CGRect& frame) const;
    std::weak_ptr<DMDropdownMenuDataSource> dataSource_;
    std::weak_ptr<DMDropdownMenuDelegate> delegate_;
    std::shared_ptr<UIButton> button_;
    std::shared_ptr<UIImageView> icon_;
    CGSize iconSize_{12, 12};
    UIEdgeInsets titleInsets_{0, 8, 0, 8};
    std::shared_ptr<UIFont> optionFont_;
    UIColor optionTextColor_ = UIColor::blackColor();
    UIColor optionBgColor_ = UIColor::whiteColor();
    UIColor optionLineColor_ = UIColor::fromRGB(0xE5E5E5);
    int optionAlignment_ = 1;
    CGSize optionIconSize_{0, 0};
    std::shared_ptr<UIScrollView> list_;
    std::vector<std::shared_ptr<UIButton>> rows_;
};
