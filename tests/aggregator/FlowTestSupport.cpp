#include "FlowTestSupport.h"

namespace flowtest {

std::vector<std::string>& hooks() {
    static std::vector<std::string> h;
    return h;
}

namespace {

// Records the hooks of the flows.
class FlowWatcher : public NSObject, public RelaySDKPlugNodes {
public:
    std::string className() const override { return "FlowWatcher"; }
    void willLogin(const Value&) override { hooks().push_back("willLogin"); }
    void loginDone(const Value&, const Value& info) override { hooks().push_back("loginDone " + info.text("userId")); }
    void checkLoginResult(const Value&, const Value& reply) override {
        hooks().push_back("checkLoginResult " + reply["error"].text("id"));
    }
    void willRecharge(const Value&, const RUVURazuzEVEPayOrderInfo& order, const RUVURazuzEVEGameRoleInfo& role) override {
        hooks().push_back("willRecharge " + order.cpOrderID() + " " + role.gameRoleID());
    }
    void relayGetOrderResult(const Value&, const Value& reply) override {
        hooks().push_back("relayGetOrderResult " + reply["data"].text("order_id"));
    }
    void willRechargeOrdered(const Value&, const RUVURazuzEVEPayOrderInfo& order, const RUVURazuzEVEGameRoleInfo&,
                             const std::string& orderId) override {
        hooks().push_back("willRechargeOrdered " + order.cpOrderID() + " " + orderId);
    }
    void rechargeOver(const Value&, const Value& info) override { hooks().push_back("rechargeOver " + info.text("orderId")); }
    void createRoleInfo(const Value&, const RUVURazuzEVEGameRoleInfo& role) override {
        hooks().push_back("createRoleInfo " + role.gameRoleID());
    }
    void enterGameRoleInfo(const Value&, const RUVURazuzEVEGameRoleInfo& role) override {
        hooks().push_back("enterGameRoleInfo " + role.gameRoleID());
    }
    void updateRoleInfo(const Value&, const RUVURazuzEVEGameRoleInfo& role) override {
        hooks().push_back("updateRoleInfo " + role.gameRoleID());
    }
    void comfirmAbleCreatRoleWithResult(const Value&, const Value& cutOff, const std::string& created) override {
        hooks().push_back("cutOff " + cutOff["data"].text("created_at") + " " + created);
    }
};

}  // namespace
}  // namespace flowtest

using flowtest::FlowWatcher;
REGISTER_RELAY_PLUGIN(FlowWatcher)
