#include "usercenter/screens/common/ZVViewExtension.h"

#include "platform/foundation/PlatformLog.h"
#include "platform/ui/CALayer.h"
#include "platform/ui/UILabel.h"

namespace Extension {

namespace {
void setFrameKeeping(UIView& v, const std::function<void(CGRect&)>& change) {
    CGRect f = v.frame();
    change(f);
    v.setFrame(f);
}
const UIColor kShadowGrey = UIColor::colorWithRed(230 / 255.0, 230 / 255.0, 230 / 255.0, 1);
}  // namespace

double x(const UIView& v) { return v.frame().origin.x; }
void setX(UIView& v, double value) { setFrameKeeping(v, [&](CGRect& f) { f.origin.x = value; }); }
double y(const UIView& v) { return v.frame().origin.y; }
void setY(UIView& v, double value) { setFrameKeeping(v, [&](CGRect& f) { f.origin.y = value; }); }
double width(const UIView& v) { return v.frame().size.width; }
void setWidth(UIView& v, double value) { setFrameKeeping(v, [&](CGRect& f) { f.size.width = value; }); }
double height(const UIView& v) { return v.frame().size.height; }
void setHeight(UIView& v, double value) { setFrameKeeping(v, [&](CGRect& f) { f.size.height = value; }); }
CGSize size(const UIView& v) { return v.frame().size; }
void setSize(UIView& v, CGSize value) { setFrameKeeping(v, [&](CGRect& f) { f.size = value; }); }
CGPoint origin(const UIView& v) { return v.frame().origin; }
void setOrigin(UIView& v, CGPoint value) { setFrameKeeping(v, [&](CGRect& f) { f.origin = value; }); }
double centerX(const UIView& v) { return v.center().x; }
void setCenterX(UIView& v, double value) { v.setCenter({value, v.center().y}); }
double centerY(const UIView& v) { return v.center().y; }
void setCenterY(UIView& v, double value) { v.setCenter({v.center().x, value}); }
double right(const UIView& v) { return x(v) + width(v); }
void setRight(UIView& v, double value) { setX(v, value - width(v)); }
double bottom(const UIView& v) { return y(v) + height(v); }
void setBottom(UIView& v, double value) { setY(v, value - height(v)); }

void setLayerBorderWidth(UIView& v, double width, const UIColor& colour) {
    v.layer()->setBorderWidth(width);
    v.layer()->setBorderColor(colour);
}

void setLayerCornerRadius(UIView& v, double radius) {
    v.layer()->setCornerRadius(radius);
    v.layer()->setMasksToBounds(true);
}

void setCornerRadius(UIView& v, double radius, UIRectCorner corners) {
    auto mask = CAShapeLayer::layer();
    mask->setFrame(v.bounds());
    mask->setPath(CGPath::roundedRect(v.bounds(), radius, corners));
    v.layer()->setMask(mask);
}

void setShadowWithCornerRadius(UIView& v, double cornerRadius, double shadowRadius, CGSize offset) {
    auto& layer = *v.layer();
    layer.setShadowColor(kShadowGrey);
    layer.setMasksToBounds(false);
    layer.setCornerRadius(cornerRadius);
    layer.setShadowRadius(shadowRadius);
    layer.setShadowOffset(offset);
    layer.setShadowOpacity(0.9);
}

void setShadow(UIView& v) { setShadowWithCornerRadius(v, 5, 3, {0, 0}); }
void setShadowWithRadius(UIView& v, double cornerRadius) { setShadowWithCornerRadius(v, cornerRadius, 3, {0, 0}); }

double getLabelHeightByWidth(double width, const std::string& text, const std::shared_ptr<UIFont>& font) {
    auto label = std::make_shared<UILabel>(CGRect(0, 0, width, 0));
    label->setText(text);
    label->setFont(font);
    label->setNumberOfLines(0);
    label->sizeToFit();
    return label->frame().height();
}

std::shared_ptr<UIView> ViewFromXib(const std::string& name) {
    auto view = ClassRegistry::createAs<UIView>(name);
    if (!view) NSLog("ViewFromXib: no nib named %s in the SDK bundle", name.c_str());
    return view;
}

}  // namespace Extension
