#include "UITestSupport.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UITableView.h"
#include "platform/foundation/Files.h"
#include "support/TestSupport.h"

namespace {

class RenderTests : public UITest {};

bool dark(RGBA8 p) { return p.r < 90 && p.g < 90 && p.b < 90; }
bool colourful(RGBA8 p) { return std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 80; }

TEST_F(RenderTests, SampleScreenRendersTextEmojiButtonAndAlert) {
    auto root = std::make_shared<UIViewController>();
    auto w = makeWindow(root);
    auto v = root->view();
    v->setBackgroundColor(UIColor::whiteColor());

    auto label = std::make_shared<UILabel>(CGRect(20, 40, 200, 30));
    label->setText("抵扣券领取");
    label->setFont(UIFont::systemFontOfSize(20));
    v->addSubview(label);
    auto emoji = std::make_shared<UILabel>(CGRect(20, 80, 60, 60));
    emoji->setText("😀");
    emoji->setFont(UIFont::systemFontOfSize(40));
    v->addSubview(emoji);
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->setFrame(CGRect(20, 160, 120, 40));
    button->setBackgroundColor(UIColor::fromRGB(0xFF0000));
    button->layer()->setCornerRadius(20);
    button->setTitle("领取", UIControlStateNormal);
    v->addSubview(button);

    struct ThreeRows : UITableViewDataSource {
        long tableView_numberOfRowsInSection(UITableView&, long) override { return 3; }
        std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override {
            auto c = t.dequeueReusableCellWithIdentifier("Cell", ip);
            c->textLabel()->setText(ip.row == 1 ? "服务器列表" : "");
            return c;
        }
    };
    auto rows = std::make_shared<ThreeRows>();
    auto table = std::make_shared<UITableView>(CGRect(0, 220, 375, 132));
    table->registerClass<UITableViewCell>("Cell");
    table->dataSource = rows;
    v->addSubview(table);

    auto img = w->renderImage();
    ASSERT_TRUE(img);
    // The table: text in the second row only, a separator line under the first row.
    EXPECT_GT(countPixels(*img, CGRect(15, 264, 120, 44), dark), 100);
    EXPECT_EQ(countPixels(*img, CGRect(15, 308, 300, 43), dark), 0);
    RGBA8 sep = img->pixelAt(2 * 100, 2 * 264 - 1);
    EXPECT_LT(sep.r, 230);
    EXPECT_GT(sep.r, 150);
    EXPECT_EQ(img->pixelAt(2 * 5, 2 * 264 - 1), (RGBA8{255, 255, 255, 255}));  // inset on the left
    EXPECT_EQ(img->width(), 750);
    EXPECT_EQ(img->height(), 1334);
    // Chinese glyphs: dark ink inside the label, none beside it.
    EXPECT_GT(countPixels(*img, label->frame(), dark), 200);
    EXPECT_EQ(countPixels(*img, CGRect(230, 40, 100, 30), dark), 0);
    // The emoji is drawn in colour.
    EXPECT_GT(countPixels(*img, emoji->frame(), colourful), 300);
    // Rounded corners: the corner pixel is background, the middle is the button.
    EXPECT_EQ(img->pixelAt(2 * 20 + 1, 2 * 160 + 1), (RGBA8{255, 255, 255, 255}));
    EXPECT_EQ(img->pixelAt(2 * 30, 2 * 180), (RGBA8{255, 0, 0, 255}));
    // White title text on the button.
    EXPECT_GT(countPixels(*img, CGRect(60, 165, 40, 30), [](RGBA8 p) { return p.g > 200 && p.r > 200; }), 30);

    auto alert = UIAlertController::alertControllerWithTitle("提示", "网络错误", UIAlertControllerStyle::Alert);
    alert->addAction(UIAlertAction::actionWithTitle("确定", UIAlertActionStyle::Default));
    root->presentViewController(alert, true);
    // Half-way through the fade the dimming is half as dark.
    advance(0.15);
    auto mid = w->renderImage();
    RGBA8 half = mid->pixelAt(700, 1300);
    advance(0.2);
    auto done = w->renderImage();
    RGBA8 full = done->pixelAt(700, 1300);
    EXPECT_NEAR(full.r, 153, 3);          // white under 40% black
    EXPECT_NEAR(half.r, (255 + 153) / 2, 12);
    // The alert box sits in the middle, light, with its text.
    EXPECT_GT(done->pixelAt(375, 667).r, 230);
    auto msg = uitest::findLabel("网络错误");
    ASSERT_TRUE(msg);
    EXPECT_GT(countPixels(*done, uitest::screenFrame(*msg), dark), 50);

    testsupport::TempDir dir;
    ASSERT_TRUE(w->writePNG((dir / "screen.png").string()));
    auto back = imageio::decode(*files::readData(dir / "screen.png"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->image->pixelAt(700, 1300), full);
}

TEST_F(RenderTests, EmojiThatASymbolFaceAlsoHasDrawInColourOnTheLine) {
    auto root = std::make_shared<UIViewController>();
    auto w = makeWindow(root);
    root->view()->setBackgroundColor(UIColor::whiteColor());
    // A thumb and a heart (its emoji selector) after text, and the heart asked for as text.
    struct Case {
        std::string text;
        bool colour;
    };
    std::vector<Case> cases{{"好评👍", true}, {"喜欢❤️", true}, {"👍🏽👍", true}, {"喜欢❤︎", false}};
    std::vector<std::shared_ptr<UILabel>> labels;
    for (size_t i = 0; i < cases.size(); ++i) {
        auto l = std::make_shared<UILabel>(CGRect(20, 40 + 70 * double(i), 300, 60));
        l->setText(cases[i].text);
        l->setFont(UIFont::systemFontOfSize(40));
        root->view()->addSubview(l);
        labels.push_back(l);
    }
    auto img = w->renderImage();
    ASSERT_TRUE(img);
    for (size_t i = 0; i < cases.size(); ++i) {
        CGRect f = labels[i]->frame();
        // The last character sits right of the two Chinese ones (80 points).
        CGRect tail(f.minX() + 82, f.minY(), f.width() - 82, f.height());
        int coloured = countPixels(*img, tail, colourful);
        if (cases[i].colour) EXPECT_GT(coloured, 300) << cases[i].text;
        else EXPECT_LT(coloured, 20) << cases[i].text;
        // On the line: the glyph's ink reaches the lower half of the label as the text's does.
        CGRect lower(tail.minX(), f.midY() + 4, tail.width(), f.height() / 2 - 4);
        EXPECT_GT(countPixels(*img, lower, [](RGBA8 p) { return p.r < 200 || p.g < 200 || p.b < 200; }), 100)
            << cases[i].text;
    }
}

TEST_F(RenderTests, ShadowsMasksAndBordersDraw) {
    auto w = makeWindow();
    auto v = w->rootViewController()->view();
    v->setBackgroundColor(UIColor::whiteColor());
    auto boxed = std::make_shared<UIView>(CGRect(100, 100, 100, 100));
    boxed->setBackgroundColor(UIColor::blueColor());
    boxed->layer()->setBorderWidth(4);
    boxed->layer()->setBorderColor(UIColor::redColor());
    // A mask with a hole in the middle.
    auto mask = CAShapeLayer::layer();
    CGPath p = CGPath::rect(CGRect(0, 0, 100, 100));
    p.addPath(CGPath::rect(CGRect(25, 25, 50, 50)).reversed());
    mask->setPath(p);
    boxed->layer()->setMask(mask);
    v->addSubview(boxed);
    auto shadowed = std::make_shared<UIView>(CGRect(100, 300, 100, 100));
    shadowed->setBackgroundColor(UIColor::whiteColor());
    shadowed->layer()->setShadowOpacity(0.9);
    shadowed->layer()->setShadowRadius(3);
    shadowed->layer()->setShadowOffset({0, 0});
    v->addSubview(shadowed);
    // A plain sublayer with a border, half opacity and a mask of its left half.
    auto badge = CALayer::layer();
    badge->setFrame(CGRect(250, 100, 40, 40));
    badge->setBackgroundColor(UIColor::greenColor());
    badge->setBorderWidth(4);
    badge->setBorderColor(UIColor::blackColor());
    badge->setOpacity(0.5);
    auto badgeMask = CAShapeLayer::layer();
    badgeMask->setPath(CGPath::rect(CGRect(0, 0, 20, 40)));
    badge->setMask(badgeMask);
    v->layer()->addSublayer(badge);
    auto img = w->renderImage();
    RGBA8 badgeBody = img->pixelAt(2 * 260, 2 * 120), badgeBorder = img->pixelAt(2 * 251, 2 * 120);
    EXPECT_EQ(badgeBody.g, 255);
    EXPECT_NEAR(badgeBody.r, 128, 2);   // green at half opacity over white
    EXPECT_NEAR(badgeBorder.g, 128, 2);  // black at half opacity over white
    EXPECT_EQ(img->pixelAt(2 * 280, 2 * 120), (RGBA8{255, 255, 255, 255}));  // masked off
    EXPECT_EQ(img->pixelAt(2 * 101, 2 * 101), (RGBA8{255, 0, 0, 255}));  // border
    EXPECT_EQ(img->pixelAt(2 * 110, 2 * 110), (RGBA8{0, 0, 255, 255}));  // body
    EXPECT_EQ(img->pixelAt(2 * 150, 2 * 150), (RGBA8{255, 255, 255, 255}));  // masked hole
    EXPECT_LT(img->pixelAt(2 * 98, 2 * 350).r, 250);   // shadow outside the box
    EXPECT_EQ(img->pixelAt(2 * 90, 2 * 350).r, 255);   // and not far
}

}  // namespace
