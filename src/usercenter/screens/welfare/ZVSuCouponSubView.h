#pragma once
// The voucher pop-up (nib "ZVSuCouponSubView"): the player's sub-accounts
// with their claim state of one voucher, or of all vouchers when `cid` is
// empty or its integer value is 0; the player picks one and claims for it.
// It sits on a backdrop view, which it removes with itself when it closes.
// No screen opens it yet: whoever does makes it from its nib, sets `cid`,
// places it on a backdrop and calls loadData().
//
// A list reply that is no dictionary counts as a failed request; entries
// that are no dictionaries are skipped. A claim toasts on the top window
// (the panel may be gone by then), anything else on the panel.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UICollectionView.h"
#include "platform/ui/UILabel.h"

// A sub-account: its nickname, framed, and its claim state as a badge under it.
class ZVSuCouponSubViewCol : public UICollectionViewCell {
public:
    static constexpr const char* kNotClaimed = "未领";
    static constexpr const char* kPickedColour = "#4958A7";
    static constexpr const char* kBadgeColour = "#b5bcd5";

    static std::shared_ptr<ZVSuCouponSubViewCol> fromNib();
    void awakeFromNib();

    std::shared_ptr<UILabel> subL, statusL;
    const Value& dic() const { return dic_; }
    void setDic(const Value& dic);
    void setSelected(bool selected) override;
    void layoutSubviews() override;

private:
    Value dic_;
};

class ZVSuCouponSubView : public UIView, public UICollectionViewDelegate, public UICollectionViewDataSource {
public:
    static constexpr CGSize kSize{310, 316};

    static std::shared_ptr<ZVSuCouponSubView> fromNib();
    void awakeFromNib();

    std::shared_ptr<UICollectionView> collectionView;
    std::shared_ptr<UIButton> getBtn, closeBtn;
    std::vector<Value> dataSource;
    Value selectDic;  // null while nothing is picked
    std::string cid;  // "" (or any text of integer value 0): all vouchers

    // The sub-accounts' claim states.
    void loadData();
    // Claims for the picked sub-account.
    void doGet();
    // Removes the backdrop and the panel, and forgets the list and the pick.
    void doClose();

    long collectionView_numberOfItemsInSection(UICollectionView& c, long section) override;
    std::shared_ptr<UICollectionViewCell> collectionView_cellForItemAtIndexPath(UICollectionView& c,
                                                                               const NSIndexPath& ip) override;
    void collectionView_didSelectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) override;

    void layoutSubviews() override;

private:
    bool forAllVouchers() const;
    std::shared_ptr<UILabel> titleL_;
};
