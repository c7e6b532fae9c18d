#pragma once
// A map annotation's view, as far as images on it go: a view that shows
// one image at its own size, centred, and takes the image's size when one
// is set. There is no map here; the view stands alone.

#include <memory>

#include "platform/graphics/UIImage.h"
#include "platform/ui/UIView.h"

class MKAnnotationView : public UIView {
public:
    MKAnnotationView();

    const std::shared_ptr<UIImage>& image() const { return image_; }
    // The view's bounds take the image's size (points); null keeps them.
    virtual void setImage(std::shared_ptr<UIImage> image);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool h) { highlighted_ = h; }

    void drawRect(CGContext& ctx, const CGRect& rect) override;

private:
    std::shared_ptr<UIImage> image_;
    bool highlighted_ = false;
};
