#pragma once
// The plain records the game hands to the aggregator SDK: the start
// configuration, the role, the order and the share request. Setters take the
// page's JSON values as they come (texts, numbers, JSON null, nothing) and
// normalise them, so that every field can go to the servers as text without
// further checks. An absent text is "", never a "(null)" marker.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class RUVURazuzEVEInitConfigure : public NSObject {
public:
    const std::string& productCode() const { return productCode_; }
    const std::string& productKey() const { return productKey_; }
    void setProductCode(std::string v) { productCode_ = std::move(v); }
    void setProductKey(std::string v) { productKey_ = std::move(v); }
    std::string className() const override { return "RUVURazuzEVEInitConfigure"; }

private:
    std::string productCode_, productKey_;
};

class RUVURazuzEVEGameRoleInfo : public NSObject {
public:
    // Whole seconds since 1970; a value of 13 digits (milliseconds) is
    // divided by 1000. JSON null reads "", never set reads "0".
    std::string creatTime() const { return creatTime_.value_or("0"); }
    void setCreatTime(const Value& v);

    const std::string& serverId() const { return serverId_; }
    void setServerId(const Value& v) { serverId_ = v.textValue(); }
    const std::string& serverName() const { return serverName_; }
    void setServerName(const Value& v) { serverName_ = v.textValue(); }
    const std::string& gameRoleName() const { return gameRoleName_; }
    void setGameRoleName(const Value& v) { gameRoleName_ = v.textValue(); }
    const std::string& gameRoleID() const { return gameRoleID_; }
    void setGameRoleID(const Value& v) { gameRoleID_ = v.textValue(); }
    const std::string& partyName() const { return partyName_; }
    void setPartyName(const Value& v) { partyName_ = v.textValue(); }
    const std::string& partyId() const { return partyId_; }
    void setPartyId(const Value& v) { partyId_ = v.textValue(); }
    const std::string& professionId() const { return professionId_; }
    void setProfessionId(const Value& v) { professionId_ = v.textValue(); }
    const std::string& profession() const { return profession_; }
    void setProfession(const Value& v) { profession_ = v.textValue(); }
    const std::string& partyRoleId() const { return partyRoleId_; }
    void setPartyRoleId(const Value& v) { partyRoleId_ = v.textValue(); }
    const std::string& partyRoleName() const { return partyRoleName_; }
    void setPartyRoleName(const Value& v) { partyRoleName_ = v.textValue(); }

    // Read "0" (gender: "男") while unset or JSON null.
    std::string gameUserBalance() const { return orDefault(gameUserBalance_, "0"); }
    void setGameUserBalance(const Value& v) { gameUserBalance_ = v; }
    std::string vipLevel() const { return orDefault(vipLevel_, "0"); }
    void setVipLevel(const Value& v) { vipLevel_ = v; }
    std::string gameUserLevel() const { return orDefault(gameUserLevel_, "0"); }
    void setGameUserLevel(const Value& v) { gameUserLevel_ = v; }
    std::string fightPower() const { return orDefault(fightPower_, "0"); }
    void setFightPower(const Value& v) { fightPower_ = v; }
    std::string roleGender() const { return orDefault(roleGender_, "男"); }
    void setRoleGender(const Value& v) { roleGender_ = v; }

    std::string description() const;
    std::string className() const override { return "RUVURazuzEVEGameRoleInfo"; }

private:
    static std::string orDefault(const Value& v, const char* fallback) {
        return v.isNull() ? fallback : v.textValue();
    }
    std::optional<std::string> creatTime_;
    std::string serverId_, serverName_, gameRoleName_, gameRoleID_, partyName_, partyId_;
    std::string professionId_, profession_, partyRoleId_, partyRoleName_;
    Value gameUserBalance_, vipLevel_, gameUserLevel_, fightPower_, roleGender_;
};

class RUVURazuzEVEPayOrderInfo : public NSObject {
public:
    static std::shared_ptr<RUVURazuzEVEPayOrderInfo> info() { return std::make_shared<RUVURazuzEVEPayOrderInfo>(); }

    double amount() const { return amount_; }
    void setAmount(double v) { amount_ = v; }
    double price() const { return price_; }
    void setPrice(double v) { price_ = v; }
    uint64_t count() const { return count_; }
    void setCount(uint64_t v) { count_ = v; }
    // From the page's JSON: a negative, fractional or non-numeric count is
    // refused (false) and the count stays as it was.
    bool setCount(const Value& v);

    const std::string& goodsID() const { return goodsID_; }
    void setGoodsID(const Value& v) { goodsID_ = v.textValue(); }
    const std::string& productName() const { return productName_; }
    void setProductName(const Value& v) { productName_ = v.textValue(); }
    const std::string& cpOrderID() const { return cpOrderID_; }
    void setCpOrderID(const Value& v) { cpOrderID_ = v.textValue(); }
    const std::string& quantifier() const { return quantifier_; }
    void setQuantifier(const Value& v) { quantifier_ = v.textValue(); }

    const std::string& callbackUrl() const { return callbackUrl_; }
    void setCallbackUrl(std::string v) { callbackUrl_ = std::move(v); }
    const std::string& extrasParams() const { return extrasParams_; }
    void setExtrasParams(std::string v) { extrasParams_ = std::move(v); }
    const std::string& productDesc() const { return productDesc_; }
    void setProductDesc(std::string v) { productDesc_ = std::move(v); }

    std::string description() const;
    std::string className() const override { return "RUVURazuzEVEPayOrderInfo"; }

private:
    double amount_ = 0, price_ = 0;
    uint64_t count_ = 0;
    std::string goodsID_, productName_, cpOrderID_, quantifier_, callbackUrl_, extrasParams_, productDesc_;
};

class RUVURazuzEVEShareInfo : public NSObject {
public:
    double width = 0, height = 0;
    std::string type, title, content, imgPath, filePath, imgUrl, sencetype, url, shareTo, extenal;
    std::string className() const override { return "RUVURazuzEVEShareInfo"; }
};
