#include "usercenter/screens/common/ZVButtonExtension.h"

namespace ZVButtonExtension {

void layoutButtonWithEdgeInsetsStyle(UIButton& button, int style, double space) {
    CGSize image = button.imageView()->frame().size;
    CGSize title = button.titleLabel()->intrinsicContentSize();
    double iw = image.width, ih = image.height, lw = title.width, lh = title.height, s = space / 2;
    UIEdgeInsets titleInsets{}, imageInsets{};
    switch (style) {
    case 0:
        titleInsets = {0, -iw, -ih - s, 0};
        imageInsets = {-lh - s, 0, 0, -lw};
        break;
    case 1:
        titleInsets = {0, s, 0, -s};
        imageInsets = {0, -s, 0, s};
        break;
    case 2:
        titleInsets = {-ih - s, -iw, 0, 0};
        imageInsets = {0, 0, -lh - s, -lw};
        break;
    case 3:
        titleInsets = {0, -iw - s, 0, iw + s};
        imageInsets = {0, lw + s, 0, -lw - s};
        break;
    default: break;
    }
    button.setTitleEdgeInsets(titleInsets);
    button.setImageEdgeInsets(imageInsets);
}

std::shared_ptr<UIImage> imageWithColor(const UIColor& colour) { return UIImage::imageWithColor(colour); }

void setBackgroundColor(UIButton& button, const UIColor& colour, unsigned state) {
    button.setBackgroundImage(imageWithColor(colour), state);
}

std::shared_ptr<UIBarButtonItem> itemWithTarget(std::function<void()> action, const std::string& image,
                                                const std::string& highImage, CGSize size) {
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->addAction(UIControlEventTouchUpInside, [action](UIControl&) {
        if (action) action();
    });
    auto normal = UIImage::imageNamed(image);
    button->setBackgroundImage(normal, UIControlStateNormal);
    button->setBackgroundImage(UIImage::imageNamed(highImage), UIControlStateHighlighted);
    if (size.width == 0) size = normal ? normal->size() : CGSize{};
    button->setFrame(CGRect({0, 0}, size));
    return UIBarButtonItem::withCustomView(button);
}

}  // namespace ZVButtonExtension

std::shared_ptr<CXRImageTitleBtn> CXRImageTitleBtn::fromNib() {
    auto button = std::make_shared<CXRImageTitleBtn>();
    button->awakeFromNib();
    return button;
}

void CXRImageTitleBtn::awakeFromNib() {
    CGSize image = imageView()->frame().size;
    CGSize title = titleLabel()->intrinsicContentSize();
    setTitleEdgeInsets({0, -image.width, -5 - image.height, 0});
    setImageEdgeInsets({-5 - title.height, 0, 0, -title.width});
}
