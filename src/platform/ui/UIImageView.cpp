#include "platform/ui/UIImageView.h"

#include <cmath>

UIImageView::UIImageView() {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

UIImageView::UIImageView(const CGRect& frame) : UIImageView() { UIView::setFrame(frame); }

UIImageView::UIImageView(std::shared_ptr<UIImage> image) : UIImageView() {
    if (image) UIView::setFrame(CGRect(CGPointZero, image->size()));
    image_ = std::move(image);
}

void UIImageView::setImage(std::shared_ptr<UIImage> image) {
    image_ = std::move(image);
    setNeedsDisplay();
}

void UIImageView::setHighlightedImage(std::shared_ptr<UIImage> image) {
    highlightedImage_ = std::move(image);
    setNeedsDisplay();
}

void UIImageView::setHighlighted(bool h) {
    highlighted_ = h;
    setNeedsDisplay();
}

void UIImageView::setAnimationImages(std::vector<std::shared_ptr<UIImage>> images) {
    animationImages_ = std::move(images);
    if (animationImages_.empty() && highlightedAnimationImages_.empty()) stopAnimating();
    setNeedsDisplay();
}

void UIImageView::setHighlightedAnimationImages(std::vector<std::shared_ptr<UIImage>> images) {
    highlightedAnimationImages_ = std::move(images);
    if (animationImages_.empty() && highlightedAnimationImages_.empty()) stopAnimating();
    setNeedsDisplay();
}

void UIImageView::startAnimating() {
    if (animationImages_.empty() && highlightedAnimationImages_.empty()) return;
    animating_ = true;
    animationStart_ = Clock::current().now();
    setNeedsDisplay();
}

void UIImageView::stopAnimating() {
    animating_ = false;
    setNeedsDisplay();
}

std::shared_ptr<UIImage> UIImageView::animationFrame(const std::vector<std::shared_ptr<UIImage>>& frames) const {
    if (!animating_ || frames.empty()) return nullptr;
    double per = animationDuration > 0 ? animationDuration / frames.size() : 1.0 / 30;
    double t = std::chrono::duration<double>(Clock::current().now() - animationStart_).count();
    long frame = long(t / per);
    long total = long(frames.size());
    if (animationRepeatCount > 0 && frame >= total * animationRepeatCount) return nullptr;
    return frames[size_t(frame % total)];
}

std::shared_ptr<UIImage> UIImageView::displayedImage() const {
    if (highlighted_) {
        if (auto frame = animationFrame(highlightedAnimationImages_)) return frame;
        if (highlightedImage_) return highlightedImage_;
    }
    if (auto frame = animationFrame(animationImages_)) return frame;
    return image_;
}

CGSize UIImageView::sizeThatFits(CGSize) const { return image_ ? image_->size() : CGSize{0, 0}; }
CGSize UIImageView::intrinsicContentSize() const { return image_ ? image_->size() : CGSize{-1, -1}; }

CGRect UIImageView::rectForContentMode(UIViewContentMode mode, CGSize s, const CGRect& b) {
    double W = b.width(), H = b.height();
    switch (mode) {
        case UIViewContentMode::ScaleToFill:
        case UIViewContentMode::Redraw: return b;
        case UIViewContentMode::ScaleAspectFit:
        case UIViewContentMode::ScaleAspectFill: {
            if (s.width <= 0 || s.height <= 0) return b;
            double k = mode == UIViewContentMode::ScaleAspectFit ? std::min(W / s.width, H / s.height)
                                                                 : std::max(W / s.width, H / s.height);
            double w = s.width * k, h = s.height * k;
            return CGRect(b.minX() + (W - w) / 2, b.minY() + (H - h) / 2, w, h);
        }
        default: break;
    }
    double x = b.minX() + (W - s.width) / 2, y = b.minY() + (H - s.height) / 2;
    switch (mode) {
        case UIViewContentMode::Top: y = b.minY(); break;
        case UIViewContentMode::Bottom: y = b.maxY() - s.height; break;
        case UIViewContentMode::Left: x = b.minX(); break;
        case UIViewContentMode::Right: x = b.maxX() - s.width; break;
        case UIViewContentMode::TopLeft: x = b.minX(), y = b.minY(); break;
        case UIViewContentMode::TopRight: x = b.maxX() - s.width, y = b.minY(); break;
        case UIViewContentMode::BottomLeft: x = b.minX(), y = b.maxY() - s.height; break;
        case UIViewContentMode::BottomRight: x = b.maxX() - s.width, y = b.maxY() - s.height; break;
        default: break;
    }
    return CGRect(x, y, s.width, s.height);
}

void UIImageView::drawRect(CGContext& ctx, const CGRect&) {
    auto img = displayedImage();
    if (!img) return;
    CGRect b = bounds();
    // Resizable images stretch their middle over the whole view.
    CGRect r = img->capInsets() != UIEdgeInsets{} ? b : rectForContentMode(contentMode(), img->size(), b);
    UIColor tint = tintColor();
    img->drawInRect(ctx, r, &tint);
}
