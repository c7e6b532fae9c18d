#pragma once
// How a comment shows: the list row (a card), the thread's header (the
// comment itself, with its like button), and a reply row. All share the
// parts of ZVPingParts: avatar, name, time, text, VIP and paid badges (the
// paid badge 5 points after the name without a VIP badge, 60 with one),
// and, on the row and the header, the like count and button and the
// reward ribbon turned by -45° in the bottom right corner.
//
// A like changes the model the view showed when it was tapped (the row and
// the header share it); the view shows the change only while it still
// shows that model. A like that fails or is refused changes nothing.
// A tap on the paid badge opens the title-level help page. Main thread only.

#include <memory>
#include <string>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UITableView.h"
#include "platform/ui/UIViewController.h"
#include "usercenter/screens/strategy/ZVPingModel.h"

// Opens a publisher page (under the API base URL) in the user centre's web
// page, pushed onto `from`'s navigation stack.
void ZVPingOpenPage(UIViewController* from, const std::string& title, const std::string& path);

class ZVPingParts {
public:
    static constexpr const char* kTitleHelpName = "用户头衔等级说明";
    virtual ~ZVPingParts() = default;

    std::shared_ptr<UIImageView> iconView, vipPic, payPic;
    std::shared_ptr<UILabel> nameL, timeL, showL;
    double payPicLeft = 5;  // from the name's end to the paid badge
    // The like and the ribbon (not on reply rows). The like count, the like
    // icon and the ribbon's picture go by other names on the list row and
    // on the thread's header (see there).
    std::shared_ptr<UIButton> goodBtn;
    // The small text of the list (the time, the like count), and the
    // ribbon's, in bold.
    static constexpr double kSmallText = 12;
    // The ribbon: a band kRibbonBand thick turned 45° across the bottom
    // right corner of a clipped square box sized to its text: the band's
    // outer edge holds the text whole with kRibbonPad at each end, and the
    // band's ends lie on the box's right and bottom edges. A text wider
    // than kRibbonTextMost (an absurd reward) shrinks to that width.
    static constexpr double kRibbonBand = 20, kRibbonPad = 4, kRibbonTextMost = 120;
    struct Ribbon {
        double side;    // of the box
        double centre;  // of the band, from the box's top left along both axes
        double length;  // of the band's picture, end to end across the box
    };
    // A point of the box's area whose insets from the area's right and
    // bottom edges add up to at least `side` lies clear of the band.
    static Ribbon ribbonFor(double textWidth, double lineHeight);
    // The ribbon of the model shown now (its text measured at the ribbon's font).
    Ribbon ribbon() const;
    std::shared_ptr<UIView> goldView;
    std::shared_ptr<UILabel> goldL;

    const std::shared_ptr<ZVPingModel>& model() const { return model_; }
    std::weak_ptr<UIViewController> myVC;

    void doGoodBtnClick();
    void goToWebVc();

protected:
    // Makes the parts inside `into` (with the like and the ribbon when asked).
    void buildParts(UIView& into, bool withLike);
    void fillParts(std::shared_ptr<ZVPingModel> model);
    // Name, badges and time beside an avatar of `side` points at (x, y).
    void layoutHeading(double x, double y, double side, double likeRight);
    // The ribbon's box in the bottom right corner of an area.
    void layoutRibbon(const CGRect& area);
    // The view that owns the parts (for the like's weak hold).
    virtual std::shared_ptr<UIView> ownerView() = 0;

    std::shared_ptr<UILabel> likeCount_;
    std::shared_ptr<UIImageView> likeIcon_, ribbonPicture_;

private:
    void showLike();
    std::shared_ptr<ZVPingModel> model_;
};

// A row of the comment list: a card with a shadow.
class ZVPingCell : public UITableViewCell, public ZVPingParts {
public:
    static constexpr const char* kIdentifier = "ZVPingCell";
    explicit ZVPingCell(UITableViewCellStyle style = UITableViewCellStyle::Default, std::string identifier = kIdentifier);
    static std::shared_ptr<ZVPingCell> fromNib();
    void awakeFromNib();

    std::shared_ptr<UIView> bgView;
    std::shared_ptr<UILabel>& numberL = likeCount_;
    std::shared_ptr<UIImageView>& goodIcon = likeIcon_;
    std::shared_ptr<UIImageView>& goldPicView = ribbonPicture_;
    void setModel(std::shared_ptr<ZVPingModel> model) { fillParts(std::move(model)); setNeedsLayout(); }

    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) const override;

protected:
    std::shared_ptr<UIView> ownerView() override { return sharedView(); }
};

// The thread's table header: the comment in full, with its like.
class ZVPingTwoHead : public UIView, public ZVPingParts {
public:
    static std::shared_ptr<ZVPingTwoHead> fromNib();
    void awakeFromNib();
    std::shared_ptr<UILabel>& goodL = likeCount_;
    std::shared_ptr<UIImageView>& goodPic = likeIcon_;
    std::shared_ptr<UIImageView>& goldPic = ribbonPicture_;
    void setModel(std::shared_ptr<ZVPingModel> model) { fillParts(std::move(model)); setNeedsLayout(); }
    // The model's header height, or taller for its ribbon.
    CGSize sizeThatFits(CGSize size) const override;
    void layoutSubviews() override;

protected:
    std::shared_ptr<UIView> ownerView() override { return sharedView(); }
};

// A reply row of the thread: no like, no ribbon.
class ZVPingTwoCell : public UITableViewCell, public ZVPingParts {
public:
    static constexpr const char* kIdentifier = "ZVPingTwoCell";
    explicit ZVPingTwoCell(UITableViewCellStyle style = UITableViewCellStyle::Default, std::string identifier = kIdentifier);
    static std::shared_ptr<ZVPingTwoCell> fromNib();
    void awakeFromNib();
    void setModel(std::shared_ptr<ZVPingModel> model) { fillParts(std::move(model)); setNeedsLayout(); }
    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;

protected:
    std::shared_ptr<UIView> ownerView() override { return sharedView(); }
};
