#pragma once
// A progress overlay: a dark rounded box with a spinner (and an optional
// text) centred over a view, which it covers so that touches do not reach
// the view underneath while work is under way.

#include <memory>
#include <string>

#include "platform/ui/UILabel.h"
#include "platform/ui/UIView.h"

class ZVProgressHUD : public UIView {
public:
    // Adds a new overlay covering `view` and returns it (nullptr for a null view).
    static std::shared_ptr<ZVProgressHUD> showHUDAddedTo(const std::shared_ptr<UIView>& view, bool animated);
    // Removes the top-most overlay of `view`; false when it has none.
    static bool hideHUDForView(const std::shared_ptr<UIView>& view, bool animated);
    // The top-most overlay of `view`, or nullptr.
    static std::shared_ptr<ZVProgressHUD> HUDForView(const std::shared_ptr<UIView>& view);

    ZVProgressHUD();
    // A text under the spinner ("" for none).
    void setText(const std::string& text);
    const std::string& text() const;
    void hideAnimated(bool animated);

    void layoutSubviews() override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;

private:
    CGRect boxRect() const;
    std::shared_ptr<UILabel> label_;
    bool hiding_ = false;
};
