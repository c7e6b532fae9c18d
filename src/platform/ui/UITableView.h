#pragma once
// Table views: sections of rows with fixed, per-row or self-sizing heights,
// header and footer views, cell reuse (only the cells in view exist, plus
// those waiting in the reuse queues), tap selection (single or multiple)
// and scrolling to rows. Section headers scroll with the content.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/ReusePool.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UIViewController.h"

struct NSIndexPath {
    long section = 0;
    long row = 0;
    long item() const { return row; }
    static NSIndexPath indexPathForRow(long row, long section) { return {section, row}; }
    static NSIndexPath indexPathForItem(long item, long section) { return {section, item}; }
    bool operator==(const NSIndexPath& o) const { return section == o.section && row == o.row; }
    bool operator!=(const NSIndexPath& o) const { return !(*this == o); }
    bool operator<(const NSIndexPath& o) const { return section != o.section ? section < o.section : row < o.row; }
};

inline constexpr double UITableViewAutomaticDimension = -1;

enum class UITableViewStyle { Plain, Grouped };
enum class UITableViewCellStyle { Default, Value1, Value2, Subtitle };
enum class UITableViewCellSelectionStyle { None, Blue, Gray, Default };
enum class UITableViewCellAccessoryType { None, DisclosureIndicator, DetailDisclosureButton, Checkmark };
enum class UITableViewCellSeparatorStyle { None, SingleLine };
enum class UITableViewScrollPosition { None, Top, Middle, Bottom };

class UITableViewCell : public UIView {
public:
    explicit UITableViewCell(UITableViewCellStyle style = UITableViewCellStyle::Default, std::string reuseIdentifier = "");

    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(const std::string& id) { reuseIdentifier_ = id; }
    // Subviews of a cell go into its content view.
    const std::shared_ptr<UIView>& contentView();
    const std::shared_ptr<UILabel>& textLabel();
    const std::shared_ptr<UILabel>& detailTextLabel();
    const std::shared_ptr<UIImageView>& imageView();
    UITableViewCellSelectionStyle selectionStyle = UITableViewCellSelectionStyle::Default;
    UITableViewCellAccessoryType accessoryType = UITableViewCellAccessoryType::None;
    std::shared_ptr<UIView> backgroundView, selectedBackgroundView;

    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected, bool animated = false);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted, bool animated = false);
    virtual void prepareForReuse() {}

    void layoutSubviews() override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    // Self-sizing: the default is the bottom of the lowest content subview (at least 44).
    CGSize sizeThatFits(CGSize size) const override;

    // Set by the table: the line under the cell.
    bool showsSeparator = false;
    double separatorLeft = 15;
    UIColor separatorColor = UIColor::colorWithWhite(0.78);

private:
    UITableViewCellStyle style_;
    std::string reuseIdentifier_;
    std::shared_ptr<UIView> contentView_;
    std::shared_ptr<UILabel> textLabel_, detailTextLabel_;
    std::shared_ptr<UIImageView> imageView_;
    bool selected_ = false, highlighted_ = false;
};

class UITableView;

class UITableViewDataSource {
public:
    virtual ~UITableViewDataSource() = default;
    virtual long numberOfSectionsInTableView(UITableView& t) { return 1; }
    virtual long tableView_numberOfRowsInSection(UITableView& t, long section) = 0;
    virtual std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) = 0;
    virtual std::string tableView_titleForHeaderInSection(UITableView& t, long section) { return ""; }
};

class UITableViewDelegate : public UIScrollViewDelegate {
public:
    // Optional questions answer nullopt / nullptr when not implemented.
    virtual std::optional<double> tableView_heightForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) { return std::nullopt; }
    virtual std::optional<double> tableView_heightForHeaderInSection(UITableView& t, long section) { return std::nullopt; }
    virtual std::optional<double> tableView_heightForFooterInSection(UITableView& t, long section) { return std::nullopt; }
    virtual std::shared_ptr<UIView> tableView_viewForHeaderInSection(UITableView& t, long section) { return nullptr; }
    virtual std::shared_ptr<UIView> tableView_viewForFooterInSection(UITableView& t, long section) { return nullptr; }
    virtual void tableView_willDisplayCell(UITableView& t, UITableViewCell& cell, const NSIndexPath& ip) {}
    virtual bool tableView_shouldHighlightRowAtIndexPath(UITableView& t, const NSIndexPath& ip) { return true; }
    virtual void tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {}
    virtual void tableView_didDeselectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {}
};

class UITableView : public UIScrollView {
public:
    explicit UITableView(const CGRect& frame = CGRect(), UITableViewStyle style = UITableViewStyle::Plain);

    UITableViewStyle style() const { return style_; }
    std::weak_ptr<UITableViewDataSource> dataSource;
    void setDelegate(std::weak_ptr<UITableViewDelegate> d);
    std::shared_ptr<UITableViewDelegate> tableDelegate() const { return tableDelegate_.lock(); }

    double rowHeight = 44;
    double estimatedRowHeight = 44;
    double sectionHeaderHeight = 0, sectionFooterHeight = 0;
    UITableViewCellSeparatorStyle separatorStyle = UITableViewCellSeparatorStyle::SingleLine;
    UIColor separatorColor = UIColor::colorWithWhite(0.78);
    UIEdgeInsets separatorInset{0, 15, 0, 0};
    bool allowsSelection = true, allowsMultipleSelection = false;

    std::shared_ptr<UIView> tableHeaderView() const { return headerView_; }
    void setTableHeaderView(std::shared_ptr<UIView> v);
    std::shared_ptr<UIView> tableFooterView() const { return footerView_; }
    void setTableFooterView(std::shared_ptr<UIView> v);

    // Registration and reuse.
    void registerClass(const std::string& identifier, std::function<std::shared_ptr<UITableViewCell>()> factory);
    template <class Cell>
    void registerClass(const std::string& identifier) {
        registerClass(identifier, [identifier] { return std::make_shared<Cell>(UITableViewCellStyle::Default, identifier); });
    }
    void registerHeaderFooterClass(const std::string& identifier, std::function<std::shared_ptr<UIView>()> factory);
    // A queued cell, else nullptr (unregistered identifiers make nothing).
    std::shared_ptr<UITableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
    // A queued cell, else a new one from the registered factory.
    std::shared_ptr<UITableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier, const NSIndexPath& ip);
    std::shared_ptr<UIView> dequeueReusableHeaderFooterViewWithIdentifier(const std::string& identifier);
    // Cells made by registered factories so far (for checking reuse).
    size_t createdCellCount() const { return pool_.created(); }

    void reloadData();
    void reloadRowsAtIndexPaths(const std::vector<NSIndexPath>& paths);
    void beginUpdates() {}
    void endUpdates();
    long numberOfSections() const { return long(sections_.size()); }
    long numberOfRowsInSection(long section) const;

    CGRect rectForRowAtIndexPath(const NSIndexPath& ip) const;
    CGRect rectForHeaderInSection(long section) const;
    std::optional<NSIndexPath> indexPathForRowAtPoint(CGPoint p) const;
    std::optional<NSIndexPath> indexPathForCell(const UITableViewCell& cell) const;
    std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(const NSIndexPath& ip) const;
    std::vector<std::shared_ptr<UITableViewCell>> visibleCells() const;
    std::vector<NSIndexPath> indexPathsForVisibleRows() const;
    void scrollToRowAtIndexPath(const NSIndexPath& ip, UITableViewScrollPosition position, bool animated);

    void selectRowAtIndexPath(const NSIndexPath& ip, bool animated, UITableViewScrollPosition position);
    void deselectRowAtIndexPath(const NSIndexPath& ip, bool animated);
    std::optional<NSIndexPath> indexPathForSelectedRow() const;
    std::vector<NSIndexPath> indexPathsForSelectedRows() const;

    void layoutSubviews() override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    struct Section {
        double headerHeight = 0, footerHeight = 0;
        std::vector<double> heights;   // per row
        std::vector<double> offsets;   // top of each row, from the section's top
        double top = 0;                // section top in content
        double height() const;
    };
    void computeGeometry();
    void recomputeOffsets();
    double rowHeightFor(const NSIndexPath& ip);
    void updateVisible();
    std::shared_ptr<UITableViewCell> makeCell(const NSIndexPath& ip);
    void retire(const NSIndexPath& ip);

    UITableViewStyle style_;
    std::weak_ptr<UITableViewDelegate> tableDelegate_;
    std::vector<Section> sections_;
    bool needsReload_ = true;
    bool automatic_ = false;
    std::map<NSIndexPath, double> measured_;
    std::map<NSIndexPath, std::shared_ptr<UITableViewCell>> visible_;
    std::map<long, std::shared_ptr<UIView>> headers_, footers_;
    std::set<NSIndexPath> selected_;
    std::optional<NSIndexPath> touchedRow_;
    std::shared_ptr<UIView> headerView_, footerView_;
    ReusePool pool_, headerPool_;
};

// A controller whose view is a table, with itself as data source and delegate.
class UITableViewController : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    explicit UITableViewController(UITableViewStyle style = UITableViewStyle::Plain) : style_(style) {}
    std::shared_ptr<UITableView> tableView();
    void loadView() override;
    void viewWillAppear(bool animated) override;
    bool clearsSelectionOnViewWillAppear = true;
    long tableView_numberOfRowsInSection(UITableView&, long) override { return 0; }
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath&) override;

private:
    UITableViewStyle style_;
};
