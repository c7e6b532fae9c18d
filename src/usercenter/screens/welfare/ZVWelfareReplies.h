#pragma once
// How the welfare tab's screens read their replies, apart from the screens
// so that any reply can be tried on them. Reads go through Value's typed
// accessors only: a wrong type takes the documented road, never a crash,
// and an absent text is "".

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace ZVWelfareReplies {

inline constexpr const char* kServerError = "服务器错误";

// The VIP table of a welfare payload ("c"): the local header row
// {"item1": "等级", "item2": "充值"}, then the dictionary entries of
// "vipList" (none when it is no array).
std::vector<Value> vipRows(const Value& payload);

// A gift list reply is the array of packs itself. Anything else gives no
// packs and the message to show: the "b" of a dictionary that has one,
// else "服务器错误".
struct GiftList {
    std::optional<std::vector<Value>> packs;
    std::string message;
};
GiftList giftList(const Value& reply);

// A pack's "status" read as a flag ("1", 1, true: claimed).
bool isClaimed(const Value& pack);

// A reply of the voucher pop-up's list: its entries ("c") when "a" is 1,
// else nullopt and the message to show ("b"; "服务器错误" for a reply that
// is no dictionary).
struct Entries {
    std::optional<std::vector<Value>> entries;
    std::string message;
};
Entries couponEntries(const Value& reply);

}  // namespace ZVWelfareReplies
