#pragma once
// Small controls: the on/off switch, the page dots and the spinning
// activity indicator (its spokes turn with the clock while animating).

#include "platform/ui/UIControl.h"

class UISwitch : public UIControl {
public:
    UISwitch();
    explicit UISwitch(const CGRect& frame);
    bool isOn() const { return on_; }
    void setOn(bool on, bool animated = false);
    std::optional<UIColor> onTintColor, thumbTintColor;
    CGSize sizeThatFits(CGSize) const override { return {51, 31}; }
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void performPrimaryAction() override;

private:
    bool on_ = false;
};

class UIPageControl : public UIControl {
public:
    UIPageControl();
    explicit UIPageControl(const CGRect& frame);
    long numberOfPages() const { return pages_; }
    void setNumberOfPages(long n);
    long currentPage() const { return current_; }
    void setCurrentPage(long p);
    bool hidesForSinglePage = false;
    std::optional<UIColor> pageIndicatorTintColor, currentPageIndicatorTintColor;
    CGSize sizeForNumberOfPages(long n) const;
    CGSize sizeThatFits(CGSize) const override { return sizeForNumberOfPages(pages_); }
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    // A tap left or right of the current dot moves one page and sends value changed.
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    // Its taps depend on where they land: no Tab stop.
    bool canBecomeFocused() const override { return false; }

private:
    long pages_ = 0, current_ = 0;
};

enum class UIActivityIndicatorViewStyle { WhiteLarge, White, Gray };

class UIActivityIndicatorView : public UIView {
public:
    explicit UIActivityIndicatorView(UIActivityIndicatorViewStyle style = UIActivityIndicatorViewStyle::White);
    UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
    std::optional<UIColor> color;
    bool hidesWhenStopped = true;
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }
    CGSize sizeThatFits(CGSize) const override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;

private:
    UIActivityIndicatorViewStyle style_;
    bool animating_ = false;
    Clock::Monotonic start_{};
};
