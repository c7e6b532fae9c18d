// The gift packs (types, claims, copies, odd replies) and the voucher
// pop-up (which list and claim roads a voucher id takes, the pick, and the
// sub-accounts' badges), against the stand-in.

#include "WelfareTestSupport.h"
#include "platform/device/UIPasteboard.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/welfare/ZVGiftVC.h"
#include "usercenter/screens/welfare/ZVSuCouponSubView.h"
#include "usercenter/screens/common/ZVViewExtension.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

Value pack(int id, Value status, const std::string& code = "") {
    Value p = Value::dict({{"id", id}, {"name", "礼包" + std::to_string(id)}, {"excerpt", "体力×100"},
                           {"card_context", "体力×100，金币×500"}, {"end_time", "2024-12-31"}});
    if (!status.isNull()) p.set("status", status);
    if (!code.empty()) p.set("code", code);
    return p;
}

class Gifts : public WelfareTest {
protected:
    void SetUp() override {
        WelfareTest::SetUp();
        UIPasteboard::setStore(pasteboard);
        env->standin().setGifts(0, {pack(1, "0"), pack(2, 1, "CODE2")});
        env->standin().setGifts(1, {pack(11, "0")});
        env->standin().setGifts(2, {});
    }
    void TearDown() override {
        UIPasteboard::setStore(nullptr);
        WelfareTest::TearDown();
    }
    std::shared_ptr<ZVGiftVC> show() {
        auto vc = showScene<ZVGiftVC>("ZVGiftVC");
        EXPECT_TRUE(settle([&] { return vc->dataSource().size() == 2; }));
        return vc;
    }
    std::shared_ptr<UIButton> typeButton(ZVGiftVC& vc, long type) {
        return std::dynamic_pointer_cast<UIButton>(vc.btnsView->viewWithTag(ZVGiftVC::kFirstTag + type));
    }
    std::shared_ptr<ZVGiftCell> row(ZVGiftVC& vc, long r) {
        uitest::layout();
        return std::dynamic_pointer_cast<ZVGiftCell>(vc.tableView->cellForRowAtIndexPath({0, r}));
    }
    size_t lists() { return requests(ZVApi::kGiftList); }
    std::shared_ptr<MemoryPasteboardStore> pasteboard = std::make_shared<MemoryPasteboardStore>();
};

TEST_F(Gifts, TypesSendTheirNumberAndTheSelectedOneSendsNothing) {
    auto vc = show();
    EXPECT_EQ(lastRequest(ZVApi::kGiftList).text("lx"), "0");
    EXPECT_EQ(vc->tableViewH->constant(), 240);
    ASSERT_TRUE(uitest::tapView(*typeButton(*vc, 0)));
    RunLoop::drain();
    EXPECT_EQ(lists(), 1u);
    for (long type : {1, 2}) {
        ASSERT_TRUE(uitest::tapView(*typeButton(*vc, type)));
        ASSERT_TRUE(settle([&] { return lists() == size_t(type) + 1; }));
        EXPECT_EQ(lastRequest(ZVApi::kGiftList).text("lx"), std::to_string(type));
        EXPECT_EQ(vc->nowBtn(), typeButton(*vc, type));
        EXPECT_TRUE(typeButton(*vc, type)->isSelected());
        EXPECT_FALSE(typeButton(*vc, type - 1)->isSelected());
    }
    // Type 2 has no packs: the list takes no height.
    ASSERT_TRUE(settle([&] { return vc->dataSource().empty(); }));
    EXPECT_EQ(vc->tableViewH->constant(), 0);
    uitest::layout();
    EXPECT_EQ(vc->giftView->frame().height(), 0);
}

TEST_F(Gifts, ClaimedIsReadForgivinglyAndCopyPutsTheCodeOnThePasteboard) {
    env->standin().setGifts(0, {pack(1, "1", "C1"), pack(2, 1, "C2"), pack(3, "0"), pack(4, 0), pack(5, Value()), pack(6, true)});
    auto vc = showScene<ZVGiftVC>("ZVGiftVC");
    ASSERT_TRUE(settle([&] { return vc->dataSource().size() == 6; }));
    std::vector<std::string> titles;
    for (long r = 0; r < 6; ++r) titles.push_back(row(*vc, r)->btn->currentTitle());
    EXPECT_EQ(titles, (std::vector<std::string>{"复制", "复制", "领取", "领取", "领取", "复制"}));
    EXPECT_EQ(row(*vc, 0)->showL->text(), "礼包码：C1");
    EXPECT_EQ(row(*vc, 0)->timeL->text(), "体力×100，金币×500");
    EXPECT_EQ(row(*vc, 2)->timeL->text(), "有效期至：2024-12-31");
    EXPECT_EQ(row(*vc, 2)->showL->text(), "体力×100");

    size_t before = env->standin().journal().size();
    ASSERT_TRUE(uitest::tapView(*row(*vc, 1)->btn));
    EXPECT_EQ(pasteboard->text(), "C2");
    EXPECT_FALSE(labelShown("复制成功"));
    advance(0.1);
    auto toast = findText("复制成功");
    ASSERT_TRUE(toast);
    EXPECT_EQ(toast->window(), CXRWindowManager::topWindow());
    // A claimed pack without a code leaves the pasteboard as it was, and still toasts.
    advance(3);
    vc->contentView->setContentOffset(vc->contentView->maximumContentOffset());  // the page scrolls to the last row
    ASSERT_TRUE(uitest::tapView(*row(*vc, 5)->btn));
    advance(0.1);
    EXPECT_TRUE(labelShown("复制成功"));
    EXPECT_EQ(pasteboard->text(), "C2");
    EXPECT_EQ(env->standin().journal().size(), before);
}

TEST_F(Gifts, AClaimToastsAndReloadsUnlessRefusedWithZero) {
    env->standin().setGifts(0, {pack(1, "0"), pack(2, "0"), pack(3, "0"), pack(4, "0")});
    auto vc = showScene<ZVGiftVC>("ZVGiftVC");
    ASSERT_TRUE(settle([&] { return vc->dataSource().size() == 4; }));
    std::string claimPath = UserCentreStandin::path(ZVApi::kGiftClaim);
    struct Case {
        Value a;  // null: the stand-in's own answer ("a" 1)
        std::string toast;
        bool reloads;
    };
    long r = 0;
    for (auto& c : std::vector<Case>{{0, "答复0", false}, {"0", "答复0", false}, {"2", "答复2", true}, {Value(), "领取成功", true}}) {
        size_t before = lists();
        if (!c.a.isNull())
            env->standin().server().script(claimPath, UserCentreStandin::coded(Value::dict({{"a", c.a}, {"b", c.toast}})));
        ASSERT_TRUE(uitest::tapView(*row(*vc, r)->btn));
        ASSERT_TRUE(toastShown(c.toast)) << r;
        EXPECT_EQ(findText(c.toast)->window(), CXRWindowManager::topWindow());
        EXPECT_EQ(env->standin().journal().last(claimPath)->decoded.text("cardid"), std::to_string(r + 1));
        if (c.reloads) ASSERT_TRUE(settle([&] { return lists() == before + 1; })) << r;
        else EXPECT_EQ(lists(), before) << r;
        advance(3);
        ++r;
    }
    EXPECT_EQ(env->standin().journal().last(claimPath)->decoded.text("username"), "player01");
    // The stand-in claimed the last one: the reloaded row offers its code.
    ASSERT_TRUE(settle([&] { return row(*vc, 3)->btn->currentTitle() == "复制"; }));
    EXPECT_GT(row(*vc, 3)->showL->text().size(), std::string("礼包码：").size());
}

TEST_F(Gifts, OddRepliesKeepTheListAndLateOnesAreDropped) {
    auto vc = show();
    auto& server = env->standin().server();
    std::string path = UserCentreStandin::path(ZVApi::kGiftList);
    struct Case {
        Reply reply;
        std::string toast;
    };
    long type = 1;
    for (auto& c : std::vector<Case>{{Reply::json(Value::dict({{"a", 0}, {"b", "暂无礼包"}})), "暂无礼包"},
                                     {Reply::json(Value::dict({{"a", 0}})), "服务器错误"},
                                     {Reply::html500(), "服务器错误"},
                                     {Reply::text("<html>oops</html>", "text/html"), "服务器错误"}}) {
        server.script(path, c.reply);
        ASSERT_TRUE(uitest::tapView(*typeButton(*vc, type)));
        ASSERT_TRUE(toastShown(c.toast)) << c.toast;
        EXPECT_EQ(vc->dataSource().size(), 2u) << c.toast;
        EXPECT_EQ(vc->tableViewH->constant(), 240) << c.toast;
        advance(3);
        type = type == 1 ? 2 : 1;
    }
    // A reply held past a type switch is dropped when it comes.
    server.script(path, Reply::held({Value::array({pack(7, "0"), pack(8, "0"), pack(9, "0")}).toJSON()}, "application/json"));
    size_t sent = requests(ZVApi::kGiftList);
    ASSERT_TRUE(uitest::tapView(*typeButton(*vc, 0)));
    // The held reply must go to this request, not race the next one to the server.
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kGiftList) == sent + 1; }));
    ASSERT_TRUE(uitest::tapView(*typeButton(*vc, 1)));
    ASSERT_TRUE(settle([&] { return vc->dataSource().size() == 1; }));
    server.releasePieces();
    ASSERT_TRUE(settle([&] { return vc->droppedReplies() == 1; }));
    EXPECT_EQ(vc->dataSource().size(), 1u);
    EXPECT_EQ(vc->dataSource()[0].text("id"), "11");
}

// ---- The voucher pop-up

class CouponPopUp : public WelfareTest {
protected:
    void SetUp() override {
        WelfareTest::SetUp();
        auto& s = env->standin();
        s.setVouchers({{12, "G1", 100, Value::dict()}, {13, "G1", 100, Value::dict()}});
        s.setSubAccounts("player01", {{7, "小号一"}, {8, "小号二"}, {9, "小号三"}, {10, "小号四"}});
        ShareVale::sharedInstance().xiaohao_id = 99;
    }
    void TearDown() override {
        ShareVale::sharedInstance().xiaohao_id.reset();
        WelfareTest::TearDown();
    }
    // The panel on a backdrop, listing for `cid`.
    std::shared_ptr<ZVSuCouponSubView> open(const std::string& cid, size_t entries = 4) {
        auto window = makeWindow();
        backdrop = std::make_shared<UIView>(window->bounds());
        backdrop->setBackgroundColor(UIColor::colorWithRed(0, 0, 0, 0.2));
        window->rootViewController()->view()->addSubview(backdrop);
        auto panel = Extension::ViewFromXib<ZVSuCouponSubView>("ZVSuCouponSubView");
        panel->setCenter({window->bounds().midX(), window->bounds().midY()});
        backdrop->addSubview(panel);
        panel->cid = cid;
        panel->loadData();
        EXPECT_TRUE(settle([&] { return panel->dataSource.size() == entries; }));
        return panel;
    }
    void pick(ZVSuCouponSubView& panel, long item) {
        uitest::layout();
        ASSERT_TRUE(uitest::tapView(*panel.collectionView->cellForItemAtIndexPath({0, item})));
    }
    std::shared_ptr<ZVSuCouponSubViewCol> cell(ZVSuCouponSubView& panel, long item) {
        uitest::layout();
        return std::dynamic_pointer_cast<ZVSuCouponSubViewCol>(panel.collectionView->cellForItemAtIndexPath({0, item}));
    }
    size_t claims() { return requests(ZVApi::kGetCoupon) + requests(ZVApi::kGetCouponAll); }
    std::shared_ptr<UIView> backdrop;
};

TEST_F(CouponPopUp, TheVoucherIdChoosesTheListAndClaimRoads) {
    struct Case {
        std::string cid;
        const char* list;
        const char* claim;
        bool gid;
    };
    long item = 0;  // a sub-account of its own each time: claiming all leaves none for it
    for (auto& c : std::vector<Case>{{"", ZVApi::kCouponAllRecord, ZVApi::kGetCouponAll, true},
                                     {"0", ZVApi::kCouponAllRecord, ZVApi::kGetCouponAll, true},
                                     {"abc", ZVApi::kCouponAllRecord, ZVApi::kGetCouponAll, true},
                                     {"12", ZVApi::kCouponRecord, ZVApi::kGetCoupon, false}}) {
        size_t listed = requests(c.list), claimed = requests(c.claim);
        auto panel = open(c.cid);
        EXPECT_EQ(requests(c.list), listed + 1) << c.cid;
        EXPECT_EQ(lastRequest(c.list).text("cid"), c.cid);
        EXPECT_EQ(lastRequest(c.list).text("gid"), "G1");
        pick(*panel, item);
        ASSERT_TRUE(uitest::tapButton("立即领取"));
        ASSERT_TRUE(settle([&] { return requests(c.claim) == claimed + 1; })) << c.cid;
        Value sent = lastRequest(c.claim);
        EXPECT_EQ(sent["xiaohao_id"].intValue(), 7 + item++) << c.cid;  // the pick, not ShareVale's
        EXPECT_EQ(sent.text("cid"), c.cid);
        EXPECT_EQ(sent.has("gid"), c.gid) << c.cid;
        // Done: the panel and its backdrop close.
        ASSERT_TRUE(settle([&] { return !backdrop->superview(); })) << c.cid;
        EXPECT_FALSE(panel->superview());
        EXPECT_TRUE(panel->selectDic.isNull());
        EXPECT_TRUE(panel->dataSource.empty());
        advance(3);
    }
}

TEST_F(CouponPopUp, ClaimingWantsAPickAndARefusalKeepsPanelAndPick) {
    auto panel = open("12");
    ASSERT_TRUE(uitest::tapButton("立即领取"));
    EXPECT_TRUE(labelShown("请选择要领取的小号"));
    RunLoop::drain();
    EXPECT_EQ(claims(), 0u);

    pick(*panel, 0);
    EXPECT_TRUE(cell(*panel, 0)->isSelected());
    env->standin().server().script(UserCentreStandin::path(ZVApi::kGetCoupon),
                                   UserCentreStandin::coded(Value::dict({{"a", 0}, {"b", "今日已领完"}})));
    ASSERT_TRUE(uitest::tapButton("立即领取"));
    ASSERT_TRUE(toastShown("今日已领完"));
    EXPECT_EQ(findText("今日已领完")->window(), CXRWindowManager::topWindow());
    EXPECT_TRUE(backdrop->superview());
    EXPECT_EQ(panel->selectDic.text("id"), "7");
    EXPECT_TRUE(cell(*panel, 0)->isSelected());

    // A refused or failed list toasts on the panel.
    advance(3);
    env->standin().server().script(UserCentreStandin::path(ZVApi::kCouponRecord), Reply::json(Value::dict({{"a", 0}, {"b", "活动已结束"}})));
    panel->loadData();
    ASSERT_TRUE(toastShown("活动已结束"));
    EXPECT_TRUE(findText("活动已结束")->isDescendantOfView(panel.get()));
    env->standin().server().script(UserCentreStandin::path(ZVApi::kCouponRecord), Reply::html500());
    panel->loadData();
    ASSERT_TRUE(toastShown("服务器错误"));
    EXPECT_EQ(panel->dataSource.size(), 4u);
}

TEST_F(CouponPopUp, TheClaimStateIsABadgeUnlessNotClaimed) {
    env->standin().server().script(UserCentreStandin::path(ZVApi::kCouponAllRecord),
                                   Reply::json(Value::dict({{"a", 1}, {"c", Value::array({Value::dict({{"id", 7}, {"nickname", "小号一"}, {"status", "未领"}}),
                                                                                          Value::dict({{"id", 8}, {"nickname", "小号二"}, {"status", "已领"}}),
                                                                                          "not an entry"})}})));
    auto panel = open("", 2);
    auto open = cell(*panel, 0), claimed = cell(*panel, 1);
    EXPECT_EQ(open->statusL->backgroundColor(), UIColor::clearColor());
    EXPECT_EQ(open->statusL->textColor(), UIColor::lightGrayColor());
    EXPECT_EQ(claimed->statusL->backgroundColor(), XTExtention::colorWithHexString("#b5bcd5"));
    EXPECT_EQ(claimed->statusL->textColor(), XTExtention::colorWithHexString("#4958A7"));
    EXPECT_EQ(claimed->subL->text(), "小号二");
    EXPECT_EQ(panel->collectionView->collectionViewLayout()->itemSize, (CGSize{125, 50}));
    EXPECT_EQ(open->frame().size, (CGSize{125, 50}));
    EXPECT_EQ(claimed->frame().minX() - open->frame().maxX(), 20);
}

}  // namespace
