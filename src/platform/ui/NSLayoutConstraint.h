#pragma once
// A layout constraint as our scenes use it: scenes are laid out in code (no
// solver), so a constraint is the one number a scene's layout reads, its
// constant. Setting a new constant asks the view it belongs to for a new
// layout, as the platform's engine would re-lay the views it constrains.

#include <memory>

#include "platform/ui/UIView.h"

class NSLayoutConstraint {
public:
    // `view`: the view whose layout reads the constant (held weakly).
    NSLayoutConstraint(double constant, const std::shared_ptr<UIView>& view) : constant_(constant), view_(view) {}

    double constant() const { return constant_; }
    void setConstant(double constant);

private:
    double constant_;
    std::weak_ptr<UIView> view_;
};
