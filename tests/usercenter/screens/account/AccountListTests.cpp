// The account tab's lists against the stand-in: messages and their read
// marks, reservations, the ledgers and their filter, the coupon centre's
// claims, and the player's vouchers by tab.

#include <algorithm>

#include "UserCentreTestSupport.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/account/ZVSuBillVC.h"
#include "usercenter/screens/account/ZVSuCouponVC.h"
#include "usercenter/screens/account/ZVSuMyCouponVC.h"
#include "usercenter/screens/account/ZVSuOrderVC.h"
#include "usercenter/screens/account/ZVSuUserInfo.h"
#include "usercenter/screens/account/ZVUserMsgVC.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

class AccountLists : public UserCentreTest {
protected:
    void SetUp() override {
        UserCentreTest::SetUp();
        ShareVale::sharedInstance().setUserName("player1");
    }
    void TearDown() override {
        ShareVale::sharedInstance().xiaohao_id.reset();
        UserCentreTest::TearDown();
    }
    template <class VC>
    bool idle(VC& vc) {
        return settle([&] {
            auto footer = footerOf(vc.tableView());
            auto header = ZVRefresh::ZV_header(vc.tableView());
            return !vc.pager().isFirstLoadOut() && !(footer && footer->isRefreshing()) && !(header && header->isRefreshing());
        });
    }
    template <class VC>
    std::shared_ptr<VC> show(std::shared_ptr<VC> vc) {
        showInNavigation(vc);
        EXPECT_TRUE(idle(*vc));
        return vc;
    }
    Value last(const std::string& endpoint) {
        auto e = env->standin().journal().last(UserCentreStandin::path(endpoint));
        return e ? e->decoded : Value();
    }
    void script(const std::string& endpoint, const Reply& reply) {
        env->standin().server().script(UserCentreStandin::path(endpoint), reply);
    }
    // The requests of an endpoint whose `key` was `value`.
    size_t requestsWith(const std::string& endpoint, const std::string& key, const std::string& value) {
        auto all = env->standin().journal().entries(UserCentreStandin::path(endpoint));
        return size_t(std::count_if(all.begin(), all.end(), [&](auto& e) { return e.decoded.str(key) == value; }));
    }
    // Ledger rows of `n` sources, `each` rows a source; row i is filed under source i % n + 1 and moves base + i.
    static std::vector<Value> ledger(int base, int sources, int each) {
        std::vector<Value> out;
        for (int i = 0; i < sources * each; ++i)
            out.push_back(Value::dict({{"time", "2024-05-01"}, {"money", std::to_string(base + i)},
                                       {"remark", "来源" + std::to_string(i % sources + 1)}, {"screen", i % sources + 1}}));
        return out;
    }
    // Scrolls a table to its end, as a drag that has come to rest leaves it.
    static void scrollToEnd(UITableView& table) {
        uitest::layout();
        table.setContentOffset(table.maximumContentOffset());
        uitest::layout();
    }
    static bool showsFromTop(UITableView& table) {
        uitest::layout();
        return table.contentOffset().y == table.minimumContentOffset().y && table.cellForRowAtIndexPath({0, 0});
    }
    std::vector<std::string> amounts(ZVSuBillVC& vc) {
        std::vector<std::string> out;
        for (long row = 0; row < long(vc.dataSource.size()); ++row)
            if (auto cell = std::dynamic_pointer_cast<ZVSuBillCell>(vc.tableView()->cellForRowAtIndexPath({0, row})))
                out.push_back(cell->numL->text());
        return out;
    }
};

TEST_F(AccountLists, MessagesAreMarkedReadOnceAndOnlyWhenTheServerAgrees) {
    env->standin().setMessages("player1", {{1, "欢迎", "内容", "2024-05-01", "https://pages.example/1", false},
                                           {2, "公告", "内容", "2024-04-01", "https://pages.example/2", true},
                                           {3, "提醒", "内容", "2024-03-01", "", false}});
    auto vc = std::make_shared<ZVUserMsgVC>();
    int lowered = 0;
    vc->refreshBlock = [&] { ++lowered; };
    show(vc);
    ASSERT_EQ(vc->dataSource.size(), 3u);
    EXPECT_EQ(footerOf(vc->tableView())->state(), ZVRefreshState::NoMoreData);  // "allnum" = "nowpage"
    auto cell = [&](long row) { return std::dynamic_pointer_cast<ZVUserMsgCell>(vc->tableView()->cellForRowAtIndexPath({0, row})); };
    auto back = [&] {
        advance(0.5);
        vc->navigationController()->popToRootViewControllerAnimated(false);
        uitest::layout();
    };

    // A read message opens its page and sends nothing.
    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 1});
    back();
    EXPECT_EQ(requests(ZVApi::kMessageRead), 0u);

    // A refused mark keeps the dot.
    script(ZVApi::kMessageRead, Reply::json(Value::dict({{"a", 0}, {"b", "稍后再试"}})));
    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 0});
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kMessageRead) == 1; }));
    back();
    RunLoop::drain();
    EXPECT_FALSE(cell(0)->pointView->isHidden());
    EXPECT_EQ(lowered, 0);

    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 0});
    ASSERT_TRUE(settle([&] { return lowered == 1; }));
    back();
    EXPECT_EQ(last(ZVApi::kMessageRead).str("id"), "1");
    EXPECT_TRUE(cell(0)->pointView->isHidden());
    EXPECT_TRUE(env->standin().messages("player1")[0].read);

    // A message without an address still gets its mark.
    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 2});
    ASSERT_TRUE(settle([&] { return lowered == 2; }));
}

TEST_F(AccountLists, TheUnreadBadgeNeverGoesBelowZero) {
    for (auto& [badge, left] : std::vector<std::pair<std::string, int64_t>>{{"3", 2}, {"1", 0}, {"0", 0}, {"", 0}, {"x", 0}})
        EXPECT_EQ(ZVSuUserInfo::unreadAfterRead(badge), left) << badge;
}

TEST_F(AccountLists, ReservationsShowTheirBenefitsAndTheirOwnList) {
    Value row = Value::dict({{"id", 7}, {"gamename", "星海征途"}, {"fuli", Value::array({"首充双倍", "登录送VIP"})},
                             {"box_discount", "0.1"}, {"pic1", ""}});
    env->standin().setList(ZVApi::kBookingList, {{row}, 10, Value::dict()});
    auto vc = show(std::make_shared<ZVSuOrderVC>());
    ASSERT_EQ(vc->dataSource.size(), 1u);
    auto cell = std::dynamic_pointer_cast<ZVSuOrderCell>(vc->tableView()->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->tagLabel(10)->text(), " 首充双倍 ");
    EXPECT_EQ(cell->tagLabel(11)->text(), " 登录送VIP ");
    EXPECT_FALSE(cell->tagLabel(11)->isHidden());
    EXPECT_TRUE(cell->tagLabel(12)->isHidden());

    script(ZVApi::kBookingList, Reply::json(Value::dict({{"now_page", 1}})));  // no "lists"
    vc->tableViewDidTriggerHeaderRefresh();
    ASSERT_TRUE(settle([&] { return vc->dataSource.empty(); }));

    ASSERT_TRUE(uitest::tapView(*vc->navBtn()));
    advance(0.5);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kMyBookingList) == 1; }));
}

TEST_F(AccountLists, TheLedgersFilterAndKeepTheirSign) {
    auto& s = env->standin();
    // Row i is filed under source i + 1 and moves base + i.
    auto rows = [](int base, int n) {
        std::vector<Value> out;
        for (int i = 0; i < n; ++i)
            out.push_back(Value::dict({{"time", "2024-05-0" + std::to_string(i + 1)}, {"money", std::to_string(base + i)},
                                       {"remark", "充值"}, {"screen", i + 1}}));
        return out;
    };
    s.setList(ZVApi::kDjqIncome, {rows(5, 3), 10, Value::dict()});
    s.setList(ZVApi::kDjqSpending, {rows(2, 2), 10, Value::dict()});
    s.setList(ZVApi::kPtbIncome, {rows(1, 1), 10, Value::dict()});

    auto ptb = std::make_shared<ZVSuBillVC>();
    ptb->isPtb = true;
    show(ptb);
    EXPECT_FALSE(ptb->menu() && ptb->menu()->superview());  // platform coins have no filter

    auto vc = std::make_shared<ZVSuBillVC>();
    show(vc);
    EXPECT_EQ(last(ZVApi::kDjqIncome).str("screen"), "0");
    EXPECT_EQ(amounts(*vc), (std::vector<std::string>{"+5", "+6", "+7"}));

    // A refused reload keeps the rows and their sign.
    script(ZVApi::kDjqSpending, Reply::json(Value::dict({{"a", 0}, {"b", "稍后再试"}})));
    vc->doTypeBtnClick(vc->twoBtn);
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(last(ZVApi::kDjqSpending).str("screen"), "1");
    EXPECT_EQ(amounts(*vc), (std::vector<std::string>{"+5", "+6", "+7"}));

    vc->doTypeBtnClick(vc->oneBtn);
    ASSERT_TRUE(idle(*vc));
    vc->doTypeBtnClick(vc->twoBtn);
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(amounts(*vc), (std::vector<std::string>{"-2"}));  // the first source after a switch
    vc->dropdownMenu_didSelectOptionAtIndex_optionTitle(*vc->menu(), 1, vc->menuArr[1]);
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(last(ZVApi::kDjqSpending).str("screen"), "2");
    EXPECT_EQ(amounts(*vc), (std::vector<std::string>{"-3"}));

    // A switch while the other ledger's reply is held shows only the new ledger.
    Value late = Value::dict({{"c", Value::dict({{"lists", Value::array({rows(9, 1)[0]})}, {"now_page", 1}, {"total_page", 1}})}});
    script(ZVApi::kDjqIncome, Reply::held({late.toJSON()}, "application/json"));
    vc->doTypeBtnClick(vc->oneBtn);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kDjqIncome) == 3; }));
    vc->doTypeBtnClick(vc->twoBtn);
    ASSERT_TRUE(idle(*vc));
    s.server().releasePieces();
    ASSERT_TRUE(settle([&] { return vc->pager().droppedReplies() == 1; }));
    EXPECT_EQ(amounts(*vc), (std::vector<std::string>{"-2"}));
}

TEST_F(AccountLists, TheLedgerFilterTakesTapsBelowItsBarAndFollowsTheDirection) {
    auto& s = env->standin();
    s.setList(ZVApi::kDjqIncome, {ledger(10, 3, 2), 10, Value::dict()});
    s.setList(ZVApi::kDjqSpending, {ledger(50, 2, 2), 10, Value::dict()});
    auto vc = show(std::make_shared<ZVSuBillVC>());
    ASSERT_EQ(vc->dataSource.size(), 6u);

    // The options hang below the bar, over the rows: a tap picks one.
    ASSERT_TRUE(uitest::tapButton("后台代充"));
    ASSERT_TRUE(vc->menu()->isOpen());
    ASSERT_TRUE(uitest::tapButton("金币兑换"));
    ASSERT_TRUE(settle([&] { return requestsWith(ZVApi::kDjqIncome, "screen", "2") == 1; }));
    ASSERT_TRUE(idle(*vc));
    EXPECT_FALSE(vc->menu()->isOpen());
    EXPECT_EQ(vc->menu()->title(), "金币兑换");
    EXPECT_EQ(requestsWith(ZVApi::kDjqIncome, "pagecode", "1"), 2u);
    EXPECT_EQ(amounts(*vc), (std::vector<std::string>{"+11", "+14"}));

    // A switch made with the list open closes it; open again, it holds spending's sources.
    ASSERT_TRUE(uitest::tapButton("金币兑换"));
    ASSERT_TRUE(vc->menu()->isOpen());
    ASSERT_TRUE(uitest::tapButton("支出"));
    EXPECT_FALSE(vc->menu()->isOpen());
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(vc->menu()->title(), "游戏充值");
    ASSERT_TRUE(uitest::tapButton("游戏充值"));
    EXPECT_TRUE(uitest::findButton("代理撤回"));
    EXPECT_FALSE(uitest::findButton("渠道代充"));
    ASSERT_TRUE(uitest::tapButton("代理撤回"));
    ASSERT_TRUE(settle([&] { return requestsWith(ZVApi::kDjqSpending, "screen", "2") == 1; }));
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(amounts(*vc), (std::vector<std::string>{"-51", "-53"}));
}

TEST_F(AccountLists, AListSwitchedWhileScrolledDownShowsFromItsTop) {
    auto& s = env->standin();
    s.setList(ZVApi::kDjqIncome, {ledger(10, 1, 30), 40, Value::dict()});
    s.setList(ZVApi::kDjqSpending, {ledger(50, 1, 25), 40, Value::dict()});
    auto bill = show(std::make_shared<ZVSuBillVC>());
    ASSERT_EQ(bill->dataSource.size(), 30u);
    scrollToEnd(*bill->tableView());
    ASSERT_GT(bill->tableView()->contentOffset().y, 300);
    // Long enough to hold the offset, the other direction still starts from its top.
    bill->doTypeBtnClick(bill->twoBtn);
    ASSERT_TRUE(idle(*bill));
    ASSERT_EQ(bill->dataSource.size(), 25u);
    EXPECT_TRUE(showsFromTop(*bill->tableView()));

    auto mine = [](int n) {
        std::vector<Value> out;
        for (int i = 0; i < n; ++i) out.push_back(Value::dict({{"cid", i + 1}, {"coupon_money", "10"}, {"pay_money", "98"}}));
        return out;
    };
    s.setList(UserCentreStandin::myCouponsKey("1"), {mine(10), 10, Value::dict()});
    s.setList(UserCentreStandin::myCouponsKey("2"), {mine(2), 10, Value::dict()});
    auto coupons = show(std::make_shared<ZVSuMyCouponVC>());
    scrollToEnd(*coupons->tableView());
    ASSERT_GT(coupons->tableView()->contentOffset().y, 300);
    coupons->btnClick(uitest::findButton("已使用"));
    ASSERT_TRUE(idle(*coupons));
    ASSERT_EQ(coupons->dataSource.size(), 2u);
    EXPECT_TRUE(showsFromTop(*coupons->tableView()));
}

TEST_F(AccountLists, TheCouponCentreAsksWithItsFiveKeysAndAReloadKeepsItsPlace) {
    ShareVale::sharedInstance().xiaohao_id = 1;
    std::vector<UserCentreStandin::Voucher> vouchers;
    for (int64_t cid = 1; cid <= 12; ++cid)
        vouchers.push_back({cid, "G1", 5, Value::dict({{"coupon_money", "10"}, {"pay_money", "98"}})});
    env->standin().setVouchers(vouchers);
    auto vc = show(std::make_shared<ZVSuCouponVC>());
    auto sent = env->standin().journal().entries(UserCentreStandin::path(ZVApi::kCouponList));
    ASSERT_EQ(sent.size(), 1u);
    std::vector<std::string> keys;
    for (auto& [key, value] : *sent[0].decoded.getDict()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"cpsId", "gid", "type", "username", "xiaohao_id"}));

    // A claim reloads the same list: the rows stay where they were.
    auto& table = *vc->tableView();
    uitest::layout();
    table.setContentOffset({0, 220});
    vc->tableView_didSelectRowAtIndexPath(table, {0, 4});
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCouponList) == 2; }));
    ASSERT_TRUE(idle(*vc));
    uitest::layout();
    EXPECT_EQ(table.contentOffset().y, 220);
}

TEST_F(AccountLists, WithoutASubAccountAVoucherIsClaimedForTheAccount) {
    env->standin().setVouchers({{101, "G1", 5, Value::dict({{"coupon_money", "10"}})},
                                {102, "G1", 5, Value::dict({{"coupon_money", "30"}})}});
    auto vc = show(std::make_shared<ZVSuCouponVC>());
    ASSERT_EQ(vc->dataSource.size(), 2u);
    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 0});
    ASSERT_TRUE(settle([&] { return labelShown("领取成功"); }));
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCouponList) == 2; }));
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(vc->tableView_heightForRowAtIndexPath(*vc->tableView(), {0, 0}).value_or(-1), 0);
    EXPECT_TRUE(env->standin().claimed("player1", UserCentreStandin::kOwnAccount, 101));
    EXPECT_EQ(requestsWith(ZVApi::kGetCoupon, "xiaohao_id", ""), 1u);
    advance(3);
    ASSERT_TRUE(uitest::tapView(*vc->allBtn));
    ASSERT_TRUE(settle([&] { return env->standin().claimed("player1", UserCentreStandin::kOwnAccount, 102); }));
}

TEST_F(AccountLists, ClaimedVouchersCollapseAndARefusedClaimDoesNotReload) {
    ShareVale::sharedInstance().xiaohao_id = 1;
    auto& s = env->standin();
    auto voucher = [](int64_t cid, const char* money) {
        return UserCentreStandin::Voucher{cid, "G1", 5, Value::dict({{"coupon_money", money}, {"pay_money", "98"},
                                                                     {"gamename", "星海征途"}, {"time", "2024-12-31"}})};
    };
    s.setVouchers({voucher(101, "10"), voucher(102, "30"), voucher(103, "6")});
    auto vc = show(std::make_shared<ZVSuCouponVC>());
    ASSERT_EQ(vc->dataSource.size(), 3u);
    auto height = [&](long row) { return vc->tableView_heightForRowAtIndexPath(*vc->tableView(), {0, row}).value_or(-1); };

    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 1});
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCouponList) == 2 && vc->pager().isFirstLoadOut() == false; }));
    ASSERT_TRUE(idle(*vc));
    EXPECT_TRUE(labelShown("领取成功"));
    EXPECT_EQ(last(ZVApi::kGetCoupon).str("cid"), "102");
    EXPECT_EQ(height(1), 0);
    EXPECT_EQ(height(0), ZVSuCouponCell::kRowHeight);
    advance(3);

    // Claiming it again is refused: the message, no reload.
    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 1});
    ASSERT_TRUE(settle([&] { return labelShown("该小号已领取过此抵扣券"); }));
    advance(1);
    RunLoop::drain();
    EXPECT_EQ(requests(ZVApi::kCouponList), 2u);
    advance(3);

    ASSERT_TRUE(uitest::tapView(*vc->allBtn));
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCouponList) == 3; }));
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(last(ZVApi::kGetCouponAll).str("gid"), "G1");
    for (long row = 0; row < 3; ++row) EXPECT_EQ(height(row), 0) << row;
}

TEST_F(AccountLists, MyVouchersFollowTheirTab) {
    auto& s = env->standin();
    auto mine = [](int n) {
        std::vector<Value> out;
        for (int i = 0; i < n; ++i)
            out.push_back(Value::dict({{"cid", i + 1}, {"coupon_money", "10"}, {"pay_money", "98"}, {"gamename", "星海征途"}}));
        return out;
    };
    s.setList(UserCentreStandin::myCouponsKey("1"), {mine(12), 10, Value::dict()});
    s.setList(UserCentreStandin::myCouponsKey("2"), {mine(1), 10, Value::dict()});
    auto vc = show(std::make_shared<ZVSuMyCouponVC>());
    EXPECT_EQ(last(ZVApi::kMyCoupons).str("status"), "1");
    ASSERT_EQ(vc->dataSource.size(), 10u);
    auto cell = [&](long row) { return std::dynamic_pointer_cast<ZVSuMyCouponCell>(vc->tableView()->cellForRowAtIndexPath({0, row})); };
    EXPECT_EQ(cell(0)->bgPic->image(), cell(0)->image1());

    // A failed load-more gives its page back.
    script(ZVApi::kMyCoupons, Reply::html500());
    footerOf(vc->tableView())->beginRefreshing();
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(vc->page(), 1);
    EXPECT_EQ(vc->dataSource.size(), 10u);

    // A fast switch drops the reply of the tab before.
    Value late = Value::dict({{"lists", Value::array({mine(1)[0]})}, {"now_page", 1}, {"total_page", 1}});
    script(ZVApi::kMyCoupons, Reply::held({late.toJSON()}, "application/json"));
    auto tab = [&](const char* title) {
        auto b = uitest::findButton(title);
        ASSERT_TRUE(b) << title;
        vc->btnClick(b);
    };
    tab("不可用");
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kMyCoupons) == 3; }));
    tab("已使用");
    ASSERT_TRUE(idle(*vc));
    s.server().releasePieces();
    ASSERT_TRUE(settle([&] { return vc->pager().droppedReplies() == 1; }));
    EXPECT_EQ(vc->status(), "2");
    ASSERT_EQ(vc->dataSource.size(), 1u);
    EXPECT_EQ(cell(0)->bgPic->image(), cell(0)->image0());
}

}  // namespace
