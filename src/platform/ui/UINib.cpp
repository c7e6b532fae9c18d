#include "platform/ui/UINib.h"

std::shared_ptr<UINib> UINib::nibWithNibName(const std::string& name) {
    auto layout = ClassRegistry::createAs<UINibLayout>(name);
    return layout ? std::make_shared<UINib>(std::move(layout)) : nullptr;
}

std::vector<std::shared_ptr<UIView>> UINib::instantiateWithOwner(NSObject* owner) const {
    return layout_->instantiateWithOwner(owner);
}
