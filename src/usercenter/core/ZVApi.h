#pragma once
// The endpoint table of the user-centre server: entry 0 is the SDK
// version, entry 1 the API base URL (a bundle setting, see ZVSettings);
// the rest are paths appended to the base, each a module and an action.

#include <string>

namespace ZVApi {

inline constexpr const char* kSdkVersion = "8";
// The API base URL: the server's address followed by "sdkapicoupon2/".
std::string baseURL();

// Account (coded body).
inline constexpr const char* kSdkInfo = "Sdkhome/sdkinfo";
inline constexpr const char* kLogin = "login/dologin";
inline constexpr const char* kLogout = "login/logout";
inline constexpr const char* kRealName = "login/idcheck";
inline constexpr const char* kRoleUpload = "Sdkhome/uprole";
inline constexpr const char* kOnlineTime = "Sdkhome/online";
inline constexpr const char* kForgetPassword = "Sdkhome/forgetpassword";
inline constexpr const char* kUnbindPhone = "Sdkhome/jiebang";
// Account (form body).
inline constexpr const char* kSmsCode = "Sdkhome/yzm";
inline constexpr const char* kBindPhone = "Sdkhome/bdtel";
// Payment (coded body).
inline constexpr const char* kPayWays = "Pay/payway";
inline constexpr const char* kPayOrder = "Pay/dopay";
// Publisher pages.
inline constexpr const char* kAgreementPage = "Agreement/xieyi";
inline constexpr const char* kPrivacyPage = "User/yinsi";
inline constexpr const char* kTasksPage = "Agreement/rw";
inline constexpr const char* kServicePage = "sdkservicesdk/sdk_kefu_index";
inline constexpr const char* kCommentRulesPage = "Agreement/yz";
inline constexpr const char* kTitleLevelPage = "Agreement/tx";
// User-centre lists (form body; "lists", "now_page", "total_page" at the top).
inline constexpr const char* kServerList = "Server/lists2";
inline constexpr const char* kGuideList = "Sdkdetail/gonglue";
inline constexpr const char* kActivityList = "Sdkdetail/gameActivity";
// Welfare page (form body; "a", "b", "c").
inline constexpr const char* kWelfare = "Sdkdetail/fuli";
// Gift packs: the list (form body; a bare array) and a claim (coded body).
inline constexpr const char* kGiftList = "Sdkdetail1/card";
inline constexpr const char* kGiftClaim = "Card1/receive";
// Vouchers: claims (coded body) and the sub-accounts' claim states (form body).
inline constexpr const char* kGetCoupon = "Sdkdetailxiaov2/getcoupon";
inline constexpr const char* kGetCouponAll = "Sdkdetailxiaov2/getcouponall";
inline constexpr const char* kCouponRecord = "Sdkdetailxiao/record";
inline constexpr const char* kCouponAllRecord = "Sdkdetailxiao/allRecord";

// The account page (coded body: "a", "b", "c" {uinfo, coupon}).
inline constexpr const char* kUserIndex = "sdkhomexiaov2/index";
// Publisher pages of the account page and its real-name panel.
inline constexpr const char* kTitlePage = "Agreement/tx";
inline constexpr const char* kAntiAddictionPage = "Agreement/Information2";
// The outside customer chat, under its own address (ZORVIA_CHAT_URL).
inline constexpr const char* kChatPage = "webchatbot/h5chat.html?sysNum=1629884964249&sourceId=4021&lang=zh_CN";
// Messages (form body): rows in "c", "nowpage" and "allnum" (pages) at the top.
inline constexpr const char* kMessageList = "Mynews/listnews";
inline constexpr const char* kMessageRead = "Mynews/news";
// Reservations (form body, no envelope).
inline constexpr const char* kBookingList = "Sdkhome/bookinglist";
inline constexpr const char* kMyBookingList = "Sdkhome/mybookinglist";
// The ledgers (form body; "c" {lists, now_page, total_page}): income, spending.
inline constexpr const char* kPtbIncome = "Userexpand/getptblog";
inline constexpr const char* kPtbSpending = "Userexpand/payptblog";
inline constexpr const char* kDjqIncome = "Sdkhome/getdjqlog";
inline constexpr const char* kDjqSpending = "Sdkhome/paydjqlog";
inline constexpr const char* kStarIncome = "Sdkhome/getstarcoinlog";
inline constexpr const char* kStarSpending = "Sdkhome/paystarcoinlog";
// Vouchers on offer (form body; one page in "c"."data") and the player's
// own (form body, no envelope).
inline constexpr const char* kCouponList = "Sdkdetailxiaov2/couponlists";
inline constexpr const char* kMyCoupons = "Sdkhomexiao/mycoupon";

// Comments (form body; replies {"a", "b", "c"}, a list's page under "c").
inline constexpr const char* kCommentList = "Sdkcomments/get";
inline constexpr const char* kCommentPost = "Sdkcomments/commit";
inline constexpr const char* kCommentLike = "Sdkcomments/good";
inline constexpr const char* kCommentReplies = "Sdkcomments/listscomments";

}  // namespace ZVApi
