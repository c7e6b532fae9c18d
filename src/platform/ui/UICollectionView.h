#pragma once
// Collection views with a flow layout: items in rows (vertical scrolling)
// or columns (horizontal), sized by the layout or its delegate, with
// spacing, section insets and header and footer supplementary views; cell
// reuse, single or multiple selection with a "should select" question,
// and scrolling to an item.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/ReusePool.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UITableView.h"
#include "platform/ui/UIViewController.h"

inline const std::string UICollectionElementKindSectionHeader = "UICollectionElementKindSectionHeader";
inline const std::string UICollectionElementKindSectionFooter = "UICollectionElementKindSectionFooter";

enum class UICollectionViewScrollDirection { Vertical, Horizontal };
enum class UICollectionViewScrollPosition { None, Top, CenteredVertically, Bottom, Left, CenteredHorizontally, Right };

class UICollectionReusableView : public UIView {
public:
    using UIView::UIView;
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(const std::string& id) { reuseIdentifier_ = id; }
    virtual void prepareForReuse() {}

private:
    std::string reuseIdentifier_;
};

class UICollectionViewCell : public UICollectionReusableView {
public:
    UICollectionViewCell();
    explicit UICollectionViewCell(const CGRect& frame);
    const std::shared_ptr<UIView>& contentView();
    std::shared_ptr<UIView> backgroundView, selectedBackgroundView;
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool s);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool h);
    void layoutSubviews() override;

private:
    std::shared_ptr<UIView> contentView_;
    bool selected_ = false, highlighted_ = false;
};

class UICollectionView;

class UICollectionViewDataSource {
public:
    virtual ~UICollectionViewDataSource() = default;
    virtual long numberOfSectionsInCollectionView(UICollectionView& c) { return 1; }
    virtual long collectionView_numberOfItemsInSection(UICollectionView& c, long section) = 0;
    virtual std::shared_ptr<UICollectionViewCell> collectionView_cellForItemAtIndexPath(UICollectionView& c,
                                                                                       const NSIndexPath& ip) = 0;
    virtual std::shared_ptr<UICollectionReusableView> collectionView_viewForSupplementaryElementOfKind(
        UICollectionView& c, const std::string& kind, const NSIndexPath& ip) {
        return nullptr;
    }
};

// The flow layout's delegate questions are optional (nullopt: use the layout's own value).
class UICollectionViewDelegate : public UIScrollViewDelegate {
public:
    virtual std::optional<bool> collectionView_shouldSelectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) { return std::nullopt; }
    virtual void collectionView_didSelectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) {}
    virtual void collectionView_didDeselectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) {}
    virtual void collectionView_willDisplayCell(UICollectionView& c, UICollectionViewCell& cell, const NSIndexPath& ip) {}
    virtual std::optional<CGSize> collectionView_layout_sizeForItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) { return std::nullopt; }
    virtual std::optional<UIEdgeInsets> collectionView_layout_insetForSectionAtIndex(UICollectionView& c, long section) { return std::nullopt; }
    virtual std::optional<double> collectionView_layout_minimumLineSpacingForSectionAtIndex(UICollectionView& c, long section) { return std::nullopt; }
    virtual std::optional<double> collectionView_layout_minimumInteritemSpacingForSectionAtIndex(UICollectionView& c, long section) { return std::nullopt; }
    virtual std::optional<CGSize> collectionView_layout_referenceSizeForHeaderInSection(UICollectionView& c, long section) { return std::nullopt; }
    virtual std::optional<CGSize> collectionView_layout_referenceSizeForFooterInSection(UICollectionView& c, long section) { return std::nullopt; }
};

class UICollectionViewFlowLayout {
public:
    UICollectionViewScrollDirection scrollDirection = UICollectionViewScrollDirection::Vertical;
    CGSize itemSize{50, 50};
    double minimumLineSpacing = 10;
    double minimumInteritemSpacing = 10;
    UIEdgeInsets sectionInset;
    CGSize headerReferenceSize, footerReferenceSize;
};

class UICollectionView : public UIScrollView {
public:
    UICollectionView(const CGRect& frame, std::shared_ptr<UICollectionViewFlowLayout> layout);

    std::weak_ptr<UICollectionViewDataSource> dataSource;
    void setDelegate(std::weak_ptr<UICollectionViewDelegate> d);
    std::shared_ptr<UICollectionViewDelegate> collectionDelegate() const { return collectionDelegate_.lock(); }
    const std::shared_ptr<UICollectionViewFlowLayout>& collectionViewLayout() const { return layout_; }
    void setCollectionViewLayout(std::shared_ptr<UICollectionViewFlowLayout> layout);
    bool allowsSelection = true, allowsMultipleSelection = false;

    void registerClass(const std::string& identifier, std::function<std::shared_ptr<UICollectionViewCell>()> factory);
    void registerSupplementaryClass(const std::string& kind, const std::string& identifier,
                                    std::function<std::shared_ptr<UICollectionReusableView>()> factory);
    std::shared_ptr<UICollectionViewCell> dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                               const NSIndexPath& ip);
    std::shared_ptr<UICollectionReusableView> dequeueReusableSupplementaryViewOfKind(const std::string& kind,
                                                                                    const std::string& identifier,
                                                                                    const NSIndexPath& ip);
    size_t createdCellCount() const { return pool_.created(); }

    void reloadData();
    void invalidateLayout();
    long numberOfSections() const { return long(items_.size()); }
    long numberOfItemsInSection(long section) const;
    CGRect frameForItemAtIndexPath(const NSIndexPath& ip) const;
    std::optional<NSIndexPath> indexPathForItemAtPoint(CGPoint p) const;
    std::optional<NSIndexPath> indexPathForCell(const UICollectionViewCell& cell) const;
    std::shared_ptr<UICollectionViewCell> cellForItemAtIndexPath(const NSIndexPath& ip) const;
    std::vector<std::shared_ptr<UICollectionViewCell>> visibleCells() const;
    std::vector<NSIndexPath> indexPathsForVisibleItems() const;
    // The supplementary view shown for a kind and section, if in view.
    std::shared_ptr<UICollectionReusableView> supplementaryViewForElementKind(const std::string& kind, long section) const;
    void scrollToItemAtIndexPath(const NSIndexPath& ip, UICollectionViewScrollPosition position, bool animated);

    void selectItemAtIndexPath(const NSIndexPath& ip, bool animated, UICollectionViewScrollPosition position);
    void deselectItemAtIndexPath(const NSIndexPath& ip, bool animated);
    std::vector<NSIndexPath> indexPathsForSelectedItems() const { return {selected_.begin(), selected_.end()}; }

    void layoutSubviews() override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    void computeLayout();
    void updateVisible();
    void retire(const NSIndexPath& ip);

    std::shared_ptr<UICollectionViewFlowLayout> layout_;
    std::weak_ptr<UICollectionViewDelegate> collectionDelegate_;
    std::vector<std::vector<CGRect>> items_;
    std::vector<CGRect> headers_, footers_;
    bool needsLayout_ = true;
    double layoutWidth_ = -1, layoutHeight_ = -1;
    std::map<NSIndexPath, std::shared_ptr<UICollectionViewCell>> visible_;
    std::map<std::pair<std::string, long>, std::shared_ptr<UICollectionReusableView>> supplementary_;
    std::set<NSIndexPath> selected_;
    std::optional<NSIndexPath> touched_;
    ReusePool pool_;
    std::map<std::string, ReusePool> supplementaryPools_;
};

class UICollectionViewController : public UIViewController, public UICollectionViewDataSource, public UICollectionViewDelegate {
public:
    explicit UICollectionViewController(std::shared_ptr<UICollectionViewFlowLayout> layout = nullptr);
    std::shared_ptr<UICollectionView> collectionView();
    void loadView() override;
    long collectionView_numberOfItemsInSection(UICollectionView&, long) override { return 0; }
    std::shared_ptr<UICollectionViewCell> collectionView_cellForItemAtIndexPath(UICollectionView&, const NSIndexPath&) override {
        return std::make_shared<UICollectionViewCell>();
    }

private:
    std::shared_ptr<UICollectionViewFlowLayout> layout_;
};
