// The user centre's screens before their first reply, the stand-in
// answering 3 s late: each says it is loading ("加载中…", in grey) where
// its values or content go, never a value it does not have yet, then shows
// the reply; where no reply came it says so ("加载失败", and "--" for the
// account page's other values). Pictures at scale 2 on
// both profiles.

#include "ScreenshotSupport.h"
#include "platform/web/RecordingWebView.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/account/ZVUserMsgVC.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/welfare/ZVSuWelfareVC.h"
#include "usercenter/screens/welfare/ZVWelfareVC.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

const std::string kLoading = "加载中…", kFailed = "加载失败";

bool grey(RGBA8 p) { return p.r > 110 && p.r < 235 && std::abs(p.r - p.g) < 10 && std::abs(p.r - p.b) < 10; }
bool dark(RGBA8 p) { return p.r < 100 && p.g < 100 && p.b < 100; }
bool inside(const CGRect& inner, const CGRect& outer) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() && inner.minY() >= outer.minY() &&
           inner.maxY() <= outer.maxY();
}

class Loading : public ProfileShotTest {
protected:
    void SetUp() override {
        ProfileShotTest::SetUp();
        ShareVale::sharedInstance().setUserName("player1");
        auto a = *env->standin().account("player1");
        a.rzStatus = "0";
        env->standin().addAccount("player1", a);
        env->standin().server().setReplyDelay(std::chrono::seconds(3));
    }
    std::shared_ptr<UIWindow> centreWindow() { return CXRHelperBtn::sharedButton()->helperWindow(); }
    bool asked(const std::string& endpoint) { return settle([&] { return requests(endpoint) >= 1; }); }
    // A label's text drawn whole and grey inside its frame, no darker ink there.
    void expectGreyText(const CGImage& img, const UILabel& l, const std::string& what) {
        CGRect f = uitest::screenFrame(l);
        EXPECT_LE(l.sizeThatFits({0, 0}).width * l.fittingScale(), f.width() + 0.5) << what;
        EXPECT_GT(countPixels(img, f, grey), 20) << what;
        EXPECT_EQ(countPixels(img, f, dark), 0) << what;
    }
    std::shared_ptr<ZVLoginRzView> realNamePanel() {
        return std::dynamic_pointer_cast<ZVLoginRzView>(
            uitest::findView([](UIView& v) { return dynamic_cast<ZVLoginRzView*>(&v) != nullptr; }));
    }
};

TEST_P(Loading, TheAccountPageSaysItIsLoadingAndItsRowsWaitForTheReply) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    auto vc = tabRoot<ZVSuUserVC>(*centre, 0);
    ASSERT_TRUE(vc && asked(ZVApi::kUserIndex));
    auto img = shoot(*centreWindow(), "loading-account");
    std::pair<std::shared_ptr<UILabel>, const char*> values[] = {
        {vc->nickL, "nickname"}, {vc->mobileL, "phone"}, {vc->rzL, "real name"}, {vc->couponMoneyL, "coupons"},
        {vc->ptbL, "coins"},     {vc->djqL, "vouchers"}, {vc->xinL, "stars"},    {vc->walletL, "wallet"}};
    for (auto& [label, what] : values) {
        bool balance = label == vc->ptbL || label == vc->djqL || label == vc->xinL || label == vc->walletL;
        EXPECT_EQ(label->text(), balance ? "…" : kLoading) << what;
        expectGreyText(*img, *label, what);
    }
    EXPECT_EQ(vc->nameL->text(), "");

    // The real-name row does not guess: no panel, a toast says it waits.
    ASSERT_TRUE(uitest::tapView(*vc->infoView->viewWithTag(41)));
    EXPECT_TRUE(labelShown("正在加载，请稍候"));
    EXPECT_FALSE(realNamePanel());

    advance(3);
    ASSERT_TRUE(settle([&] { return vc->rzL->text() == "未认证"; }));
    EXPECT_EQ(vc->nickL->text(), "玩家一");
    EXPECT_EQ(vc->ptbL->text(), "1000.00");
    EXPECT_EQ(vc->mobileL->text(), "去绑定");
    img = shoot(*centreWindow(), "loading-account-done");
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*vc->ptbL), dark), 20);  // the value in its own dark colour
    ASSERT_TRUE(uitest::tapView(*vc->infoView->viewWithTag(41)));
    EXPECT_TRUE(realNamePanel());
}

TEST_P(Loading, AnAccountPageWithoutAReplyShowsNoValue) {
    env->standin().server().script(UserCentreStandin::path(ZVApi::kUserIndex), Reply::html500());
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    auto vc = tabRoot<ZVSuUserVC>(*centre, 0);
    ASSERT_TRUE(vc && asked(ZVApi::kUserIndex));
    advance(3);
    ASSERT_TRUE(settle([&] { return vc->rzL->text() == "--"; }));
    EXPECT_TRUE(labelShown("服务器错误"));
    EXPECT_EQ(vc->nickL->text(), kFailed);
    for (auto& label : {vc->ptbL, vc->walletL, vc->mobileL}) EXPECT_EQ(label->text(), "--");
    auto img = shoot(*centreWindow(), "loading-account-failed");
    expectGreyText(*img, *vc->nickL, "nickname");
    // A tap on a row asks again; the reply fills the page.
    advance(3);
    ASSERT_TRUE(uitest::tapView(*vc->infoView->viewWithTag(41)));
    EXPECT_FALSE(realNamePanel());
    EXPECT_TRUE(labelShown("正在加载，请稍候"));
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kUserIndex) == 2; }));
    advance(3);
    ASSERT_TRUE(settle([&] { return vc->rzL->text() == "未认证"; }));
}

TEST_P(Loading, TheMessageListSaysItIsLoadingThenShowsItsRowsOrThatNoneCame) {
    env->standin().setMessages("player1", {{1, "欢迎", "内容", "2024-05-01", "https://pages.example/1", false}});
    auto list = std::make_shared<ZVUserMsgVC>();
    auto nav = showInNavigation(list);
    ASSERT_TRUE(asked(ZVApi::kMessageList));
    auto note = uitest::findLabel(kLoading);
    ASSERT_TRUE(note);
    auto img = shoot(*nav->view()->window(), "loading-messages");
    expectGreyText(*img, *note, "note");
    EXPECT_TRUE(inside(uitest::screenFrame(*note), uitest::screenFrame(*list->tableView())));
    advance(3);
    ASSERT_TRUE(settle([&] { return list->dataSource.size() == 1; }));
    EXPECT_FALSE(uitest::findLabel(kLoading));

    env->standin().server().script(UserCentreStandin::path(ZVApi::kMessageList), Reply::html500());
    auto failing = std::make_shared<ZVUserMsgVC>();
    nav = showInNavigation(failing);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kMessageList) == 2; }));
    advance(3);
    ASSERT_TRUE(settle([&] { return uitest::findLabel(kFailed) != nullptr; }));
    EXPECT_TRUE(failing->dataSource.empty());
    shoot(*nav->view()->window(), "loading-messages-failed");
}

TEST_P(Loading, AWebTabShowsItsNoteUntilThePageCommitsAndSaysWhenItFailed) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    centre->setSelectedIndex(2);  // 任务
    auto page = tabRoot<ZVSuWebVC>(*centre, 2);
    ASSERT_TRUE(page);
    uitest::layout();
    auto web = std::dynamic_pointer_cast<RecordingWebView>(page->webView());
    ASSERT_TRUE(web && !web->loads().empty());
    EXPECT_TRUE(web->isHidden());
    auto note = uitest::findLabel(kLoading);
    ASSERT_TRUE(note);
    auto img = shoot(*centreWindow(), "loading-tasks");
    expectGreyText(*img, *note, "note");
    EXPECT_TRUE(inside(uitest::screenFrame(*note), uitest::screenFrame(*web)));

    // A newer navigation stopping this one is no failure; the commit shows the page.
    auto navigation = web->loads().back().navigation;
    web->didStartProvisionalNavigation(navigation);
    web->didFailProvisionalNavigation(navigation, Error(NSURLErrorDomain, NSURLErrorCancelled));
    EXPECT_TRUE(uitest::findLabel(kLoading));
    web->didCommitNavigation(navigation);
    EXPECT_FALSE(web->isHidden());
    EXPECT_FALSE(uitest::findLabel(kLoading));

    // Customer service, whose page cannot be reached.
    centre->setSelectedIndex(4);
    auto service = tabRoot<ZVSuWebVC>(*centre, 4);
    ASSERT_TRUE(service);
    uitest::layout();
    auto serviceWeb = std::dynamic_pointer_cast<RecordingWebView>(service->webView());
    ASSERT_TRUE(serviceWeb && !serviceWeb->loads().empty());
    serviceWeb->didFailProvisionalNavigation(serviceWeb->loads().back().navigation,
                                             Error(NSURLErrorDomain, NSURLErrorCannotConnectToHost));
    EXPECT_TRUE(serviceWeb->isHidden());
    EXPECT_TRUE(uitest::findLabel(kFailed));
    shoot(*centreWindow(), "loading-service-failed");
}

TEST_P(Loading, TheWelfarePageSaysItIsLoadingInPlaceOfItsCards) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    centre->setSelectedIndex(1);
    auto tab = tabRoot<ZVSuWelfareVC>(*centre, 1);
    ASSERT_TRUE(tab);
    uitest::layout();
    auto page = std::dynamic_pointer_cast<ZVWelfareVC>(tab->childViewControllers()[0]);
    ASSERT_TRUE(page && asked(ZVApi::kWelfare));
    EXPECT_TRUE(page->contentView->isHidden());
    auto note = uitest::findLabel(kLoading);
    ASSERT_TRUE(note);
    auto img = shoot(*centreWindow(), "loading-welfare");
    expectGreyText(*img, *note, "note");
    // No card is drawn: the page is its grey ground beside the note.
    CGRect cards = uitest::screenFrame(*page->view());
    EXPECT_EQ(countPixels(*img, CGRect(cards.minX() + 20, cards.minY() + 20, 20, 20), [](RGBA8 p) {
                  return p.r == 255 && p.g == 255 && p.b == 255;
              }), 0);
    advance(3);
    ASSERT_TRUE(settle([&] { return !page->contentView->isHidden() && !page->dataSource().empty(); }));
    EXPECT_FALSE(uitest::findLabel(kLoading));
}

INSTANTIATE_PROFILES(Loading);

}  // namespace
