#include "platform/ui/UIScreen.h"

UIScreen& UIScreen::mainScreen() {
    static UIScreen* s = new UIScreen();
    return *s;
}

CGRect UIScreen::bounds() const {
    return profile_ == Profile::Compact ? CGRect(0, 0, 375, 667) : CGRect(0, 0, 375, 812);
}
