#include "plugin/iOS/RAZ5Orered/UIAlertViewController.h"

#include "plugin/iOS/RAZ5Orered/SysPlugin.h"

namespace {

std::shared_ptr<UIAlertViewController>& instance() {
    static auto* current = new std::shared_ptr<UIAlertViewController>();
    return *current;
}

}  // namespace

bool UIAlertViewController::CreateWithTitle(const std::optional<std::string>& title,
                                            const std::optional<std::string>& message) {
    if (!title || !message) return false;
    auto& current = instance();
    if (!current) {
        current = std::make_shared<UIAlertViewController>();
        current->alertView = std::make_shared<UIAlertView>(*title, *message, current);
    }
    return true;
}

bool UIAlertViewController::AddButton(const std::optional<std::string>& title) {
    auto& current = instance();
    if (!title || !current) return false;
    current->alertView->addButtonWithTitle(*title);
    return true;
}

bool UIAlertViewController::Show() {
    auto& current = instance();
    if (!current) return false;
    current->alertView->show();
    return true;
}

std::shared_ptr<UIAlertView> UIAlertViewController::current() {
    auto& c = instance();
    return c ? c->alertView : nullptr;
}

void UIAlertViewController::alertView_clickedButtonAtIndex(UIAlertView&, long index) {
    SysPlugin::OnAlertViewClick(int(index));
}

void UIAlertViewController::alertViewCancel(UIAlertView&) { SysPlugin::OnAlertViewClick(-1); }

void UIAlertViewController::alertView_didDismissWithButtonIndex(UIAlertView& alert, long) {
    alert.delegate.reset();
    auto& current = instance();
    if (current && current->alertView.get() == &alert) {
        current->alertView.reset();
        current.reset();
    }
}
