#include "plugin/iOS/RAZ5Orered/CropImage/CropOverlayViews.h"

namespace {

// A fresh shape layer in place of `old`: stroked, not filled.
std::shared_ptr<CAShapeLayer> replaceLayer(UIView& view, std::shared_ptr<CAShapeLayer>& old) {
    if (old) old->removeFromSuperlayer();
    old = CAShapeLayer::layer();
    old->setFrame(view.bounds());
    old->setFillColor(UIColor::clearColor());
    view.layer()->addSublayer(old);
    return old;
}

}  // namespace

// ---- CornerView

CornerView::CornerView(const CGRect& frame, const UIColor& lineColor, double lineWidth) : UIView(frame) {
    lineColor_ = lineColor;
    setLineWidth(lineWidth);
}

void CornerView::setLineWidth(double w) {
    lineWidth_ = w;
    drawCornerLines();
}

void CornerView::setLineColor(const UIColor& c) {
    lineColor_ = c;
    if (layer_) layer_->setStrokeColor(c);
}

void CornerView::setCornerPosition(int p) {
    position_ = p;
    drawCornerLines();
}

void CornerView::updateSizeWithWidth(double width, double height) {
    CGRect f = frame();
    switch (position_) {
        case TopLeft: setFrame(CGRect(f.minX(), f.minY(), width, height)); break;
        case TopRight: setFrame(CGRect(f.maxX() - width, f.minY(), width, height)); break;
        case BottomLeft: setFrame(CGRect(f.minX(), f.maxY() - height, width, height)); break;
        case BottomRight: setFrame(CGRect(f.maxX() - width, f.maxY() - height, width, height)); break;
        default: break;
    }
    drawCornerLines();
}

void CornerView::drawCornerLines() {
    auto layer = replaceLayer(*this, layer_);
    layer->setLineWidth(lineWidth_);
    layer->setStrokeColor(lineColor_);
    double w = bounds().width(), h = bounds().height(), d = lineWidth_ / 2;
    // Two segments meeting at the corner, inset by half the stroke so that
    // the stroke stays inside the view.
    CGPoint points[4][3] = {{{w, d}, {d, d}, {d, h}},
                            {{0, d}, {w - d, d}, {w - d, h}},
                            {{d, 0}, {d, h - d}, {w, h - d}},
                            {{w - d, 0}, {w - d, h - d}, {0, h - d}}};
    CGPath path;
    if (position_ >= TopLeft && position_ <= BottomRight) {
        auto& p = points[position_];
        path.moveTo(p[0]);
        path.lineTo(p[1]);
        path.lineTo(p[2]);
    }
    layer->setPath(path);
}

// ---- MidLineView

MidLineView::MidLineView(double lineWidth, double lineHeight, const UIColor& lineColor)
    : UIView(CGRect(0, 0, 44, 44)) {
    lineColor_ = lineColor;
    lineHeight_ = lineHeight;
    setLineWidth(lineWidth);
    setLineHeight(lineHeight);
    setLineColor(lineColor);
}

void MidLineView::setLineWidth(double w) {
    lineWidth_ = w;
    drawMidLine();
}

void MidLineView::setLineHeight(double h) {
    lineHeight_ = h;
    if (layer_) layer_->setLineWidth(h);
}

void MidLineView::setLineColor(const UIColor& c) {
    lineColor_ = c;
    if (layer_) layer_->setStrokeColor(c);
}

void MidLineView::setType(int t) {
    type_ = t;
    drawMidLine();
}

void MidLineView::drawMidLine() {
    auto layer = replaceLayer(*this, layer_);
    layer->setStrokeColor(lineColor_);
    layer->setLineWidth(lineHeight_);
    double w = bounds().width(), h = bounds().height(), l = lineWidth_;
    CGPath path;
    if (type_ == Top || type_ == Bottom) {
        path.moveTo({(w - l) / 2, h / 2});
        path.lineTo({(w + l) / 2, h / 2});
    } else if (type_ == Left || type_ == Right) {
        path.moveTo({w / 2, (h - l) / 2});
        path.lineTo({w / 2, (h + l) / 2});
    }
    layer->setPath(path);
}

// ---- CropAreaView

CropAreaView::CropAreaView() { createBorderLayer(); }

void CropAreaView::setFrame(const CGRect& frame) {
    UIView::setFrame(frame);
    if (showCrossLines_) showCrossLineLayer();
    resetBorderLayerPath();
}

void CropAreaView::setBounds(const CGRect& bounds) {
    UIView::setBounds(bounds);
    if (showCrossLines_) showCrossLineLayer();
    resetBorderLayerPath();
}

void CropAreaView::setBorderWidth(double w) {
    borderWidth_ = w;
    resetBorderLayerPath();
}

void CropAreaView::setBorderColor(const UIColor& c) {
    borderColor_ = c;
    borderLayer_->setStrokeColor(c);
}

void CropAreaView::setCrossLineWidth(double w) {
    crossLineWidth_ = w;
    if (crossLineLayer_) crossLineLayer_->setLineWidth(w);
}

void CropAreaView::setCrossLineColor(const UIColor& c) {
    crossLineColor_ = c;
    if (crossLineLayer_) crossLineLayer_->setStrokeColor(c);
}

void CropAreaView::setShowCrossLines(bool show) {
    if (showCrossLines_ && !show && crossLineLayer_) {
        crossLineLayer_->removeFromSuperlayer();
        crossLineLayer_.reset();
    } else if (!showCrossLines_ && show) {
        showCrossLines_ = true;
        showCrossLineLayer();
    }
    showCrossLines_ = show;
}

std::shared_ptr<UIView> CropAreaView::hitTest(CGPoint point, UIEvent*) {
    for (auto& sub : subviews())
        if (sub->frame().contains(point)) return sub;
    if (bounds().contains(point)) return sharedView();
    return nullptr;
}

void CropAreaView::createBorderLayer() {
    if (borderLayer_) borderLayer_->removeFromSuperlayer();
    borderLayer_ = CAShapeLayer::layer();
    borderLayer_->setFillColor(std::nullopt);
    layer()->addSublayer(borderLayer_);
}

void CropAreaView::resetBorderLayerPath() {
    double bw = borderWidth_, w = bounds().width(), h = bounds().height();
    borderLayer_->setFrame(bounds());
    borderLayer_->setLineWidth(bw);
    borderLayer_->setStrokeColor(borderColor_);
    borderLayer_->setPath(CGPath::rect(CGRect(bw / 2, bw / 2, w - bw, h - bw)));
}

void CropAreaView::showCrossLineLayer() {
    double w = bounds().width(), h = bounds().height();
    CGPath path;
    for (double x : {w / 3, 2 * w / 3}) {
        path.moveTo({x, 0});
        path.lineTo({x, h});
    }
    for (double y : {h / 3, 2 * h / 3}) {
        path.moveTo({0, y});
        path.lineTo({w, y});
    }
    if (!crossLineLayer_) {
        crossLineLayer_ = CAShapeLayer::layer();
        crossLineLayer_->setFillColor(std::nullopt);
        layer()->addSublayer(crossLineLayer_);
    }
    crossLineLayer_->setFrame(bounds());
    crossLineLayer_->setLineWidth(crossLineWidth_);
    crossLineLayer_->setStrokeColor(crossLineColor_);
    crossLineLayer_->setPath(path);
}
