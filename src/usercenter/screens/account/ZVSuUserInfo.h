#pragma once
// What the account page shows of its reply's payload "c": the texts of the
// account card, balances, coupon summary and settings rows, read through
// Value's typed reads only. A missing or null "uinfo" or "coupon" (or one
// that is no dictionary) reads as empty: texts "", flags false, no unread
// messages; never "(null)". Balances and coupon numbers that are missing
// or empty read 0 ("0", "￥0", "共0张"). The wallet is read as a double ("%.2f");
// "weidu" counts when its integer value is 1 or more.

#include <cstdint>
#include <string>

#include "platform/foundation/Value.h"

struct ZVSuUserInfo {
    std::string avatar, vippic, paypic;
    std::string nickName;  // "昵称" when the reply has none
    std::string account;   // "账号：…"
    std::string ptb, djq, star, wallet;
    bool isBang = false, isRz = false;
    std::string mobile;
    std::string couponMoney, couponCount;  // "￥…" and "共…张"
    int64_t unread = 0;                    // 0 when the badge hides

    static ZVSuUserInfo fromPayload(const Value& c);
    // The sub-account line: "小号名：" and the selected sub-account's name.
    static std::string subAccountLine(const std::string& nickName);
    // The unread badge after one message was read: one fewer, never below 0.
    static int64_t unreadAfterRead(const std::string& badgeText);
};
