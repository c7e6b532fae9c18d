#pragma once
// The user-centre screens' small view helpers (the category
// UIView(Extension)): frame shortcuts, rounded corners and shadows, text
// heights, and views loaded from their nib in the SDK bundle.
//
// Every setter keeps the other frame values. Nibs are ours to make: a nib
// is a view class registered by its name (REGISTER_CLASS); loading one of
// an unknown name gives nullptr and a log line.

#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/ui/UIFont.h"
#include "platform/ui/UIView.h"

namespace Extension {

double x(const UIView& v);
void setX(UIView& v, double x);
double y(const UIView& v);
void setY(UIView& v, double y);
inline double left(const UIView& v) { return x(v); }
inline void setLeft(UIView& v, double value) { setX(v, value); }
inline double top(const UIView& v) { return y(v); }
inline void setTop(UIView& v, double value) { setY(v, value); }
double width(const UIView& v);
void setWidth(UIView& v, double width);
double height(const UIView& v);
void setHeight(UIView& v, double height);
CGSize size(const UIView& v);
void setSize(UIView& v, CGSize size);
CGPoint origin(const UIView& v);
void setOrigin(UIView& v, CGPoint origin);
double centerX(const UIView& v);
void setCenterX(UIView& v, double x);
double centerY(const UIView& v);
void setCenterY(UIView& v, double y);
// x + width; the setter moves x to value - width.
double right(const UIView& v);
void setRight(UIView& v, double right);
// y + height; the setter moves y to value - height.
double bottom(const UIView& v);
void setBottom(UIView& v, double bottom);

void setLayerBorderWidth(UIView& v, double width, const UIColor& colour);
// Corner radius, clipping to the bounds.
void setLayerCornerRadius(UIView& v, double radius);
// Masks the view to its bounds of now, rounded at the given corners only.
void setCornerRadius(UIView& v, double radius, UIRectCorner corners);
// A soft grey (RGB 230) shadow: radius 3, corner radius 5, no offset, opacity 0.9.
void setShadow(UIView& v);
void setShadowWithCornerRadius(UIView& v, double cornerRadius, double shadowRadius, CGSize offset);
void setShadowWithRadius(UIView& v, double cornerRadius);

// Height of the text in `font` at `width`, any number of lines.
double getLabelHeightByWidth(double width, const std::string& text, const std::shared_ptr<UIFont>& font);

// The view of the nib named `name` (the last top-level object), or nullptr.
std::shared_ptr<UIView> ViewFromXib(const std::string& name);
template <class View>
std::shared_ptr<View> ViewFromXib(const std::string& name) {
    return std::dynamic_pointer_cast<View>(ViewFromXib(name));
}

}  // namespace Extension
