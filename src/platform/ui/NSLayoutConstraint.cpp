#include "platform/ui/NSLayoutConstraint.h"

void NSLayoutConstraint::setConstant(double constant) {
    if (constant == constant_) return;
    constant_ = constant;
    if (auto view = view_.lock()) view->setNeedsLayout();
}
