#pragma once
// Colours from hexadecimal text or numbers (the category
// UIColor(XTExtention)), one-colour and gradient images and the SDK
// bundle's images (UIImage(ZVColor)), and a layer's border colour as a
// platform colour (CALayer(ZVColor)).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/UIImage.h"
#include "platform/ui/CALayer.h"

namespace XTExtention {

// 0xAARRGGBB: alpha AA/255, or opaque when AA is 0.
UIColor fromHexValue(uint32_t argb);
// 0xRRGGBB with the given alpha.
UIColor fromHexValue(uint32_t rgb, double alpha);
// 0xRGB, components of 15.
UIColor fromShortHexValue(uint32_t rgb, double alpha = 1);
// "#RRGGBB", "0xRRGGBB" or "RRGGBB", blanks around allowed, any case; the
// clear colour for anything else. A pair that is not two hexadecimal
// digits gives 0 for its component.
UIColor colorWithHexString(const std::string& text);

}  // namespace XTExtention

namespace ZVColor {

// A 1 × 1 point image of one colour (stretched as backgrounds and lines).
std::shared_ptr<UIImage> imageWithColor(const UIColor& colour);
// Top to bottom (type 0 and any other), left to right (1), top left to
// bottom right (2), top right to bottom left (3); scale 1, opaque.
std::shared_ptr<UIImage> gradientColorImageFromColors(const std::vector<UIColor>& colours, int gradientType,
                                                      CGSize size);
// An image of the SDK resource bundle by name; nullptr when missing.
std::shared_ptr<UIImage> sdkImageNamed(const std::string& name);

inline UIColor borderUIColor(const CALayer& layer) { return layer.borderColor(); }
inline void setBorderUIColor(CALayer& layer, const UIColor& colour) { layer.setBorderColor(colour); }

}  // namespace ZVColor
