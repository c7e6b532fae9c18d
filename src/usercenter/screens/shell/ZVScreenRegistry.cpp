// Every class of the user-centre screens found by name registers here, in
// the one object file the application keeps.

#include "platform/foundation/NSObject.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/screens/welfare/ZVActivityVC.h"
#include "usercenter/screens/common/ZVButtonExtension.h"
#include "usercenter/screens/welfare/ZVGiftVC.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/panels/ZVLoginWebView.h"
#include "usercenter/screens/panels/ZVLoginWindowPanels.h"
#include "usercenter/screens/strategy/ZVPingViews.h"
#include "usercenter/screens/shell/ZVScreenRegistry.h"
#include "usercenter/screens/welfare/ZVServerVC.h"
#include "usercenter/screens/strategy/ZVStrategyVC.h"
#include "usercenter/screens/account/ZVSuBillVC.h"
#include "usercenter/screens/welfare/ZVSuCouponSubView.h"
#include "usercenter/screens/account/ZVSuCouponVC.h"
#include "usercenter/screens/panels/ZVSuForgetView.h"
#include "usercenter/screens/account/ZVSuMyCouponVC.h"
#include "usercenter/screens/account/ZVSuOrderVC.h"
#include "usercenter/screens/account/ZVSuSubNameVC.h"
#include "usercenter/screens/shell/ZVSuTabBarVC.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/account/ZVSuWalletVC.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"
#include "usercenter/screens/account/ZVUserMsgVC.h"
#include "usercenter/screens/welfare/ZVWelfareVC.h"

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
