// The user centre's web page on a recording web view: the box-page link
// rule, the back button through the page history, and the ways it leaves.

#include "UserCentreTestSupport.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/screens/shell/ZVNavigationController.h"

namespace {

class WebPage : public UserCentreTest {
protected:
    // A web page pushed over a root screen of a navigation stack.
    std::shared_ptr<ZVSuWebVC> push(const std::string& url, bool showMore = false) {
        nav = showInNavigation(std::make_shared<UIViewController>());
        auto page = std::make_shared<ZVSuWebVC>();
        page->url = url;
        page->isShowSuperVc = true;
        page->isShowMore = showMore;
        nav->pushViewController(page, false);
        advance(0.5);
        uitest::layout();
        return page;
    }
    RecordingWebView& web(ZVSuWebVC& page) { return static_cast<RecordingWebView&>(*page.webView()); }
    void back(ZVSuWebVC& page) {
        ASSERT_TRUE(uitest::tapView(*page.backBtn()));
        advance(0.5);
    }
    std::shared_ptr<UINavigationController> nav;
};

TEST_F(WebPage, BoxLinksAreRefusedAndOpenTheBoxPageOutsideOnce) {
    struct Case {
        std::string first, link;
    };
    for (auto& c : std::vector<Case>{{"https://pages.example/a?next=zorvia://rw", ""},
                                     {"https://pages.example/a", "https://pages.example/b#zorvia://rw?x=1"},
                                     {"https://pages.example/a", "zorvia://rw?x=1"}}) {
        opened.clear();
        auto page = push(c.first);
        if (!c.link.empty()) web(*page).followLink(c.link);
        EXPECT_EQ(opened, std::vector<std::string>{"https://box.example.invalid/"}) << c.first << c.link;
        auto refused = web(*page).decisions().back();
        EXPECT_EQ(refused.policy, WKNavigationActionPolicy::Cancel);
        EXPECT_EQ(web(*page).currentURL(), c.link.empty() ? "" : c.first);
        EXPECT_FALSE(web(*page).canGoBack());
    }
}

TEST_F(WebPage, BackWalksThePageHistoryBeforeItLeaves) {
    auto page = push("https://pages.example/1");
    web(*page).followLink("https://pages.example/2");
    web(*page).followLink("https://pages.example/3");
    back(*page);
    EXPECT_EQ(web(*page).currentURL(), "https://pages.example/2");
    back(*page);
    EXPECT_EQ(web(*page).currentURL(), "https://pages.example/1");
    EXPECT_EQ(nav->viewControllers().size(), 2u);
    back(*page);
    EXPECT_EQ(nav->viewControllers().size(), 1u);
}

TEST_F(WebPage, ABadAddressLoadsNothingAndTheButtonsFollowTheFlags) {
    for (const std::string& bad : {std::string(), std::string("not an address")}) {
        auto page = push(bad);
        EXPECT_TRUE(web(*page).loads().empty()) << bad;
        EXPECT_FALSE(page->navigationItem().rightBarButtonItem());
        back(*page);
        EXPECT_EQ(nav->viewControllers().size(), 1u) << bad;
    }
    auto page = push("https://pages.example/more", true);
    auto more = page->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(more && more->customView == page->moreBtn());
    ASSERT_TRUE(uitest::tapView(*page->moreBtn()));
    EXPECT_EQ(opened, std::vector<std::string>{"https://pages.example/more"});
}

TEST_F(WebPage, TheTasksTabsRootBackClosesTheUserCentre) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    centre->setSelectedIndex(2);
    uitest::layout();
    auto tasks = tabRoot<ZVSuWebVC>(*centre, 2);
    ASSERT_TRUE(tasks);
    EXPECT_EQ(tasks->navigationItem().title(), "任务");
    auto window = CXRHelperBtn::sharedButton()->helperWindow();
    ASSERT_TRUE(uitest::tapView(*tasks->backBtn()));
    EXPECT_FALSE(window->isHidden());
    advance(0.31);
    EXPECT_TRUE(window->isHidden());
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->helperWindow());
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->isHidden());
}

// Escape on the Tasks and service tabs is their "<": a page back, and at
// the first page the user centre closes.
TEST_F(WebPage, EscapeOnATabsPageStepsBackThroughItsHistory) {
    for (size_t tab : {2u, 4u}) {
        auto centre = openUserCentre();
        ASSERT_TRUE(centre);
        centre->setSelectedIndex(tab);
        uitest::layout();
        auto page = tabRoot<ZVSuWebVC>(*centre, tab);
        ASSERT_TRUE(page);
        std::string first = web(*page).currentURL();
        web(*page).followLink("https://pages.example/next");
        EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
        EXPECT_EQ(web(*page).currentURL(), first) << tab;
        EXPECT_TRUE(CXRHelperBtn::sharedButton()->helperWindow()) << tab;
        EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
        advance(0.31);
        EXPECT_FALSE(CXRHelperBtn::sharedButton()->helperWindow()) << tab;
    }
}

TEST_F(WebPage, ARootPageElsewhereIsDismissed) {
    auto page = std::make_shared<ZVSuWebVC>();
    page->url = "https://pages.example/agreement";
    auto presenter = makeWindow()->rootViewController();
    auto stack = ZVNavigationController::withRoot(page);
    presenter->presentViewController(stack, false);
    advance(0.5);
    CXRHelperBtn::hide();
    ASSERT_TRUE(uitest::tapView(*page->backBtn()));
    advance(0.5);
    EXPECT_FALSE(presenter->presentedViewController());
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->isHidden());
}

}  // namespace
