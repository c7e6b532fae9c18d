#pragma once
// A button: title, title colour, image and background image per control
// state (falling back to the normal state), content, title and image edge
// insets, and target-action through UIControl.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/UIImage.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"

enum class UIButtonType { Custom = 0, System = 1 };

class UIButton : public UIControl {
public:
    UIButton();
    explicit UIButton(const CGRect& frame);
    static std::shared_ptr<UIButton> buttonWithType(UIButtonType type);

    UIButtonType buttonType() const { return type_; }

    void setTitle(const std::string& title, unsigned state);
    std::optional<std::string> titleForState(unsigned state) const;
    void setTitleColor(const UIColor& color, unsigned state);
    UIColor titleColorForState(unsigned state) const;
    void setAttributedTitle(std::optional<NSAttributedString> title, unsigned state);
    void setImage(std::shared_ptr<UIImage> image, unsigned state);
    std::shared_ptr<UIImage> imageForState(unsigned state) const;
    void setBackgroundImage(std::shared_ptr<UIImage> image, unsigned state);
    std::shared_ptr<UIImage> backgroundImageForState(unsigned state) const;

    std::string currentTitle() const;
    std::shared_ptr<UIImage> currentImage() const { return imageForState(state()); }
    std::shared_ptr<UIImage> currentBackgroundImage() const { return backgroundImageForState(state()); }

    // Made on first use; the title label's font is the button's title font.
    const std::shared_ptr<UILabel>& titleLabel();
    const std::shared_ptr<UIImageView>& imageView();

    UIEdgeInsets contentEdgeInsets, titleEdgeInsets, imageEdgeInsets;
    void setContentEdgeInsets(const UIEdgeInsets& i) { contentEdgeInsets = i; setNeedsLayout(); }
    void setTitleEdgeInsets(const UIEdgeInsets& i) { titleEdgeInsets = i; setNeedsLayout(); }
    void setImageEdgeInsets(const UIEdgeInsets& i) { imageEdgeInsets = i; setNeedsLayout(); }
    bool adjustsImageWhenHighlighted = true;
    bool showsTouchWhenHighlighted = false;

    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) const override;
    CGSize intrinsicContentSize() const override { return sizeThatFits({0, 0}); }
    void drawRect(CGContext& ctx, const CGRect& rect) override;

protected:
    void stateDidChange() override;

private:
    template <class T>
    static const T* lookup(const std::map<unsigned, T>& m, unsigned state);
    void refresh();
    CGSize titleSize() const;
    CGSize imageSize() const;

    UIButtonType type_ = UIButtonType::Custom;
    std::map<unsigned, std::string> titles_;
    std::map<unsigned, UIColor> titleColors_;
    std::map<unsigned, NSAttributedString> attributedTitles_;
    std::map<unsigned, std::shared_ptr<UIImage>> images_, backgroundImages_;
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UIImageView> imageView_;
};
