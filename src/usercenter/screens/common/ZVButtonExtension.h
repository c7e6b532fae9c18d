#pragma once
// Button helpers of the user-centre screens: image and title arranged
// around each other, one-colour backgrounds per state, an image-backed bar
// button, and the nib button whose image sits above its title.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIButton.h"

enum class ZVButtonEdgeInsetsStyle { ImageTop = 0, ImageLeft = 1, ImageBottom = 2, ImageRight = 3 };

namespace ZVButtonExtension {

// Title and image insets that put the image above (0), left of (1), below
// (2) or right of (3) the title, `space` apart; any other style sets both
// insets to zero.
void layoutButtonWithEdgeInsetsStyle(UIButton& button, int style, double space);
// The 1 × 1 one-colour image.
std::shared_ptr<UIImage> imageWithColor(const UIColor& colour);
// The background image of the state: one colour.
void setBackgroundColor(UIButton& button, const UIColor& colour, unsigned state);
// A bar button with a custom button of main-bundle background images (the
// given size, or the image's when the width is 0) running `action`.
std::shared_ptr<UIBarButtonItem> itemWithTarget(std::function<void()> action, const std::string& image,
                                                const std::string& highImage, CGSize size);

}  // namespace ZVButtonExtension

// A button from a nib whose image sits above its title.
class CXRImageTitleBtn : public UIButton {
public:
    using UIButton::UIButton;
    static std::shared_ptr<CXRImageTitleBtn> fromNib();
    // What the nib runs once the button is made.
    void awakeFromNib();
};
