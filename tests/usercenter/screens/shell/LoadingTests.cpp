// The user centre's screens before their first reply, the stand-in
// answering 3 s late: each says it is loading (grey "加载中…") where its
// values or content go, never a value it does not have yet; where no reply
// came it says so. Pictures at scale 2 on both profiles.

#include "ScreenshotSupport.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/account/ZVUserMsgVC.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/welfare/ZVGiftVC.h"
#include "usercenter/screens/welfare/ZVServerVC.h"
#include "usercenter/screens/welfare/ZVSuWelfareVC.h"
#include "usercenter/screens/welfare/ZVWelfareVC.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

const std::string kLoading = "加载中…", kFailed = "加载失败";

bool grey(RGBA8 p) { return p.r > 110 && p.r < 235 && std::abs(p.r - p.g) < 10 && std::abs(p.r - p.b) < 10; }
bool dark(RGBA8 p) { return p.r < 100 && p.g < 100 && p.b < 100; }

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
    bool asked(const std::string& endpoint, size_t n = 1) { return settle([&] { return requests(endpoint) >= n; }); }
    // Drawn whole, in grey, with no darker ink in its frame.
    void expectGreyText(const CGImage& img, const UILabel& l) {
        CGRect f = uitest::screenFrame(l);
        EXPECT_LE(l.sizeThatFits({0, 0}).width * l.fittingScale(), f.width() + 0.5) << l.text();
        EXPECT_GT(countPixels(img, f, grey), 20) << l.text();
        EXPECT_EQ(countPixels(img, f, dark), 0) << l.text();
    }
    bool realNamePanelShown() {
        return uitest::findView([](UIView& v) { return dynamic_cast<ZVLoginRzView*>(&v) != nullptr; }) != nullptr;
    }
    void tapRealNameRow(ZVSuUserVC& vc) { ASSERT_TRUE(uitest::tapView(*vc.infoView->viewWithTag(41))); }
    // A page of the welfare tab, scrolled to with its switch button (its request sent).
    template <class Page>
    std::shared_ptr<Page> welfarePage(ZVSuTabBarVC& centre, long index) {
        centre.setSelectedIndex(1);
        uitest::layout();
        auto tab = tabRoot<ZVSuWelfareVC>(centre, 1);
        auto button = tab->topView()->viewWithTag(ZVSuWelfareVC::kFirstTag + index);
        if (!button || !uitest::tapView(*button)) return nullptr;
        advance(0.31);
        return std::dynamic_pointer_cast<Page>(tab->childViewControllers()[size_t(index)]);
    }
    // `note` says `text` in grey, inside `area` (points on screen).
    void expectNote(const CGImage& img, const ZVLoadingNote& note, const std::string& text, const CGRect& area) {
        ASSERT_FALSE(note.isHidden());
        EXPECT_EQ(note.text(), text);
        expectGreyText(img, note);
        EXPECT_EQ(area.intersection(uitest::screenFrame(note)), uitest::screenFrame(note));
    }
    // The gift packs' place: the page under its type buttons.
    static CGRect packsArea(ZVGiftVC& gifts) {
        CGRect types = uitest::screenFrame(*gifts.btnsView), page = uitest::screenFrame(*gifts.view());
        return CGRect(page.minX(), types.maxY(), page.width(), page.maxY() - types.maxY());
    }
};

TEST_P(Loading, TheAccountPageSaysItIsLoadingAndItsRowsWaitForTheReply) {
    auto centre = openUserCentre();
    auto vc = centre ? tabRoot<ZVSuUserVC>(*centre, 0) : nullptr;
    ASSERT_TRUE(vc && asked(ZVApi::kUserIndex));
    auto img = shoot(*centreWindow(), "loading-account");
    for (auto& l : {vc->nickL, vc->mobileL, vc->rzL, vc->couponMoneyL, vc->ptbL, vc->djqL, vc->xinL, vc->walletL}) {
        EXPECT_TRUE(l->text() == kLoading || l->text() == "…") << l->text();
        expectGreyText(*img, *l);
    }
    tapRealNameRow(*vc);  // no guess at the state: a toast says it waits
    EXPECT_TRUE(labelShown("正在加载，请稍候"));
    EXPECT_FALSE(realNamePanelShown());

    advance(3);
    ASSERT_TRUE(settle([&] { return vc->rzL->text() == "未认证"; }));
    EXPECT_EQ(vc->ptbL->text(), "1000.00");
    img = shoot(*centreWindow(), "loading-account-done");
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*vc->ptbL), dark), 20);
    tapRealNameRow(*vc);
    EXPECT_TRUE(realNamePanelShown());
}

TEST_P(Loading, AnAccountPageWithoutAReplyShowsNoValueAndAsksAgainOnATap) {
    env->standin().server().script(UserCentreStandin::path(ZVApi::kUserIndex), Reply::html500());
    auto centre = openUserCentre();
    auto vc = centre ? tabRoot<ZVSuUserVC>(*centre, 0) : nullptr;
    ASSERT_TRUE(vc && asked(ZVApi::kUserIndex));
    advance(3);
    ASSERT_TRUE(settle([&] { return vc->nickL->text() == kFailed; }));
    for (auto& l : {vc->ptbL, vc->mobileL, vc->rzL}) EXPECT_EQ(l->text(), "--");
    expectGreyText(*shoot(*centreWindow(), "loading-account-failed"), *vc->nickL);
    advance(3);
    tapRealNameRow(*vc);
    EXPECT_FALSE(realNamePanelShown());
    ASSERT_TRUE(asked(ZVApi::kUserIndex, 2));
    advance(3);
    EXPECT_TRUE(settle([&] { return vc->rzL->text() == "未认证"; }));
}

TEST_P(Loading, TheMessageListSaysItIsLoadingThenShowsItsRowsOrThatNoneCame) {
    env->standin().setMessages("player1", {{1, "欢迎", "内容", "2024-05-01", "https://pages.example/1", false}});
    auto list = std::make_shared<ZVUserMsgVC>();
    auto nav = showInNavigation(list);
    ASSERT_TRUE(asked(ZVApi::kMessageList));
    auto note = uitest::findLabel(kLoading);
    ASSERT_TRUE(note);
    expectGreyText(*shoot(*nav->view()->window(), "loading-messages"), *note);
    EXPECT_TRUE(uitest::screenFrame(*list->tableView()).contains(uitest::screenFrame(*note).origin));
    advance(3);
    ASSERT_TRUE(settle([&] { return list->dataSource.size() == 1; }));
    EXPECT_FALSE(uitest::findLabel(kLoading));

    env->standin().server().script(UserCentreStandin::path(ZVApi::kMessageList), Reply::html500());
    nav = showInNavigation(std::make_shared<ZVUserMsgVC>());
    ASSERT_TRUE(asked(ZVApi::kMessageList, 2));
    advance(3);
    ASSERT_TRUE(settle([&] { return uitest::findLabel(kFailed) != nullptr; }));
    shoot(*nav->view()->window(), "loading-messages-failed");
}

TEST_P(Loading, AWebTabShowsItsNoteUntilThePageCommitsOrSaysItFailed) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    centre->setSelectedIndex(2);  // 任务
    auto page = tabRoot<ZVSuWebVC>(*centre, 2);
    uitest::layout();
    auto web = std::dynamic_pointer_cast<RecordingWebView>(page->webView());
    ASSERT_TRUE(web && !web->loads().empty());
    EXPECT_TRUE(web->isHidden());
    auto note = uitest::findLabel(kLoading);
    ASSERT_TRUE(note);
    expectGreyText(*shoot(*centreWindow(), "loading-tasks"), *note);
    // A load stopped by a newer one is no failure; the commit shows the page.
    auto navigation = web->loads().back().navigation;
    web->didFailProvisionalNavigation(navigation, Error(NSURLErrorDomain, NSURLErrorCancelled));
    EXPECT_TRUE(uitest::findLabel(kLoading));
    web->didCommitNavigation(navigation);
    EXPECT_FALSE(web->isHidden());
    EXPECT_FALSE(uitest::findLabel(kLoading));

    centre->setSelectedIndex(4);  // 客服, whose page cannot be reached
    uitest::layout();
    auto service = std::dynamic_pointer_cast<RecordingWebView>(tabRoot<ZVSuWebVC>(*centre, 4)->webView());
    ASSERT_TRUE(service && !service->loads().empty());
    service->didFailProvisionalNavigation(service->loads().back().navigation,
                                          Error(NSURLErrorDomain, NSURLErrorCannotConnectToHost));
    EXPECT_TRUE(service->isHidden());
    EXPECT_TRUE(uitest::findLabel(kFailed));
    shoot(*centreWindow(), "loading-service-failed");
}

TEST_P(Loading, TheWelfarePageSaysItIsLoadingInPlaceOfItsCards) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    centre->setSelectedIndex(1);
    uitest::layout();
    auto page = std::dynamic_pointer_cast<ZVWelfareVC>(tabRoot<ZVSuWelfareVC>(*centre, 1)->childViewControllers()[0]);
    ASSERT_TRUE(page && asked(ZVApi::kWelfare));
    EXPECT_TRUE(page->contentView->isHidden());
    auto note = uitest::findLabel(kLoading);
    ASSERT_TRUE(note);
    expectGreyText(*shoot(*centreWindow(), "loading-welfare"), *note);
    advance(3);
    ASSERT_TRUE(settle([&] { return !page->contentView->isHidden() && !page->dataSource().empty(); }));
    EXPECT_FALSE(uitest::findLabel(kLoading));
}

// The gift packs: the type buttons stay, the note stands where the packs go
// (no empty card around it). The server openings: the note over their list.
TEST_P(Loading, TheGiftAndServerPagesSayTheyAreLoadingWhereTheirListsGo) {
    env->standin().setGifts(0, {Value::dict({{"id", 1}, {"name", "新手礼包"}, {"status", "0"}})});
    env->standin().setList(ZVApi::kServerList, {{Value::dict({{"servername", "双线1服"}, {"status", 1}})}});
    auto centre = openUserCentre();
    auto gifts = centre ? welfarePage<ZVGiftVC>(*centre, 2) : nullptr;
    ASSERT_TRUE(gifts && asked(ZVApi::kGiftList));
    auto img = shoot(*centreWindow(), "loading-gifts");
    expectNote(*img, *gifts->loadingNote, kLoading, packsArea(*gifts));
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*gifts->btnsView), dark), 0);
    CGRect area = packsArea(*gifts);
    area.size.height = uitest::screenFrame(*gifts->loadingNote).minY() - area.minY();
    EXPECT_EQ(countPixels(*img, area.insetBy(0, 1), [](RGBA8 p) { return std::abs(p.r - 0xF9) > 3; }), 0);
    advance(3);
    ASSERT_TRUE(settle([&] { return gifts->dataSource().size() == 1; }));
    EXPECT_TRUE(gifts->loadingNote->isHidden());
    EXPECT_FALSE(gifts->giftView->isHidden());

    auto servers = welfarePage<ZVServerVC>(*centre, 3);
    ASSERT_TRUE(servers && asked(ZVApi::kServerList));
    expectNote(*shoot(*centreWindow(), "loading-servers"), *servers->loadingNote(), kLoading,
               uitest::screenFrame(*servers->view()));
    advance(3);
    ASSERT_TRUE(settle([&] { return servers->dataSource.size() == 1 && servers->loadingNote()->isHidden(); }));
}

// Where no list came: "加载失败", the toast saying why; the gift packs ask
// again for the type the player picks.
TEST_P(Loading, GiftAndServerPagesWithoutAReplySaySoAndATypeAsksAgain) {
    env->standin().setGifts(1, {Value::dict({{"id", 11}, {"name", "充值礼包"}, {"status", "0"}})});
    env->standin().server().script(UserCentreStandin::path(ZVApi::kGiftList),
                                   Reply::json(Value::dict({{"a", 0}, {"b", "礼包活动未开始"}})));
    env->standin().server().script(UserCentreStandin::path(ZVApi::kServerList), Reply::html500());
    auto centre = openUserCentre();
    auto gifts = centre ? welfarePage<ZVGiftVC>(*centre, 2) : nullptr;
    ASSERT_TRUE(gifts && asked(ZVApi::kGiftList));
    advance(3);
    ASSERT_TRUE(settle([&] { return labelShown("礼包活动未开始"); }));
    expectNote(*shoot(*centreWindow(), "loading-gifts-failed"), *gifts->loadingNote, kFailed, packsArea(*gifts));
    advance(3);  // the toast goes
    ASSERT_TRUE(uitest::tapView(*gifts->btnsView->viewWithTag(ZVGiftVC::kFirstTag + 1)));
    ASSERT_TRUE(asked(ZVApi::kGiftList, 2));
    EXPECT_EQ(gifts->loadingNote->text(), kLoading);
    advance(3);
    ASSERT_TRUE(settle([&] { return gifts->dataSource().size() == 1 && gifts->loadingNote->isHidden(); }));

    auto servers = welfarePage<ZVServerVC>(*centre, 3);
    ASSERT_TRUE(servers && asked(ZVApi::kServerList));
    advance(3);
    ASSERT_TRUE(settle([&] { return servers->loadingNote()->text() == kFailed; }));
    expectNote(*shoot(*centreWindow(), "loading-servers-failed"), *servers->loadingNote(), kFailed,
               uitest::screenFrame(*servers->view()));
}

INSTANTIATE_PROFILES(Loading);

}  // namespace
