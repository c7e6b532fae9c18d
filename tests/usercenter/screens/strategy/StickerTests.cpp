// The sticker keyboard and what it stands on: the emoji table and its
// escape codec, the queuing page scroll view, the keyboard's pages, keys
// and repeating delete, and the small helpers (colours from text, the
// enlarged touch area, the screen's size class).

#include "UserCentreTestSupport.h"
#include "platform/device/SystemSound.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/screens/strategy/ZVStickerKeyboard.h"

namespace {

std::u16string utf16(const std::string& s) { return strings::toUTF16(s); }
char32_t scalar(const std::string& s) {
    auto u = utf16(s);
    return u.size() == 2 ? 0x10000 + ((char32_t(u[0]) - 0xD800) << 10) + (u[1] - 0xDC00) : u.empty() ? 0 : u[0];
}

TEST(EmojiTable, ThirtySevenFacesInKeyboardOrderEachOneScalarOfTwoUnits) {
    auto& manager = ZVStickerDataManager::sharedInstance();
    EXPECT_EQ(&manager, &ZVStickerDataManager::sharedInstance());
    const auto& all = manager.allEmojis();
    ASSERT_EQ(all.size(), 37u);
    EXPECT_EQ(&all, &ZVStickerDataManager::sharedInstance().allEmojis());
    struct Case {
        size_t index;
        char32_t shown;
    };
    for (auto c : {Case{0, 0x1F620}, Case{21, 0x1F601}, Case{36, 0x1F609}}) EXPECT_EQ(scalar(*all[c.index]->image), c.shown) << c.index;
    for (auto& e : all) {
        ASSERT_TRUE(e->image) << e->text;
        EXPECT_EQ(utf16(*e->image).size(), 2u) << e->text;
        EXPECT_EQ(e->text.size(), 12u);
        EXPECT_EQ(emoji::emojiText(*e->image), e->text);
    }
}

TEST(EmojiTable, TheEscapeCodecDecodesPairsAndRefusesWhatIsNoEscapeText) {
    struct Case {
        std::string escaped;
        std::optional<std::string> shown;
    };
    for (auto& c : std::vector<Case>{
             {R"(\uD83D\uDE01)", "😁"},
             {R"(\ud83d\ude01)", "😁"},
             {"plain ASCII 123", "plain ASCII 123"},
             {R"(\u597D!)", "好!"},
             {R"(a\\b)", "a\\b"},
             {R"(\uD83D)", std::nullopt},
             {R"(\uD83Dx)", std::nullopt},
             {R"(\uDE01\uD83D)", std::nullopt},
             {R"(\uZZZZ)", std::nullopt},
             {R"(\u12)", std::nullopt},
             {R"(\x)", std::nullopt},
             {"好", std::nullopt},
         })
        EXPECT_EQ(emoji::emojiImage(c.escaped), c.shown) << c.escaped;
    EXPECT_EQ(emoji::emojiText("Hello, world!"), "Hello, world!");
    for (std::string text : {"好玩😠", "a\\u0041b", "🇨🇳👍🏽"}) EXPECT_EQ(emoji::emojiImage(emoji::emojiText(text)), text);
}

// ---- Queuing scroll view

class Page : public UIView, public SPReusablePage {
public:
    explicit Page(int i) : index(i) {}
    int index, prepared = 0, focusTold = 0;
    void prepareForReuse() override { ++prepared; }
    void didBecomeFocusPage() override { ++focusTold; }
};

// Pages 0 ... count-1, from the pool when it has one.
class Pages : public SPQueuingScrollViewDelegate {
public:
    explicit Pages(int n) : count(n) {}
    int count, made = 0, focusChanges = 0;
    std::shared_ptr<UIView> page(SPQueuingScrollView& s, int i) {
        if (i < 0 || i >= count) return nullptr;
        auto p = std::dynamic_pointer_cast<Page>(s.reusableViewWithIdentifer("page"));
        if (!p) {
            p = std::make_shared<Page>(i);
            p->setReuseIdentifier("page");
            ++made;
        }
        p->index = i;
        return p;
    }
    std::shared_ptr<UIView> queuingScrollView_viewBeforeView(SPQueuingScrollView& s, UIView& v) override {
        return page(s, dynamic_cast<Page&>(v).index - 1);
    }
    std::shared_ptr<UIView> queuingScrollView_viewAfterView(SPQueuingScrollView& s, UIView& v) override {
        return page(s, dynamic_cast<Page&>(v).index + 1);
    }
    void queuingScrollViewChangedFocusView_previousFocusView(SPQueuingScrollView&, const std::shared_ptr<UIView>&) override {
        ++focusChanges;
    }
};

class QueuingScrollView : public UITest {
protected:
    static constexpr double w = 300, h = 200;
    std::shared_ptr<SPQueuingScrollView> show(int count, int first) {
        pages = std::make_shared<Pages>(count);
        auto s = std::make_shared<SPQueuingScrollView>(CGRect(20, 100, w, h));
        s->setDelegate(pages);
        makeWindow()->rootViewController()->view()->addSubview(s);
        s->displayView(pages->page(*s, first));
        uitest::layout();
        return s;
    }
    static int indexOf(const std::shared_ptr<UIView>& v) { return v ? std::dynamic_pointer_cast<Page>(v)->index : -1; }
    void swipe(bool forward) {
        CGPoint from{forward ? 300.0 : 40.0, 200}, to{forward ? 40.0 : 300.0, 200};
        uitest::drag(from, to);
        advance(0.5);
        uitest::layout();
    }
    std::shared_ptr<Pages> pages;
};

TEST_F(QueuingScrollView, WhichSidesCanBeReachedFollowsTheNeighbours) {
    struct Case {
        int count, first;
        long location;
        UIEdgeInsets inset;
    };
    for (auto c : {Case{1, 0, 0, {0, -w, 0, -w}}, Case{3, 0, 1, {0, -w, 0, 10 * w}}, Case{3, 1, 2, {0, 10 * w, 0, 10 * w}},
                   Case{3, 2, 3, {0, 10 * w, 0, -w}}}) {
        auto s = show(c.count, c.first);
        EXPECT_EQ(s->location(), c.location) << c.count << " " << c.first;
        EXPECT_EQ(s->contentInset(), c.inset) << c.location;
        EXPECT_EQ(s->contentOffset().x, w);
        // A side without a neighbour does not move.
        if (c.location == 0 || c.location == 3) swipe(true);
        if (c.location == 0 || c.location == 1) swipe(false);
        EXPECT_EQ(indexOf(s->centerView()), c.first) << c.location;
        EXPECT_EQ(s->contentOffset().x, w) << c.location;
    }
}

TEST_F(QueuingScrollView, AForwardStepPoolsTheOldLeftPageAndComesBackToTheCentre) {
    auto s = show(5, 1);
    auto oldLeft = s->leftView(), oldCentre = s->centerView();
    pages->focusChanges = 0;
    swipe(true);
    EXPECT_EQ(s->leftView(), oldCentre);
    EXPECT_EQ(indexOf(s->centerView()), 2);
    EXPECT_EQ(indexOf(s->rightView()), 3);
    EXPECT_EQ(s->contentOffset().x, w);
    EXPECT_EQ(pages->focusChanges, 1);
    EXPECT_EQ(s->focusView(), s->centerView());
    EXPECT_TRUE(dynamic_cast<Page&>(*s->focusView()).focused());
    EXPECT_FALSE(dynamic_cast<Page&>(*oldCentre).focused());
    // The right page came out of the pool: the old left one, prepared once.
    EXPECT_EQ(s->rightView(), oldLeft);
    EXPECT_EQ(std::dynamic_pointer_cast<Page>(oldLeft)->prepared, 1);
    EXPECT_EQ(pages->made, 3);
    EXPECT_EQ(s->subviews().size(), 3u);
    swipe(false);
    EXPECT_EQ(indexOf(s->centerView()), 1);
    EXPECT_EQ(s->contentOffset().x, w);
}

TEST_F(QueuingScrollView, FocusPaddingAndWhatThePoolGivesBack) {
    auto s = show(3, 1);
    for (double x : {0.5 * w, 1.5 * w}) {
        s->setContentOffset({x, 0});
        EXPECT_EQ(s->calculateFocusView(), s->centerView()) << x;
    }
    s->setContentOffset({0.5 * w - 1, 0});
    EXPECT_EQ(s->calculateFocusView(), s->leftView());
    s->setContentOffset({w, 0});
    uitest::layout();
    EXPECT_EQ(s->centerView()->frame(), CGRect(w + 15, 0, w - 30, h));
    s->pagePadding = 0;
    s->setNeedsLayout();
    uitest::layout();
    EXPECT_EQ(s->centerView()->frame(), CGRect(w, 0, w, h));

    struct Case {
        std::string identifier;
        bool nonreusable, comesBack;
    };
    for (auto c : {Case{"", false, false}, Case{"other", true, false}, Case{"other", false, true}}) {
        auto page = std::make_shared<Page>(9);
        page->setReuseIdentifier(c.identifier);
        page->setNonreusable(c.nonreusable);
        s->recycleView(page);
        EXPECT_EQ(s->reusableViewWithIdentifer(c.identifier), c.comesBack ? page : nullptr) << c.identifier;
        EXPECT_EQ(page->prepared, c.comesBack ? 1 : 0);
        EXPECT_EQ(s->reusableViewWithIdentifer(c.identifier), nullptr);
    }
}

// ---- The keyboard

class KeyRecorder : public ZVStickerKeyboardDelegate {
public:
    std::vector<std::string> emojis;
    int deletes = 0, sends = 0;
    void stickerKeyboard_didClickEmoji(ZVStickerKeyboard&, const ZVEmoji& e) override { emojis.push_back(e.image.value_or("")); }
    void stickerKeyboardDidClickDeleteButton(ZVStickerKeyboard&) override { ++deletes; }
    void stickerKeyboardDidClickSendButton(ZVStickerKeyboard&) override { ++sends; }
};

class StickerKeyboard : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        CGRect screen = UIScreen::mainScreen().bounds();
        double height = ZVStickerKeyboard::heightThatFits();
        keyboard = ZVStickerKeyboard::create(CGRect(0, screen.height() - height, screen.width(), height));
        keyboard->delegate = keys;
        window = makeWindow();
        window->addSubview(keyboard);
        uitest::layout();
    }
    std::shared_ptr<ZVStickerPageView> shownPage() {
        return std::dynamic_pointer_cast<ZVStickerPageView>(keyboard->queuingScrollView()->centerView());
    }
    void toSecondPage() {
        CGRect pages = uitest::screenFrame(*keyboard->queuingScrollView());
        uitest::drag({pages.maxX() - 20, pages.midY()}, {pages.minX() + 20, pages.midY()});
        advance(0.5);
        uitest::layout();
    }
    CGPoint deleteKey() {
        CGRect f = uitest::screenFrame(*shownPage()->deleteButton());
        return {f.midX(), f.midY()};
    }
    std::shared_ptr<KeyRecorder> keys = std::make_shared<KeyRecorder>();
    std::shared_ptr<ZVStickerKeyboard> keyboard;
    std::shared_ptr<UIWindow> window;
};

TEST_F(StickerKeyboard, TwoPagesOfTwentyAndSeventeenWhoseEmptySlotsDoNothing) {
    auto& all = ZVStickerDataManager::sharedInstance().allEmojis();
    EXPECT_EQ(keyboard->pageControl()->numberOfPages(), 2);
    EXPECT_EQ(keyboard->queuingScrollView()->location(), SPQueuingScrollView::First);
    auto first = shownPage();
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(first->emojiButtons()[i]->titleForState(UIControlStateNormal), all[i]->image);
    uitest::tapView(*first->emojiButtons()[3]);
    toSecondPage();
    auto second = shownPage();
    ASSERT_NE(second, first);
    EXPECT_EQ(second->pageIndex, 1u);
    EXPECT_EQ(keyboard->pageControl()->currentPage(), 1);
    EXPECT_EQ(keyboard->queuingScrollView()->location(), SPQueuingScrollView::Last);
    for (size_t i = 0; i < 17; ++i) EXPECT_EQ(second->emojiButtons()[i]->titleForState(UIControlStateNormal), all[20 + i]->image);
    for (size_t i = 17; i < 20; ++i) {
        EXPECT_EQ(second->emojiButtons()[i]->titleForState(UIControlStateNormal).value_or(""), "") << i;
        uitest::tapView(*second->emojiButtons()[i]);
    }
    uitest::tapView(*second->emojiButtons()[16]);
    EXPECT_EQ(keys->emojis, (std::vector<std::string>{*all[3]->image, *all[36]->image}));
    SystemSound::clearPlayed();
    uitest::tapView(*keyboard->sendButton());
    EXPECT_EQ(keys->sends, 1);
    EXPECT_TRUE(SystemSound::played().empty());  // no click for send
}

TEST_F(StickerKeyboard, KeyPlacesAndHeights) {
    auto page = shownPage();
    EXPECT_EQ(page->bounds().width(), 375);
    EXPECT_DOUBLE_EQ(page->emojiButtons()[0]->frame().minX(), 18.875);
    EXPECT_DOUBLE_EQ(page->emojiButtons()[6]->frame().minX(), 324.125);
    EXPECT_EQ(page->deleteButton()->frame(), CGRect(324.125, 96, 32, 32));
    for (auto profile : {UIScreen::Profile::Compact, UIScreen::Profile::Tall}) {
        UIScreen::mainScreen().setProfile(profile);
        bool tall = profile == UIScreen::Profile::Tall;
        double height = ZVStickerKeyboard::heightThatFits();
        EXPECT_EQ(height, tall ? 245 : 211);
        CGRect screen = UIScreen::mainScreen().bounds();
        keyboard->setFrame(CGRect(0, screen.height() - height, screen.width(), height));
        window->setFrame(screen);
        uitest::layout();
        EXPECT_EQ(keyboard->sendButton()->frame().maxY(), height - (tall ? 34 : 0));
        EXPECT_EQ(keyboard->bottomBGView()->frame().maxY(), height);
        EXPECT_EQ(SPAddition::zui_physicalSize(UIScreen::mainScreen()), tall ? 4 : 2);
    }
    UIScreen::mainScreen().setProfile(UIScreen::Profile::Compact);
    EXPECT_EQ(SPOnePixelToPoint(), 0.5);
}

TEST_F(StickerKeyboard, DeleteRepeatsWhileHeldAndStopsOnEveryWayOut) {
    struct Case {
        const char* name;
        std::function<void()> release;
        int deletes;
    };
    std::vector<Case> cases = {
        {"tap", [this] { uitest::touchUp(deleteKey()); }, 1},
        {"held 0.35 s", [this] { advance(0.35); uitest::touchUp(deleteKey()); }, 4},
        {"released outside", [this] { advance(0.35); uitest::touchUp({5, 5}); }, 3},
        {"cancelled", [this] { advance(0.35); uitest::touchCancel(); }, 3},
        {"keyboard hidden", [this] { advance(0.35); keyboard->removeFromSuperview(); }, 3},
    };
    for (auto& c : cases) {
        keys->deletes = 0;
        if (!keyboard->superview()) window->addSubview(keyboard);
        uitest::touchDown(deleteKey());
        c.release();
        advance(1);
        EXPECT_EQ(keys->deletes, c.deletes) << c.name;
        EXPECT_FALSE(shownPage()->isRepeatingDelete()) << c.name;
    }
    // A reused page stops its repeat too.
    window->addSubview(keyboard);
    uitest::touchDown(deleteKey());
    shownPage()->prepareForReuse();
    advance(1);
    EXPECT_EQ(keys->deletes, 3);
    uitest::touchCancel();
}

TEST(StickerHelpers, ColoursFromTextAndTheEnlargedTouchArea) {
    struct Case {
        std::string text;
        std::optional<std::array<int, 3>> rgb;
    };
    for (auto& c : std::vector<Case>{{"#F5A623", {{245, 166, 35}}},
                                     {"F4F4F4", {{0xF4, 0xF4, 0xF4}}},
                                     {"#f4f4f4", {{0xF4, 0xF4, 0xF4}}},
                                     {"#12ZZ56", {{0, 0, 0x12}}},
                                     {"F5A", std::nullopt},
                                     {"", std::nullopt}}) {
        auto colour = SPAdditions::pp_colorWithRGBString(c.text);
        ASSERT_EQ(colour.has_value(), c.rgb.has_value()) << c.text;
        if (!colour) continue;
        EXPECT_EQ(*colour, UIColor::fromRGB(uint32_t((*c.rgb)[0] << 16 | (*c.rgb)[1] << 8 | (*c.rgb)[2]))) << c.text;
    }
    SPButton button(CGRect(100, 100, 24, 24));
    button.touchInsets = {-12, -20, -12, -20};
    EXPECT_TRUE(button.pointInside({-19, 12}, nullptr));
    EXPECT_TRUE(button.pointInside({43, -11}, nullptr));
    EXPECT_FALSE(button.pointInside({-21, 12}, nullptr));
    EXPECT_FALSE(button.pointInside({12, 37}, nullptr));
}

}  // namespace
