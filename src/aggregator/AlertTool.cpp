#include "aggregator/AlertTool.h"

#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"

namespace {

// The highest window on screen, the emulated keyboard aside.
std::shared_ptr<UIWindow> topWindow() {
    auto windows = UIApplication::sharedApplication().windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!(*it)->isHidden() && (*it)->windowLevel() < UIWindowLevelKeyboard) return *it;
    return nullptr;
}

}  // namespace

std::shared_ptr<UIViewController> AlertTool::topPresenter(std::shared_ptr<UIViewController> root) {
    while (root) {
        auto next = root->presentedViewController();
        if (!next || next->isBeingDismissed()) break;
        root = next;
    }
    return root;
}

void AlertTool::showAlertArrayWith(const std::shared_ptr<UIViewController>& controller, const std::string& title,
                                   const std::string& message, Action action,
                                   const std::vector<std::string>& buttonTitles) {
    auto presenter = topPresenter(controller);
    auto window = presenter ? presenter->viewWindow() : nullptr;
    if (window && window == topWindow()) {
        auto alert = UIAlertController::alertControllerWithTitle(title, message, UIAlertControllerStyle::Alert);
        for (size_t i = 0; i < buttonTitles.size(); ++i)
            alert->addAction(UIAlertAction::actionWithTitle(buttonTitles[i], UIAlertActionStyle::Default,
                                                            [action, i](UIAlertAction&) {
                                                                if (action) action(long(i));
                                                            }));
        presenter->presentViewController(alert, true);
        return;
    }
    auto alert = std::make_shared<UIAlertView>(title, message);
    for (auto& t : buttonTitles) alert->addButtonWithTitle(t);
    alert->clickBlock = [action](long index) {
        if (action) action(index);
    };
    alert->show();
}

std::string AlertTool::showAlertStringWihtCode(const Value& dict) {
    switch (dict.integer("code")) {
    case -1: return "密码错误";
    case -2: return "用户不存在";
    case -10: return "需要登录或登录已超时";
    case -11: return "短信验证码超时";
    case -12: return "短信验证码不正确";
    case -13: return "该手机已注册";
    case -14: return "服务器注册异常";
    case -100: return "不支持该操作";
    case -1002: return "版本不匹配";
    case -1101: return "昵称已存在";
    case -1102: return "该信息(手机号、微信、微博、QQ)已绑定其他账号";
    case -1104: return "您已成功参与该活动";
    case -1300: return "查询数据为空";
    default: return dict.text("message");
    }
}
