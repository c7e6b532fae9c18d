// The screens' small helpers: colours, frames, buttons, descriptions,
// nibs, the measuring label, the toast, the top window, model names and
// the loading dots.

#include "UserCentreTestSupport.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/screens/common/ZVButtonExtension.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/common/ZVDescription.h"
#include "usercenter/screens/shell/ZVPostList.h"
#include "usercenter/screens/common/ZVProgressDP.h"
#include "usercenter/screens/common/ZVShowLabel.h"
#include "usercenter/screens/common/ZVViewExtension.h"

namespace {

class Helpers : public UserCentreTest {};

TEST_F(Helpers, HexadecimalColourTexts) {
    const UIColor teal = UIColor::fromRGB(0x1A2B3C);
    struct Case {
        std::string text;
        UIColor want;
    };
    for (auto& c : std::vector<Case>{{"#1a2b3c", teal},
                                     {"  0X1A2B3C\n", teal},
                                     {"0x1a2b3c", teal},
                                     {"1A2B3C", teal},
                                     {"#FFF", UIColor::clearColor()},
                                     {"", UIColor::clearColor()},
                                     {"1A2B3C4", UIColor::clearColor()},
                                     {"#GG2B3C", UIColor::fromRGB(0x002B3C)}})
        EXPECT_EQ(XTExtention::colorWithHexString(c.text), c.want) << c.text;
    EXPECT_EQ(XTExtention::fromHexValue(0x00FF0000), UIColor::redColor());
    EXPECT_EQ(XTExtention::fromHexValue(0x80FF0000), UIColor::colorWithRed(1, 0, 0, 128 / 255.0));
    EXPECT_EQ(XTExtention::fromShortHexValue(0xF00), UIColor::redColor());
}

TEST_F(Helpers, FramesButtonsDescriptionsAndNibs) {
    UIView v(CGRect(10, 20, 30, 40));
    Extension::setRight(v, 100);
    Extension::setBottom(v, 100);
    EXPECT_EQ(v.frame(), CGRect(70, 60, 30, 40));

    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->setTitle("领取", UIControlStateNormal);
    ZVButtonExtension::layoutButtonWithEdgeInsetsStyle(*button, 1, 10);
    EXPECT_EQ(button->titleEdgeInsets, (UIEdgeInsets{0, 5, 0, -5}));
    ZVButtonExtension::layoutButtonWithEdgeInsetsStyle(*button, 5, 10);
    EXPECT_EQ(button->titleEdgeInsets, UIEdgeInsets{});
    EXPECT_EQ(button->imageEdgeInsets, UIEdgeInsets{});

    EXPECT_EQ(ZVDescription::descriptionWithLocale(Value::dict({{"a", 1}})), "{\n\ta : 1\n}");
    EXPECT_EQ(ZVDescription::descriptionWithLocale(Value::array({"x", "y"})), "[\n\tx,\n\ty\n]");

    EXPECT_FALSE(Extension::ViewFromXib("ZVNoSuchNib"));
    auto cell = Extension::ViewFromXib<ZVPostCell>("ZVStrategyCell");
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->bgView->superview(), cell->contentView());  // awoken as its nib would be
}

TEST_F(Helpers, TheShowLabelMeasuresTheWholeTextButShowsOneLine) {
    ZVShowLabel::setMeasurer([](const std::string& text, const std::shared_ptr<UIFont>& font, double width) {
        return CGSize{width, font->lineHeight() * double(text.size())};  // a line a byte
    });
    ZVShowLabel label;
    label.w = 200;
    label.setFrame(CGRect(5, 6, 200, 100));
    label.setText("abc");
    double line = label.font()->lineHeight();
    EXPECT_EQ(label.frame(), CGRect(5, 6, 200, line));
    EXPECT_EQ(label.maxHeight, int32_t(std::ceil(3 * line)));
    EXPECT_EQ(label.rows, 3);
    EXPECT_EQ(label.numberOfLines(), 0);
    ZVShowLabel::setMeasurer(nullptr);
}

TEST_F(Helpers, TheToastsBoxFitsItsTextAtTwoThirdsOfTheFreeHeight) {
    auto root = makeWindow()->rootViewController()->view();
    auto toastIn = [&](const std::shared_ptr<UIView>& view, const std::string& text) {
        for (auto& s : std::vector(view->subviews())) s->removeFromSuperview();
        CXRMessage::showMessage(text, view);
        return view->subviews().empty() ? CGRect() : view->subviews().back()->frame();
    };
    CGRect empty = toastIn(root, "");
    EXPECT_EQ(empty.size, (CGSize{20, 20}));
    double W = root->bounds().width(), H = root->bounds().height();
    CGRect longBox = toastIn(root, std::string(40, 'W') + "一段很长很长的提示文字，需要折成好几行才能放下");
    double glyph = CXRMessage::getWidthWithText("W", 20, 16);
    EXPECT_LE(longBox.width(), W - 20);
    EXPECT_GT(longBox.width(), W - 20 - glyph);
    EXPECT_NEAR(longBox.minX(), (W - longBox.width()) / 2, 0.01);
    EXPECT_NEAR(longBox.minY(), 2 * (H - (longBox.height() - 20) - 20) / 3, 0.01);
    EXPECT_GT(longBox.height(), 60);

    auto narrow = std::make_shared<UIView>(CGRect(0, 0, 30, 30));
    root->addSubview(narrow);
    CGRect small = toastIn(narrow, "余额不足");
    EXPECT_GE(small.width(), 20);
    EXPECT_GE(small.height(), 20);
    advance(2.31);
    EXPECT_TRUE(narrow->subviews().empty());
}

TEST_F(Helpers, TheTopWindowSkipsASmallerKeyWindowAndModelNames) {
    auto full = makeWindow();
    auto small = std::make_shared<UIWindow>(CGRect(40, 200, 300, 200));
    small->makeKeyAndVisible();
    windows.push_back(small);
    EXPECT_EQ(CXRWindowManager::topWindow(), full);

    for (auto [machine, model] : std::vector<std::pair<std::string, std::string>>{
             {"iPhone3,3", "iPhone 4"}, {"iPhone3,1", "iPhone 4"}, {"iPhone5,4", "iPhone 5C"}, {"iPhone6,2", "iPhone 5S"},
             {"iPhone7,2", "iPhone 6"}, {"iPhone10,3", "iPhone10,3"}, {"x86_64", "Simulator"}, {"aarch64", "aarch64"}})
        EXPECT_EQ(DeveicePlatform::platformOf(machine), model) << machine;
}

TEST_F(Helpers, TheLoadingDotsCycleTheirCaptionOnOneTimer) {
    auto view = makeWindow()->rootViewController()->view();
    auto dots = std::make_shared<ZVProgressDP>(CGRect(0, 0, 100, 100));
    view->addSubview(dots);
    dots->show();
    EXPECT_TRUE(dots->isAnimating());
    EXPECT_FALSE(dots->label());  // no title, no caption
    // Redrawn every frame while in a window, and only then.
    EXPECT_TRUE(dots->isRedrawingEveryFrame());
    dots->removeFromSuperview();
    EXPECT_FALSE(dots->isRedrawingEveryFrame());
    view->addSubview(dots);
    EXPECT_TRUE(dots->isRedrawingEveryFrame());
    dots->showWithTitle("旧");
    dots->showWithTitle("加载中");
    std::vector<std::string> shown{dots->label()->text()};
    for (int i = 0; i < 4; ++i) {
        advance(0.2);
        shown.push_back(dots->label()->text());
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"加载中...", "加载中...", "加载中..", "加载中.", "加载中..."}));
    EXPECT_EQ(dots->subviews().size(), 1u);
    dots->dismiss();
    EXPECT_FALSE(dots->replayer());
    EXPECT_FALSE(dots->hasCaptionTimer());
    EXPECT_FALSE(dots->isRedrawingEveryFrame());
    advance(1);
    dots->showWithTitle("再次");
    EXPECT_FALSE(dots->isAnimating());  // the ring went with the dismiss
    EXPECT_EQ(dots->label()->text(), "再次...");
}

}  // namespace
