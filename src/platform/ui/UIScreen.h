#pragma once
// The screen: one of two device profiles, in points, drawn at scale 2.
// The scale is the graphics layer's kMainScreenScale: one value, which
// tests may set to 1 or 3.

#include "platform/graphics/CGContext.h"
#include "platform/ui/Geometry.h"

class UIScreen {
public:
    enum class Profile {
        Compact,  // 375 x 667: status bar 20, navigation bar top 64, tab bar 49
        Tall,     // 375 x 812: safe-area insets 44 and 34, navigation bar top 88, tab bar 83
    };

    static UIScreen& mainScreen();

    CGRect bounds() const;
    double scale() const { return kMainScreenScale; }
    void setScale(double scale) { kMainScreenScale.set(scale); }
    Profile profile() const { return profile_; }
    void setProfile(Profile p) { profile_ = p; }

    double statusBarHeight() const { return profile_ == Profile::Compact ? 20 : 44; }
    double navigationBarTop() const { return profile_ == Profile::Compact ? 64 : 88; }
    double tabBarHeight() const { return profile_ == Profile::Compact ? 49 : 83; }
    UIEdgeInsets safeAreaInsets() const {
        return profile_ == Profile::Compact ? UIEdgeInsets{20, 0, 0, 0} : UIEdgeInsets{44, 0, 34, 0};
    }

private:
    Profile profile_ = Profile::Compact;
};
