#include "usercenter/screens/strategy/ZVPingModel.h"

#include <limits>

#include "platform/ui/UIScreen.h"
#include "usercenter/core/URLEncode.h"

const zv::ModelTable<ZVPingModel>& ZVPingModel::zvTable() {
    static const auto* table = [] {
        auto* t = new zv::ModelTable<ZVPingModel>();
        t->field("Id", &ZVPingModel::Id)
            .field("full_name", &ZVPingModel::full_name)
            .field("avatar", &ZVPingModel::avatar)
            .field("createtime", &ZVPingModel::createtime)
            .field("content", &ZVPingModel::content)
            .field("good", &ZVPingModel::good)
            .field("isgood", &ZVPingModel::isgood)
            .field("level", &ZVPingModel::level)
            .field("goldcoin", &ZVPingModel::goldcoin)
            .field("vippic", &ZVPingModel::vippic)
            .field("paypic", &ZVPingModel::paypic)
            .field("plpic", &ZVPingModel::plpic)
            .field("number_reply", &ZVPingModel::number_reply)
            .replacedKeys({{"Id", "id"}});
        return t;
    }();
    return *table;
}

std::vector<std::shared_ptr<ZVPingModel>> ZVPingModel::modelsOf(const std::vector<Value>& rows) {
    std::vector<std::shared_ptr<ZVPingModel>> out;
    for (auto& row : rows)
        if (auto model = zv::objectWithKeyValues<ZVPingModel>(row)) out.push_back(std::make_shared<ZVPingModel>(*model));
    return out;
}

double ZVPingModel::headH() {
    if (headH_ == 0)
        headH_ = URLEncode::getHeightWithText(content, UIScreen::mainScreen().bounds().width() - 32, 13) + 147.5;
    return headH_;
}

void ZVPingModel::addLike() {
    isgood = 1;
    long count = likes();
    good = count < std::numeric_limits<long>::max() ? count + 1 : count;  // a server's absurd count stays as it is
}

std::string ZVPingModel::ribbonPicture() const { return "zv_tab_ping_gold" + std::to_string(rewardLevel()) + ".png"; }

std::string ZVPingModel::ribbonText() const { return "奖励" + goldcoin.textValue() + "金币"; }
