#include "plugin/iOS/RAZ5Orered/CropImage/CRImageView.h"

#include <algorithm>
#include <cmath>

#include "plugin/iOS/RAZ5Orered/UIImage+Handler.h"

namespace {

constexpr double kMidLineSide = 44;

// Values a hair off a whole number are taken as that number, so that a cut
// computed through a scale factor does not grow by a pixel.
double snapped(double v) {
    double r = std::round(v);
    return std::abs(v - r) < 1e-6 ? r : v;
}

}  // namespace

std::shared_ptr<CRImageView> CRImageView::create(const CGRect& frame) {
    auto view = std::shared_ptr<CRImageView>(new CRImageView());
    view->UIView::setFrame(frame);
    view->commonInit();
    return view;
}

void CRImageView::commonInit() {
    setUp();
    createCorners();
    resetCropAreaOnCornersFrameChanged();
    bindPanGestures();
}

void CRImageView::setUp() {
    imageView_ = std::make_shared<UIImageView>(bounds());
    imageView_->setContentMode(UIViewContentMode::ScaleToFill);
    imageView_->setUserInteractionEnabled(true);
    addSubview(imageView_);

    cropMaskView_ = std::make_shared<UIView>(imageView_->bounds());
    cropMaskView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    cropMaskView_->setBackgroundColor(UIColor::colorWithWhite(0, 0.8));
    cropMaskView_->setOpaque(false);
    imageView_->addSubview(cropMaskView_);

    cropAreaView_ = std::make_shared<CropAreaView>();
    cropAreaView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    cropAreaView_->setBorderColor(borderLineColor_);
    cropAreaView_->setBorderWidth(borderLineWidth_);
    cropAreaView_->setCrossLineWidth(crossLineWidth_);
    cropAreaView_->setCrossLineColor(crossLineColor_);
    imageView_->addSubview(cropAreaView_);

    std::weak_ptr<CRImageView> weak = std::static_pointer_cast<CRImageView>(sharedView());
    cropAreaView_->addGeometryObserver(
        [weak](UIView&) {
            auto self = weak.lock();
            if (!self) return;
            if (self->showMidLines_) self->resetMidLines();
            self->resetCropTransparentArea();
        },
        true);
    imageView_->addGeometryObserver(
        [weak](UIView&) {
            if (auto self = weak.lock()) self->resetCropAreaByAspectRatio();
        },
        true);
}

void CRImageView::createCorners() {
    double w = imageView_->bounds().width(), h = imageView_->bounds().height();
    double cw = cornerWidth_, ch = cornerHeight_;
    CGPoint origins[4] = {{0, 0}, {w - cw, 0}, {0, h - ch}, {w - cw, h - ch}};
    unsigned masks[4] = {UIViewAutoresizingFlexibleRightMargin | UIViewAutoresizingFlexibleBottomMargin,
                         UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleBottomMargin,
                         UIViewAutoresizingFlexibleRightMargin | UIViewAutoresizingFlexibleTopMargin,
                         UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleTopMargin};
    for (int i = 0; i < 4; ++i) {
        corners_[i] = std::make_shared<CornerView>(CGRect(origins[i], CGSize(cw, ch)), cornerLineColor_, cornerLineWidth_);
        corners_[i]->setCornerPosition(i);
        corners_[i]->setAutoresizingMask(masks[i]);
        imageView_->addSubview(corners_[i]);
    }
    // Same column (x) and same row (y).
    int columns[4] = {2, 3, 0, 1}, rows[4] = {1, 0, 3, 2};
    for (int i = 0; i < 4; ++i) {
        corners_[i]->setRelativeViewX(corners_[columns[i]]);
        corners_[i]->setRelativeViewY(corners_[rows[i]]);
    }
}

void CRImageView::bindPanGestures() {
    std::weak_ptr<CRImageView> weak = std::static_pointer_cast<CRImageView>(sharedView());
    for (auto& corner : corners_) {
        corner->addGestureRecognizer(std::make_shared<UIPanGestureRecognizer>([weak](UIGestureRecognizer& g) {
            if (auto self = weak.lock()) self->handleCornerPan(static_cast<UIPanGestureRecognizer&>(g));
        }));
    }
    cropAreaView_->addGestureRecognizer(std::make_shared<UIPanGestureRecognizer>([weak](UIGestureRecognizer& g) {
        if (auto self = weak.lock()) self->handleCropAreaPan(static_cast<UIPanGestureRecognizer&>(g));
    }));
}

// ---- Geometry of the view

void CRImageView::setFrame(const CGRect& frame) {
    UIView::setFrame(frame);
    if (imageView_) resetImageView();
}

void CRImageView::setCenter(CGPoint center) {
    UIView::setCenter(center);
    if (imageView_) resetImageView();
}

// ---- Settings

void CRImageView::setToCropImage(std::shared_ptr<UIImage> image) {
    toCropImage_ = std::move(image);
    CGSize size = toCropImage_ ? toCropImage_->size() : CGSize();
    imageAspectRatio_ = size.height > 0 ? size.width / size.height : 0;
    imageView_->setImage(toCropImage_);
    resetImageView();
    resetCropAreaByAspectRatio();
}

void CRImageView::setCropAspectRatio(double r) {
    cropAspectRatio_ = std::max(0.0, r);
    resetCropAreaByAspectRatio();
}

void CRImageView::setInitialScaleFactor(double s) { initialScaleFactor_ = std::min(1.0, s); }

void CRImageView::setMinSpace(double s) { minSpace_ = currentMinSpace_ = s; }

void CRImageView::setNeedScaleCrop(bool v) {
    if (!needScaleCrop_ && v) {
        std::weak_ptr<CRImageView> weak = std::static_pointer_cast<CRImageView>(sharedView());
        pinch_ = std::make_shared<UIPinchGestureRecognizer>([weak](UIGestureRecognizer& g) {
            if (auto self = weak.lock()) self->handleCropAreaPinch(static_cast<UIPinchGestureRecognizer&>(g));
        });
        cropAreaView_->addGestureRecognizer(pinch_);
    } else if (needScaleCrop_ && !v && pinch_) {
        cropAreaView_->removeGestureRecognizer(pinch_);
        pinch_.reset();
    }
    needScaleCrop_ = v;
}

void CRImageView::setShowMidLines(bool v) {
    if (cropAspectRatio_ == 0) {
        if (!showMidLines_ && v) {
            createMidLines();
            resetMidLines();
        } else if (showMidLines_ && !v) {
            removeMidLines();
        }
    }
    showMidLines_ = v;
}

void CRImageView::setShowCrossLines(bool v) {
    showCrossLines_ = v;
    cropAreaView_->setShowCrossLines(v);
}

void CRImageView::setCornerBorderInImage(bool v) {
    cornerBorderInImage_ = v;
    resetCropAreaByAspectRatio();
}

void CRImageView::setMaskColor(const UIColor& c) {
    maskColor_ = c;
    cropMaskView_->setBackgroundColor(c);
}

void CRImageView::setCropAreaBorderLineColor(const UIColor& c) {
    borderLineColor_ = c;
    cropAreaView_->setBorderColor(c);
}

void CRImageView::setCropAreaBorderLineWidth(double w) {
    borderLineWidth_ = w;
    cropAreaView_->setBorderWidth(w);
    resetCropAreaOnCornersFrameChanged();
}

void CRImageView::setCropAreaCornerLineColor(const UIColor& c) {
    cornerLineColor_ = c;
    for (auto& corner : corners_) corner->setLineColor(c);
}

void CRImageView::setCropAreaCornerLineWidth(double w) {
    cornerLineWidth_ = w;
    for (auto& corner : corners_) corner->setLineWidth(w);
    resetCropAreaByAspectRatio();
}

void CRImageView::setCropAreaCornerWidth(double w) {
    cornerWidth_ = w;
    resetCornersOnSizeChanged();
}

void CRImageView::setCropAreaCornerHeight(double h) {
    cornerHeight_ = h;
    resetCornersOnSizeChanged();
}

void CRImageView::setCropAreaCrossLineWidth(double w) {
    crossLineWidth_ = w;
    cropAreaView_->setCrossLineWidth(w);
}

void CRImageView::setCropAreaCrossLineColor(const UIColor& c) {
    crossLineColor_ = c;
    cropAreaView_->setCrossLineColor(c);
}

void CRImageView::setCropAreaMidLineWidth(double w) {
    midLineWidth_ = w;
    for (auto& line : midLines_) line->setLineWidth(w);
    if (showMidLines_) resetMidLines();
}

void CRImageView::setCropAreaMidLineHeight(double h) {
    midLineHeight_ = h;
    for (auto& line : midLines_) line->setLineHeight(h);
    if (showMidLines_) resetMidLines();
}

void CRImageView::setCropAreaMidLineColor(const UIColor& c) {
    midLineColor_ = c;
    for (auto& line : midLines_) line->setLineColor(c);
}

// ---- Layout steps

void CRImageView::resetImageView() {
    double width = bounds().width(), height = bounds().height();
    if (width <= 0 || height <= 0) return;
    double a = imageAspectRatio_, v = width / height;
    if (a > v) imageView_->setFrame(CGRect(0, std::floor((height - width / a) / 2), width, std::floor(width / a)));
    else imageView_->setFrame(CGRect(std::floor((width - height * a) / 2), 0, std::floor(height * a), height));
}

void CRImageView::resetCropAreaByAspectRatio() {
    if (imageAspectRatio_ == 0 || !cropAreaView_) return;
    double s = initialScaleFactor_, m = margin(), r = cropAspectRatio_, w, h;
    if (r == 0) {
        w = (W() - 2 * m) * s;
        h = (H() - 2 * m) * s;
        if (showMidLines_ && midLines_.empty()) createMidLines();
    } else {
        removeMidLines();
        if (imageAspectRatio_ > r) {
            h = (H() - 2 * m) * s;
            w = h * r;
        } else {
            w = (W() - 2 * m) * s;
            h = w / r;
        }
    }
    cropAreaView_->setFrame(CGRect((W() - w) / 2, (H() - h) / 2, w, h));
    resetCornersOnCropAreaFrameChanged();
    resetCropTransparentArea();
    resetMinSpaceIfNeeded();
}

void CRImageView::resetCropAreaOnCornersFrameChanged() {
    CGRect tl = corners_[0]->frame(), tr = corners_[1]->frame(), bl = corners_[2]->frame();
    double cm = cornerMargin();
    cropAreaView_->setFrame(
        CGRect(tl.minX() + cm, tl.minY() + cm, tr.maxX() - tl.minX() - 2 * cm, bl.maxY() - tl.minY() - 2 * cm));
}

void CRImageView::resetCornersOnCropAreaFrameChanged() {
    CGRect f = cropAreaView_->frame();
    double cm = cornerMargin(), cw = cornerWidth_, ch = cornerHeight_;
    CGPoint origins[4] = {{f.minX() - cm, f.minY() - cm},
                          {f.maxX() - cw + cm, f.minY() - cm},
                          {f.minX() - cm, f.maxY() - ch + cm},
                          {f.maxX() - cw + cm, f.maxY() - ch + cm}};
    for (int i = 0; i < 4; ++i) corners_[i]->setFrame(CGRect(origins[i], CGSize(cw, ch)));
}

void CRImageView::resetCornersOnSizeChanged() {
    for (auto& corner : corners_) corner->updateSizeWithWidth(cornerWidth_, cornerHeight_);
    resetCropAreaOnCornersFrameChanged();
}

void CRImageView::resetCropTransparentArea() {
    if (!cropMaskView_) return;
    CGPath path = CGPath::rect(imageView_->bounds());
    path.addPath(CGPath::rect(cropAreaView_->frame()).reversed());
    if (!maskLayer_) {
        maskLayer_ = CAShapeLayer::layer();
        maskLayer_->setFillColor(UIColor::blackColor());
        cropMaskView_->layer()->setMask(maskLayer_);
    }
    maskLayer_->setFrame(cropMaskView_->bounds());
    maskLayer_->setPath(path);
}

void CRImageView::resetMinSpaceIfNeeded() {
    CGSize size = cropAreaView_->frame().size;
    double cm = cornerMargin();
    currentMinSpace_ = std::min({size.width - 2 * cornerWidth_ + 2 * cm, size.height - 2 * cornerHeight_ + 2 * cm, minSpace_});
}

void CRImageView::createMidLines() {
    std::weak_ptr<CRImageView> weak = std::static_pointer_cast<CRImageView>(sharedView());
    removeMidLines();
    for (int type = MidLineView::Top; type <= MidLineView::Right; ++type) {
        auto line = std::make_shared<MidLineView>(midLineWidth_, midLineHeight_, midLineColor_);
        line->setType(type);
        line->addGestureRecognizer(std::make_shared<UIPanGestureRecognizer>([weak](UIGestureRecognizer& g) {
            if (auto self = weak.lock()) self->handleMidPan(static_cast<UIPanGestureRecognizer&>(g));
        }));
        cropAreaView_->addSubview(line);
        midLines_.push_back(line);
    }
}

void CRImageView::resetMidLines() {
    if (midLines_.size() != 4) return;
    double w = cropAreaView_->bounds().width(), h = cropAreaView_->bounds().height();
    double k = midLineHeight_ / 2 - borderLineWidth_, half = kMidLineSide / 2;
    CGPoint origins[4] = {{(w - kMidLineSide) / 2, -half - k},
                          {(w - kMidLineSide) / 2, h - half + k},
                          {-half - k, (h - kMidLineSide) / 2},
                          {w - half + k, (h - kMidLineSide) / 2}};
    for (int i = 0; i < 4; ++i) midLines_[size_t(i)]->setFrame(CGRect(origins[i], CGSize(kMidLineSide, kMidLineSide)));
}

void CRImageView::removeMidLines() {
    for (auto& line : midLines_) line->removeFromSuperview();
    midLines_.clear();
}

// ---- Gestures

void CRImageView::handleCropAreaPan(UIPanGestureRecognizer& g) {
    if (g.state() == UIGestureRecognizerState::Began) {
        cropAreaOriCenter_ = cropAreaView_->center();
    } else if (g.state() == UIGestureRecognizerState::Changed) {
        CGPoint t = g.translationInView(imageView_.get());
        CGSize size = cropAreaView_->bounds().size;
        double m = margin();
        // The lower bound first, so the upper bound wins when both cannot hold.
        double x = std::min(std::max(cropAreaOriCenter_.x + t.x, size.width / 2 + m), W() - size.width / 2 - m);
        double y = std::min(std::max(cropAreaOriCenter_.y + t.y, size.height / 2 + m), H() - size.height / 2 - m);
        cropAreaView_->setCenter({x, y});
        resetCornersOnCropAreaFrameChanged();
    }
}

void CRImageView::handleCornerPan(UIPanGestureRecognizer& g) {
    auto corner = std::dynamic_pointer_cast<CornerView>(g.view());
    if (!corner) return;
    auto column = corner->relativeViewX(), row = corner->relativeViewY();
    if (!column || !row) return;
    CGRect c = corner->frame(), x = column->frame(), y = row->frame();
    CGPoint p = g.locationInView(imageView_.get());
    double cw = cornerWidth_, ch = cornerHeight_, cm = cornerMargin(), b = cornerBorderInImage_ ? 1 : 0;
    double ms = currentMinSpace_, r = cropAspectRatio_;
    double sx = y.minX() > c.minX() ? -1 : 1, sy = x.minY() > c.minY() ? -1 : 1;
    double roomX = sx < 0 ? c.minX() + cm : W() - c.maxX() + cm;
    double roomY = sy < 0 ? c.minY() + cm : H() - c.maxY() + cm;
    double q = roomX / roomY;
    double minW = ms + 2 * cw - 2 * cm, minH = ms + 2 * ch - 2 * cm;
    double w = std::max(cw + sx * (p.x - y.midX()) - 2 * cm, minW);
    w = std::min(w, (sx < 0 ? y.midX() : W() - y.midX()) + cw / 2 - 2 * cm + (1 - b) * cm);
    double h = std::max(ch + sy * (p.y - x.midY()) - 2 * cm, minH);
    h = std::min(h, (sy < 0 ? x.midY() : H() - x.midY()) + ch / 2 - 2 * cm + (1 - b) * cm);
    if (r > 0) {
        if (r < q) {
            w = std::max(h * r, minW);
            h = w / r;
        } else {
            h = std::max(w / r, minH);
            w = r * h;
        }
    }
    corner->setCenter({y.midX() + sx * (w - cw + 2 * cm), x.midY() + sy * (h - ch + 2 * cm)});
    CGRect moved = corner->frame();
    column->setFrame(CGRect(moved.minX(), x.minY(), x.width(), x.height()));
    row->setFrame(CGRect(y.minX(), moved.minY(), y.width(), y.height()));
    resetCropAreaOnCornersFrameChanged();
    resetCropTransparentArea();
}

void CRImageView::handleMidPan(UIPanGestureRecognizer& g) {
    auto line = std::dynamic_pointer_cast<MidLineView>(g.view());
    if (!line) return;
    if (g.state() == UIGestureRecognizerState::Began) {
        cropAreaOriFrame_ = cropAreaView_->frame();
        return;
    }
    if (g.state() != UIGestureRecognizerState::Changed) return;
    CGPoint t = g.translationInView(cropAreaView_.get());
    const CGRect& o = cropAreaOriFrame_;
    double cm = cornerMargin(), minW = currentMinSpace_ + 2 * cornerWidth_ - 2 * cm;
    double minH = currentMinSpace_ + 2 * cornerHeight_ - 2 * cm;
    CGRect f = o;
    switch (line->type()) {
        case MidLineView::Top: {
            double height = std::min(std::max(o.height() - t.y, minH), o.maxY() - cm);
            f = CGRect(o.minX(), o.maxY() - height, o.width(), height);
            break;
        }
        case MidLineView::Bottom:
            f.size.height = std::min(std::max(o.height() + t.y, minH), H() - o.minY() - cm);
            break;
        case MidLineView::Left: {
            double width = std::min(std::max(o.width() - t.x, minW), o.maxX() - cm);
            f = CGRect(o.maxX() - width, o.minY(), width, o.height());
            break;
        }
        default: f.size.width = std::min(std::max(o.width() + t.x, minW), W() - o.minX() - cm); break;
    }
    cropAreaView_->setFrame(f);
    resetCornersOnCropAreaFrameChanged();
}

void CRImageView::handleCropAreaPinch(UIPinchGestureRecognizer& g) {
    if (g.state() == UIGestureRecognizerState::Began) pinchOriSize_ = cropAreaView_->bounds().size;
    else if (g.state() == UIGestureRecognizerState::Changed) resetCropAreaByScaleFactor(g.scale);
}

void CRImageView::resetCropAreaByScaleFactor(double scale) {
    CGPoint c = cropAreaView_->center();
    double w = pinchOriSize_.width * scale, h = pinchOriSize_.height * scale;
    double m = margin(), r = cropAspectRatio_;
    double hx = std::min(W() - c.x - m, c.x - m), hy = std::min(H() - c.y - m, c.y - m);
    double n = currentMinSpace_ + 2 * cornerWidth_ - 2 * m;
    auto apply = [&] {
        cropAreaView_->setBounds(CGRect(0, 0, w, h));
        cropAreaView_->setCenter(c);
        resetCornersOnCropAreaFrameChanged();
    };
    if (r > 1 && h <= n) {
        w = r * n;
        h = n;
        return apply();
    }
    if (r <= 1 && w <= n) {
        h = n / (r == 0 ? 1 : r);
        w = n;
        return apply();
    }
    // A side reaching past its half room is capped (when `cap`) and moved
    // so that it stays inside the image.
    auto fitX = [&](bool cap) {
        if (cap) w = std::min(w, W() - 2 * m);
        c.x = c.x > W() / 2 ? W() - w / 2 - m : m + w / 2;
    };
    auto fitY = [&](bool cap) {
        if (cap) h = std::min(h, H() - 2 * m);
        c.y = c.y > H() / 2 ? H() - h / 2 - m : m + h / 2;
    };
    if (r == 0) {
        if (w >= 2 * hx) fitX(true);
        if (h > 2 * hy) fitY(true);
    } else if (imageAspectRatio_ > r) {
        if (h >= 2 * hy) fitY(true);
        w = h * r;
        if (w > 2 * hx) fitX(false);
    } else {
        if (w >= 2 * hx) fitX(true);
        h = w / r;
        if (h > 2 * hy) fitY(false);
    }
    apply();
}

// ---- The cut

std::shared_ptr<UIImage> CRImageView::currentCroppedImage() const {
    auto upright = Handler::fixOrientation(toCropImage_);
    if (!upright || W() <= 0) return nullptr;
    double k = W() / upright->CGImage()->width(), bw = borderLineWidth_;
    CGRect f = cropAreaView_->frame();
    CGRect rect(snapped((f.minX() + bw) / k), snapped((f.minY() + bw) / k), snapped((f.width() - 2 * bw) / k),
                snapped((f.height() - 2 * bw) / k));
    if (rect.width() <= 0 || rect.height() <= 0) return nullptr;
    return Handler::imageAtRect(upright, rect);
}
