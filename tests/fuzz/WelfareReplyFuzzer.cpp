// Replies of the welfare tab's screens: any JSON text, read as the welfare
// page, the gift list and the voucher pop-up read it. The VIP table always
// starts with its header row and holds only dictionaries; a gift list has
// packs exactly when the reply is an array, else a message to show; the
// pop-up's entries come only from a dictionary whose "a" the reply models
// read as 1 ("1cC..." is no status).

#include "FuzzSupport.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/welfare/ZVWelfareReplies.h"

using namespace ZVWelfareReplies;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto reply = Value::fromJSON(fuzz::text(data, size));
    if (!reply) return 0;
    auto rows = vipRows((*reply)["c"]);
    FUZZ_CHECK(!rows.empty() && rows[0].text("item1") == "等级");
    FUZZ_CHECK(rows.size() <= 1 + (*reply)["c"]["vipList"].size());
    for (auto& row : rows) FUZZ_CHECK(row.isDict());

    auto list = giftList(*reply);
    FUZZ_CHECK(list.packs.has_value() == reply->isArray());
    if (list.packs) {
        FUZZ_CHECK(list.packs->size() <= reply->size());
        for (auto& pack : *list.packs) FUZZ_CHECK(pack.isDict() && isClaimed(pack) == pack["status"].boolValue());
    } else {
        FUZZ_CHECK(!list.message.empty() || (*reply)["b"].textValue().empty());
    }

    auto entries = couponEntries(*reply);
    FUZZ_CHECK(entries.entries.has_value() == (reply->isDict() && ZVReplySucceeded(*reply, "a")));
    if (!reply->isDict()) FUZZ_CHECK(entries.message == kServerError);
    return 0;
}
