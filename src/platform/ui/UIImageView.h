#pragma once
// An image view: draws its image (or highlighted image) by its content
// mode; template images take the tint colour; resizable images draw as
// nine-slices. An array of images animates over `animationDuration` on the
// replaceable clock while animating. Highlighted, the view shows its
// highlighted animation images (animating), else its highlighted image,
// else what it shows unhighlighted: the animation images (animating), else
// the image.

#include <memory>
#include <vector>

#include "platform/graphics/UIImage.h"
#include "platform/ui/UIView.h"

class UIImageView : public UIView {
public:
    UIImageView();
    explicit UIImageView(const CGRect& frame);
    explicit UIImageView(std::shared_ptr<UIImage> image);

    const std::shared_ptr<UIImage>& image() const { return image_; }
    virtual void setImage(std::shared_ptr<UIImage> image);
    const std::shared_ptr<UIImage>& highlightedImage() const { return highlightedImage_; }
    virtual void setHighlightedImage(std::shared_ptr<UIImage> image);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool h);

    const std::vector<std::shared_ptr<UIImage>>& animationImages() const { return animationImages_; }
    virtual void setAnimationImages(std::vector<std::shared_ptr<UIImage>> images);
    const std::vector<std::shared_ptr<UIImage>>& highlightedAnimationImages() const { return highlightedAnimationImages_; }
    virtual void setHighlightedAnimationImages(std::vector<std::shared_ptr<UIImage>> images);
    double animationDuration = 0;  // 0: 1/30 s per image
    int animationRepeatCount = 0;  // 0: forever
    virtual void startAnimating();
    virtual void stopAnimating();
    virtual bool isAnimating() const { return animating_; }

    CGSize sizeThatFits(CGSize size) const override;
    CGSize intrinsicContentSize() const override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    // The image drawn now (animation frame, highlighted or plain).
    std::shared_ptr<UIImage> displayedImage() const;
    // Where an image of `imageSize` lands in `bounds` by the content mode.
    static CGRect rectForContentMode(UIViewContentMode mode, CGSize imageSize, const CGRect& bounds);

private:
    // The frame of `frames` now; null when not animating or the repeats are over.
    std::shared_ptr<UIImage> animationFrame(const std::vector<std::shared_ptr<UIImage>>& frames) const;

    std::shared_ptr<UIImage> image_, highlightedImage_;
    bool highlighted_ = false;
    std::vector<std::shared_ptr<UIImage>> animationImages_, highlightedAnimationImages_;
    bool animating_ = false;
    Clock::Monotonic animationStart_{};
};
