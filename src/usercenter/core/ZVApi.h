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
// Account (form body).
inline constexpr const char* kSmsCode = "Sdkhome/yzm";
inline constexpr const char* kBindPhone = "Sdkhome/bdtel";
inline constexpr const char* kForgetPassword = "Sdkhome/forgetpassword";
inline constexpr const char* kUnbindPhone = "Sdkhome/jiebang";
// Payment (coded body).
inline constexpr const char* kPayWays = "Pay/payway";
inline constexpr const char* kPayOrder = "Pay/dopay";
// Publisher pages.
inline constexpr const char* kAgreementPage = "Agreement/xieyi";
inline constexpr const char* kPrivacyPage = "User/yinsi";
inline constexpr const char* kTasksPage = "Agreement/rw";
inline constexpr const char* kServicePage = "sdkservicesdk/sdk_kefu_index";
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

}  // namespace ZVApi
