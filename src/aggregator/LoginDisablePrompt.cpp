#include "aggregator/LoginDisablePrompt.h"

#include "aggregator/AlertTool.h"
#include "aggregator/RelayExit.h"
#include "aggregator/RelayReply.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIApplication.h"

namespace {

// The first of the application's windows: the game's own.
std::shared_ptr<UIViewController> gameController() {
    auto windows = UIApplication::sharedApplication().windows();
    return windows.empty() ? nullptr : windows.front()->rootViewController();
}

void prompt(const std::string& message, bool endsProcess) {
    AlertTool::showAlertArrayWith(
        gameController(), "提示", message,
        [endsProcess](long) {
            if (endsProcess) relayExitProcess(0);
        },
        {"确定"});
}

// A number in seconds, from a number or a numeric text; 0 for anything else.
double seconds(const Value& v) {
    if (auto n = v.getNumber(); n && !v.isBool()) return *n;
    if (auto s = v.getString()) return strings::leadingDouble(strings::trim(*s));
    return 0;
}

}  // namespace

std::shared_ptr<LoginDisablePrompt> LoginDisablePrompt::sharedInstance() {
    static auto* instance = new std::shared_ptr<LoginDisablePrompt>(std::make_shared<LoginDisablePrompt>());
    return *instance;
}

void LoginDisablePrompt::registerPlugin() {
    if (!ClassRegistry::isRegistered("LoginDisablePrompt"))
        ClassRegistry::registerClass("LoginDisablePrompt", [] { return sharedInstance(); });
}

void LoginDisablePrompt::checkLoginResult(const Value&, const Value& reply) {
    if (RelayReply::errorId(reply) != 30001) return;
    NSLog("RLLog:the server refused the login");
    prompt(RelayReply::errorMessage(reply), true);
}

void LoginDisablePrompt::relayGetOrderResult(const Value&, const Value& reply) {
    if (RelayReply::errorId(reply) != 1000) return;
    prompt(RelayReply::errorMessage(reply), false);
}

void LoginDisablePrompt::comfirmAbleCreatRoleWithResult(const Value&, const Value& cutOff,
                                                        const std::string& creationTime) {
    double created = strings::leadingDouble(strings::trim(creationTime));
    if (created == 0) return;
    double limit = seconds(cutOff["data"]["created_at"]);
    if (limit == 0 || created < limit) return;
    std::string message = cutOff["error"]["message"].stringOr();
    prompt(message.empty() ? kNewRoleCutOffMessage : message, true);
}
