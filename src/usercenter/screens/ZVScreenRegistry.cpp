// Every class of the user-centre screens found by name registers here, in
// the one object file the application keeps.

#include "platform/foundation/NSObject.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/screens/ZVActivityVC.h"
#include "usercenter/screens/ZVButtonExtension.h"
#include "usercenter/screens/ZVGiftVC.h"
#include "usercenter/screens/ZVLoginRzView.h"
#include "usercenter/screens/ZVLoginWebView.h"
#include "usercenter/screens/ZVLoginWindowPanels.h"
#include "usercenter/screens/ZVPingViews.h"
#include "usercenter/screens/ZVScreenRegistry.h"
#include "usercenter/screens/ZVServerVC.h"
#include "usercenter/screens/ZVStrategyVC.h"
#include "usercenter/screens/ZVSuBillVC.h"
#include "usercenter/screens/ZVSuCouponSubView.h"
#include "usercenter/screens/ZVSuCouponVC.h"
#include "usercenter/screens/ZVSuForgetView.h"
#include "usercenter/screens/ZVSuMyCouponVC.h"
#include "usercenter/screens/ZVSuOrderVC.h"
#include "usercenter/screens/ZVSuSubNameVC.h"
#include "usercenter/screens/ZVSuTabBarVC.h"
#include "usercenter/screens/ZVSuUserVC.h"
#include "usercenter/screens/ZVSuWalletVC.h"
#include "usercenter/screens/ZVSuWebVC.h"
#include "usercenter/screens/ZVUserMsgVC.h"
#include "usercenter/screens/ZVWelfareVC.h"

// The user centre, as the floating button asks for it.
REGISTER_CLASS(ZVSuTabBarVC)
// The login window's panels, as the login window asks for them.
REGISTER_CLASS_AS(ZVLoginWindowPanels, kZVLoginPanelsClassName)

// Scenes of the storyboard "ZVSuTabBarVC".
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVSuUserVC", ZVSuUserVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVSuWebVC", ZVSuWebVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVServerVC", ZVServerVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVWelfareVC", ZVWelfareVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVGiftVC", ZVGiftVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVSuBillVC", ZVSuBillVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVSuCouponVC", ZVSuCouponVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVSuWalletVC", ZVSuWalletVC)
REGISTER_STORYBOARD_SCENE("ZVSuTabBarVC", "ZVSuSubNameVC", ZVSuSubNameVC)

// Nibs of the SDK bundle: the view made and awoken as its nib would.
#define REGISTER_NIB(Class)                                                                              \
    namespace {                                                                                           \
    const bool nib_##Class = (ClassRegistry::registerClass(#Class, [] { return Class::fromNib(); }), true); \
    }
REGISTER_NIB(ZVServerCell)
REGISTER_NIB(ZVStrategyCell)
REGISTER_NIB(ZVActivityCell)
REGISTER_NIB(CXRImageTitleBtn)
REGISTER_NIB(ZVWelfareVipCell)
REGISTER_NIB(ZVGiftCell)
REGISTER_NIB(ZVSuCouponSubView)
REGISTER_NIB(ZVSuCouponSubViewCol)
REGISTER_NIB(ZVLoginRzView)
REGISTER_NIB(ZVSuRzView)
REGISTER_NIB(ZVSuForgetView)
REGISTER_NIB(ZVSuJieView)
REGISTER_NIB(ZVLoginWebView)
REGISTER_NIB(ZVUserMsgCell)
REGISTER_NIB(ZVSuOrderCell)
REGISTER_NIB(ZVSuBillCell)
REGISTER_NIB(ZVSuCouponCell)
REGISTER_NIB(ZVSuMyCouponCell)
REGISTER_NIB(ZVPingCell)
REGISTER_NIB(ZVPingTwoHead)
REGISTER_NIB(ZVPingTwoCell)

void ZVLinkUserCentreScreens() {}
