#pragma once
// The user-centre screens are found by name only (the floating button asks
// for "ZVSuTabBarVC", screens for storyboard scenes and nibs), which a
// static library's linker would drop: the application calls this once so
// that the screens and their registrations are kept. Calling it does
// nothing else.

void ZVLinkUserCentreScreens();
