#pragma once
// One player comment (or reply) as the comment lists receive it. The list
// row and the thread header of a comment share one model object, so a like
// in one shows in the other.
//
// Numbers come as the server sends them (number or text) and are read
// forgivingly where they are used: "level" and "isgood" with intValue, the
// like count as a whole number. A "paypic" that is not a dictionary with
// entries is no paid badge.

#include <memory>
#include <string>

#include "model/ZVKeyValue.h"
#include "platform/foundation/Value.h"

struct ZVPingModel {
    Value Id;  // "id": sent as "comments_id" and "pid"
    std::string full_name, avatar, createtime, content;
    Value good, isgood, level, goldcoin;
    std::string vippic;
    Value paypic;  // {"pic": address}
    std::string plpic;
    Value number_reply;

    static const zv::ModelTable<ZVPingModel>& zvTable();
    // The rows of a reply's list as shared models (rows that are no dictionaries left out).
    static std::vector<std::shared_ptr<ZVPingModel>> modelsOf(const std::vector<Value>& rows);

    // The thread header's height: the text at screen width - 32 in 13 points,
    // plus 147.5; worked out once (setting 0 makes the next read work it out again).
    double headH();
    void setHeadH(double h) { headH_ = h; }

    bool liked() const { return isgood.intValue() != 0; }
    int64_t likes() const { return good.intValue(); }
    std::string likesText() const { return std::to_string(likes()); }
    // Counts one more like by this player.
    void addLike();
    // The reward ribbon: shown from level 1; its picture, text and text colour.
    int64_t rewardLevel() const { return level.intValue(); }
    bool hasRibbon() const { return rewardLevel() >= 1; }
    std::string ribbonPicture() const;  // "zv_tab_ping_gold<level>.png"
    std::string ribbonText() const;     // "奖励<goldcoin>金币"
    const char* ribbonColour() const { return rewardLevel() == 1 ? "#6137E7" : "#e6a04d"; }
    bool hasVipBadge() const { return !vippic.empty(); }
    bool hasPaidBadge() const { return paypic.isDict() && !paypic.empty(); }
    std::string paidBadgeURL() const { return hasPaidBadge() ? paypic["pic"].textValue() : ""; }

private:
    double headH_ = 0;
};
