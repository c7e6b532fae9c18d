#pragma once
// The asset grid's small views: the cell "AssetCell" (thumbnail, video
// badge, selection overlay with a checkmark), the video badge with its
// camera glyph and duration, and the checkmark. Their subviews are made
// by the storyboard.

#include <memory>
#include <string>

#include "platform/ui/UICollectionView.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"

class PKVideoIconView : public UIView {
public:
    using UIView::UIView;
    UIColor iconColor = UIColor::whiteColor();
    // A triangle on the right and a rounded body on the left.
    void drawRect(CGContext& ctx, const CGRect& rect) override;
};

class PKVideoIndicatorView : public UIView {
public:
    // The badge fades from clear at the top to black at the bottom.
    explicit PKVideoIndicatorView(const CGRect& frame);
    std::shared_ptr<UILabel> timeLabel;
    void layoutSubviews() override;

    // "%02ld:%02ld" of a duration rounded up to whole seconds.
    static std::string durationText(double seconds);

private:
    std::shared_ptr<CAGradientLayer> gradient_;
};

class PKCheckmarkView : public UIView {
public:
    explicit PKCheckmarkView(const CGRect& frame);
    double borderWidth = 1.0, checkmarkLineWidth = 1.2;
    UIColor borderColor = UIColor::whiteColor();
    UIColor bodyColor = UIColor::colorWithRed(20 / 255.0, 111 / 255.0, 223 / 255.0);
    UIColor checkmarkColor = UIColor::whiteColor();
    void drawRect(CGContext& ctx, const CGRect& rect) override;
};

class PKAssetCell : public UICollectionViewCell {
public:
    using UICollectionViewCell::UICollectionViewCell;
    std::shared_ptr<UIImageView> imageView;
    std::shared_ptr<PKVideoIndicatorView> videoIndicatorView;
    std::shared_ptr<UIView> overlayView;  // holds the checkmark
    bool showsOverlayViewWhenSelected = false;
    // The overlay shows only on a selected cell that shows overlays.
    void setSelected(bool selected) override;
};
