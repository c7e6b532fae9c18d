#include "platform/ui/MKAnnotationView.h"

MKAnnotationView::MKAnnotationView() { setOpaque(false); }

void MKAnnotationView::setImage(std::shared_ptr<UIImage> image) {
    image_ = std::move(image);
    if (image_) setBounds(CGRect(bounds().origin, image_->size()));
    setNeedsDisplay();
}

void MKAnnotationView::drawRect(CGContext& ctx, const CGRect& rect) {
    if (!image_) return;
    CGSize s = image_->size();
    image_->drawInRect(ctx, CGRect(rect.midX() - s.width / 2, rect.midY() - s.height / 2, s.width, s.height));
}
