#include "platform/ui/UITableView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/UIEvent.h"
#include "platform/ui/UIScreen.h"

// ---- UITableViewCell

UITableViewCell::UITableViewCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
    setBackgroundColor(UIColor::whiteColor());
    UIView::setFrame(CGRect(0, 0, 320, 44));
}

const std::shared_ptr<UIView>& UITableViewCell::contentView() {
    if (!contentView_) {
        contentView_ = std::make_shared<UIView>(bounds());
        contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        insertSubview(contentView_, 0);
    }
    return contentView_;
}

const std::shared_ptr<UILabel>& UITableViewCell::textLabel() {
    if (!textLabel_) {
        textLabel_ = std::make_shared<UILabel>();
        textLabel_->setFont(UIFont::systemFontOfSize(17));
        contentView()->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

const std::shared_ptr<UILabel>& UITableViewCell::detailTextLabel() {
    if (!detailTextLabel_) {
        detailTextLabel_ = std::make_shared<UILabel>();
        detailTextLabel_->setFont(UIFont::systemFontOfSize(style_ == UITableViewCellStyle::Subtitle ? 12 : 17));
        detailTextLabel_->setTextColor(UIColor::colorWithWhite(0.5));
        contentView()->addSubview(detailTextLabel_);
        setNeedsLayout();
    }
    return detailTextLabel_;
}

const std::shared_ptr<UIImageView>& UITableViewCell::imageView() {
    if (!imageView_) {
        imageView_ = std::make_shared<UIImageView>();
        contentView()->addSubview(imageView_);
        setNeedsLayout();
    }
    return imageView_;
}

void UITableViewCell::setSelected(bool s, bool) {
    selected_ = s;
    setNeedsDisplay();
}

void UITableViewCell::setHighlighted(bool h, bool) {
    highlighted_ = h;
    setNeedsDisplay();
}

void UITableViewCell::layoutSubviews() {
    CGRect b = bounds();
    if (contentView_) contentView_->setFrame(b);
    if (backgroundView) backgroundView->setFrame(b);
    double x = 15;
    if (imageView_ && imageView_->image()) {
        CGSize s = imageView_->image()->size();
        imageView_->setFrame(CGRect(x, (b.height() - s.height) / 2, s.width, s.height));
        x += s.width + 15;
    }
    double w = b.width() - x - 15;
    if (style_ == UITableViewCellStyle::Subtitle && detailTextLabel_) {
        if (textLabel_) textLabel_->setFrame(CGRect(x, b.height() / 2 - 20, w, 22));
        detailTextLabel_->setFrame(CGRect(x, b.height() / 2 + 2, w, 16));
    } else {
        if (textLabel_) textLabel_->setFrame(CGRect(x, 0, w, b.height()));
        if (detailTextLabel_) {
            detailTextLabel_->setTextAlignment(NSTextAlignment::Right);
            detailTextLabel_->setFrame(CGRect(x, 0, w, b.height()));
        }
    }
}

void UITableViewCell::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    if ((selected_ || highlighted_) && selectionStyle != UITableViewCellSelectionStyle::None && !selectedBackgroundView) {
        ctx.setFillColor(UIColor::colorWithWhite(0.85));
        ctx.fillRect(b);
    }
    if (showsSeparator) {
        ctx.setFillColor(separatorColor);
        ctx.fillRect(CGRect(separatorLeft, b.maxY() - 0.5, b.width() - separatorLeft, 0.5));
    }
}

CGSize UITableViewCell::sizeThatFits(CGSize size) const {
    double bottom = 0;
    if (contentView_)
        for (auto& s : contentView_->subviews())
            if (!s->isHidden()) bottom = std::max(bottom, s->frame().maxY());
    return {size.width, std::max(44.0, std::ceil(bottom))};
}

// ---- UITableView

namespace {
// The separator under a cell; the table keeps one per visible cell.
class SeparatorView : public UIView {
public:
    using UIView::UIView;
};
}  // namespace

UITableView::UITableView(const CGRect& frame, UITableViewStyle style) : UIScrollView(frame), style_(style) {
    setBackgroundColor(style == UITableViewStyle::Grouped ? UIColor::fromRGB(0xEFEFF4) : UIColor::whiteColor());
    alwaysBounceVertical = true;
}

void UITableView::setDelegate(std::weak_ptr<UITableViewDelegate> d) {
    tableDelegate_ = d;
    delegate = std::move(d);
}

double UITableView::Section::height() const {
    double rows = heights.empty() ? 0 : offsets.back() + heights.back() - headerHeight;
    return headerHeight + rows + footerHeight;
}

void UITableView::setTableHeaderView(std::shared_ptr<UIView> v) {
    if (headerView_) headerView_->removeFromSuperview();
    headerView_ = std::move(v);
    if (headerView_) addSubview(headerView_);
    needsReload_ = true;
    setNeedsLayout();
}

void UITableView::setTableFooterView(std::shared_ptr<UIView> v) {
    if (footerView_) footerView_->removeFromSuperview();
    footerView_ = std::move(v);
    if (footerView_) addSubview(footerView_);
    needsReload_ = true;
    setNeedsLayout();
}

void UITableView::registerClass(const std::string& identifier, std::function<std::shared_ptr<UITableViewCell>()> factory) {
    pool_.registerClass(identifier, std::move(factory));
}

void UITableView::registerHeaderFooterClass(const std::string& identifier, std::function<std::shared_ptr<UIView>()> factory) {
    headerPool_.registerFactory(identifier, std::move(factory));
}

std::shared_ptr<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
    return pool_.dequeueReusable<UITableViewCell>(identifier, false);
}

std::shared_ptr<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                               const NSIndexPath&) {
    return pool_.dequeueReusable<UITableViewCell>(identifier, true);
}

std::shared_ptr<UIView> UITableView::dequeueReusableHeaderFooterViewWithIdentifier(const std::string& identifier) {
    return headerPool_.dequeue(identifier, true);
}

void UITableView::reloadData() {
    for (auto& [ip, cell] : std::map(visible_)) retire(ip);
    for (auto& [s, v] : headers_) v->removeFromSuperview();
    for (auto& [s, v] : footers_) v->removeFromSuperview();
    headers_.clear();
    footers_.clear();
    measured_.clear();
    // Selections of rows that no longer exist go.
    needsReload_ = true;
    computeGeometry();
    std::erase_if(selected_, [&](const NSIndexPath& ip) {
        return ip.section >= long(sections_.size()) || ip.row >= long(sections_[size_t(ip.section)].heights.size());
    });
    setNeedsLayout();
}

void UITableView::reloadRowsAtIndexPaths(const std::vector<NSIndexPath>& paths) {
    for (auto& ip : paths) {
        measured_.erase(ip);
        if (visible_.count(ip)) retire(ip);
    }
    setNeedsLayout();
}

void UITableView::endUpdates() {
    needsReload_ = true;
    setNeedsLayout();
}

long UITableView::numberOfRowsInSection(long section) const {
    return section >= 0 && section < long(sections_.size()) ? long(sections_[size_t(section)].heights.size()) : 0;
}

double UITableView::rowHeightFor(const NSIndexPath& ip) {
    auto d = tableDelegate();
    std::optional<double> h = d ? d->tableView_heightForRowAtIndexPath(*this, ip) : std::nullopt;
    double v = h ? *h : rowHeight;
    if (v != UITableViewAutomaticDimension) return std::max(0.0, v);
    automatic_ = true;
    auto it = measured_.find(ip);
    return it != measured_.end() ? it->second : (estimatedRowHeight > 0 ? estimatedRowHeight : 44);
}

void UITableView::computeGeometry() {
    auto ds = dataSource.lock();
    auto d = tableDelegate();
    automatic_ = false;
    long n = ds ? std::max(0L, ds->numberOfSectionsInTableView(*this)) : 0;
    sections_.assign(size_t(n), Section());
    for (long s = 0; s < n; ++s) {
        auto& sec = sections_[size_t(s)];
        long rows = std::max(0L, ds->tableView_numberOfRowsInSection(*this, s));
        std::string title = ds->tableView_titleForHeaderInSection(*this, s);
        auto hh = d ? d->tableView_heightForHeaderInSection(*this, s) : std::nullopt;
        sec.headerHeight = hh ? *hh : (!title.empty() ? 28 : sectionHeaderHeight);
        auto fh = d ? d->tableView_heightForFooterInSection(*this, s) : std::nullopt;
        sec.footerHeight = fh ? *fh : sectionFooterHeight;
        sec.heights.resize(size_t(rows));
        for (long r = 0; r < rows; ++r) sec.heights[size_t(r)] = rowHeightFor({s, r});
    }
    recomputeOffsets();
    needsReload_ = false;
}

void UITableView::recomputeOffsets() {
    double y = headerView_ ? headerView_->frame().height() : 0;
    for (auto& sec : sections_) {
        sec.top = y;
        sec.offsets.resize(sec.heights.size());
        double ry = sec.headerHeight;
        for (size_t r = 0; r < sec.heights.size(); ++r) {
            sec.offsets[r] = ry;
            ry += sec.heights[r];
        }
        y += ry + sec.footerHeight;
    }
    if (footerView_) {
        CGRect f = footerView_->frame();
        footerView_->setFrame(CGRect(0, y, bounds().width(), f.height()));
        y += f.height();
    }
    if (headerView_) {
        CGRect f = headerView_->frame();
        headerView_->setFrame(CGRect(0, 0, bounds().width(), f.height()));
    }
    setContentSize({bounds().width(), y});
}

CGRect UITableView::rectForRowAtIndexPath(const NSIndexPath& ip) const {
    if (ip.section < 0 || ip.section >= long(sections_.size())) return {};
    auto& sec = sections_[size_t(ip.section)];
    if (ip.row < 0 || ip.row >= long(sec.heights.size())) return {};
    return CGRect(0, sec.top + sec.offsets[size_t(ip.row)], bounds().width(), sec.heights[size_t(ip.row)]);
}

CGRect UITableView::rectForHeaderInSection(long section) const {
    if (section < 0 || section >= long(sections_.size())) return {};
    auto& sec = sections_[size_t(section)];
    return CGRect(0, sec.top, bounds().width(), sec.headerHeight);
}

std::optional<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint p) const {
    for (size_t s = 0; s < sections_.size(); ++s) {
        auto& sec = sections_[s];
        double y = p.y - sec.top;
        if (y < 0 || sec.heights.empty()) continue;
        auto it = std::upper_bound(sec.offsets.begin(), sec.offsets.end(), y);
        if (it == sec.offsets.begin()) continue;
        size_t r = size_t(it - sec.offsets.begin()) - 1;
        if (y < sec.offsets[r] + sec.heights[r]) return NSIndexPath{long(s), long(r)};
    }
    return std::nullopt;
}

std::optional<NSIndexPath> UITableView::indexPathForCell(const UITableViewCell& cell) const {
    for (auto& [ip, c] : visible_)
        if (c.get() == &cell) return ip;
    return std::nullopt;
}

std::shared_ptr<UITableViewCell> UITableView::cellForRowAtIndexPath(const NSIndexPath& ip) const {
    auto it = visible_.find(ip);
    return it == visible_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<UITableViewCell>> UITableView::visibleCells() const {
    std::vector<std::shared_ptr<UITableViewCell>> out;
    for (auto& [ip, c] : visible_) out.push_back(c);
    return out;
}

std::vector<NSIndexPath> UITableView::indexPathsForVisibleRows() const {
    std::vector<NSIndexPath> out;
    for (auto& [ip, c] : visible_) out.push_back(ip);
    return out;
}

std::shared_ptr<UITableViewCell> UITableView::makeCell(const NSIndexPath& ip) {
    auto ds = dataSource.lock();
    if (!ds) return nullptr;
    auto cell = ds->tableView_cellForRowAtIndexPath(*this, ip);
    if (!cell) cell = std::make_shared<UITableViewCell>();
    return cell;
}

void UITableView::retire(const NSIndexPath& ip) {
    auto it = visible_.find(ip);
    if (it == visible_.end()) return;
    auto cell = it->second;
    visible_.erase(it);
    cell->removeFromSuperview();
    cell->setSelected(false);
    cell->setHighlighted(false);
    pool_.enqueue(cell->reuseIdentifier(), cell);
}

void UITableView::layoutSubviews() {
    if (needsReload_) {
        reloadData();
    }
    updateVisible();
}

void UITableView::updateVisible() {
    CGRect b = bounds();
    auto d = tableDelegate();
    // Self-sizing rows may change the geometry while cells are placed; a few rounds settle it.
    for (int round = 0; round < 4; ++round) {
        std::vector<NSIndexPath> needed;
        std::set<long> sectionsInView;
        for (size_t s = 0; s < sections_.size(); ++s) {
            auto& sec = sections_[s];
            if (sec.top > b.maxY() || sec.top + sec.height() < b.minY()) continue;
            sectionsInView.insert(long(s));
            double from = b.minY() - sec.top;
            auto it = std::upper_bound(sec.offsets.begin(), sec.offsets.end(), from);
            size_t r = it == sec.offsets.begin() ? 0 : size_t(it - sec.offsets.begin()) - 1;
            for (; r < sec.heights.size() && sec.top + sec.offsets[r] < b.maxY(); ++r)
                if (sec.top + sec.offsets[r] + sec.heights[r] > b.minY() || sec.heights[r] == 0)
                    needed.push_back({long(s), long(r)});
        }
        std::set<NSIndexPath> want(needed.begin(), needed.end());
        for (auto& [ip, c] : std::map(visible_))
            if (!want.count(ip)) retire(ip);
        bool resized = false;
        for (auto& ip : needed) {
            auto cell = cellForRowAtIndexPath(ip);
            bool fresh = !cell;
            if (fresh) {
                cell = makeCell(ip);
                if (!cell) continue;  // the data source is gone
                visible_[ip] = cell;
            }
            CGRect r = rectForRowAtIndexPath(ip);
            UIView::performWithoutAnimation([&] { cell->setFrame(r); });
            if (fresh) {
                if (automatic_ && !measured_.count(ip)) {
                    auto hq = d ? d->tableView_heightForRowAtIndexPath(*this, ip) : std::nullopt;
                    double h = hq ? *hq : rowHeight;
                    if (h == UITableViewAutomaticDimension) {
                        cell->layoutIfNeeded();
                        double m = cell->sizeThatFits({r.width(), 0}).height;
                        measured_[ip] = m;
                        if (m != r.height()) {
                            sections_[size_t(ip.section)].heights[size_t(ip.row)] = m;
                            resized = true;
                        }
                    }
                }
                cell->setSelected(selected_.count(ip) > 0);
                cell->showsSeparator = separatorStyle == UITableViewCellSeparatorStyle::SingleLine;
                cell->separatorLeft = separatorInset.left;
                cell->separatorColor = separatorColor;
                if (cell->superview().get() != this) insertSubview(cell, 0);
                if (d) d->tableView_willDisplayCell(*this, *cell, ip);
            }
        }
        // Headers and footers of the sections in view.
        auto ds = dataSource.lock();
        for (auto& [s, v] : std::map(headers_))
            if (!sectionsInView.count(s)) {
                v->removeFromSuperview();
                headers_.erase(s);
            }
        for (long s : sectionsInView) {
            auto& sec = sections_[size_t(s)];
            if (sec.headerHeight > 0 && !headers_.count(s)) {
                auto v = d ? d->tableView_viewForHeaderInSection(*this, s) : nullptr;
                if (!v && ds) {
                    std::string title = ds->tableView_titleForHeaderInSection(*this, s);
                    if (!title.empty()) {
                        auto l = std::make_shared<UILabel>();
                        l->setText("   " + title);
                        l->setFont(UIFont::systemFontOfSize(14, UIFontWeight::Semibold));
                        l->setBackgroundColor(UIColor::colorWithWhite(0.95));
                        v = l;
                    }
                }
                if (v) {
                    headers_[s] = v;
                    addSubview(v);
                }
            }
            if (headers_.count(s)) UIView::performWithoutAnimation([&] { headers_[s]->setFrame(rectForHeaderInSection(s)); });
            if (sec.footerHeight > 0 && !footers_.count(s) && d) {
                if (auto v = d->tableView_viewForFooterInSection(*this, s)) {
                    footers_[s] = v;
                    addSubview(v);
                }
            }
            if (footers_.count(s)) {
                double y = sec.top + sec.height() - sec.footerHeight;
                UIView::performWithoutAnimation([&] { footers_[s]->setFrame(CGRect(0, y, b.width(), sec.footerHeight)); });
            }
        }
        if (!resized) break;
        recomputeOffsets();
    }
    setNeedsDisplay();
}

void UITableView::scrollToRowAtIndexPath(const NSIndexPath& ip, UITableViewScrollPosition position, bool animated) {
    layoutIfNeeded();
    CGRect r = rectForRowAtIndexPath(ip);
    if (r.isEmpty() && r.origin.y == 0 && !(ip.section == 0 && ip.row == 0)) return;
    CGRect b = bounds();
    double y = b.minY();
    switch (position) {
        case UITableViewScrollPosition::Top: y = r.minY(); break;
        case UITableViewScrollPosition::Middle: y = r.midY() - b.height() / 2; break;
        case UITableViewScrollPosition::Bottom: y = r.maxY() - b.height(); break;
        case UITableViewScrollPosition::None:
            if (r.minY() < b.minY()) y = r.minY();
            else if (r.maxY() > b.maxY()) y = r.maxY() - b.height();
            break;
    }
    CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    setContentOffset({b.minX(), std::clamp(y, lo.y, hi.y)}, animated);
}

void UITableView::selectRowAtIndexPath(const NSIndexPath& ip, bool animated, UITableViewScrollPosition position) {
    if (!allowsMultipleSelection) {
        for (auto& old : std::set(selected_))
            if (old != ip) deselectRowAtIndexPath(old, false);
    }
    selected_.insert(ip);
    if (auto c = cellForRowAtIndexPath(ip)) c->setSelected(true, animated);
    if (position != UITableViewScrollPosition::None) scrollToRowAtIndexPath(ip, position, animated);
}

void UITableView::deselectRowAtIndexPath(const NSIndexPath& ip, bool animated) {
    selected_.erase(ip);
    if (auto c = cellForRowAtIndexPath(ip)) c->setSelected(false, animated);
}

std::optional<NSIndexPath> UITableView::indexPathForSelectedRow() const {
    if (selected_.empty()) return std::nullopt;
    return *selected_.begin();
}

std::vector<NSIndexPath> UITableView::indexPathsForSelectedRows() const { return {selected_.begin(), selected_.end()}; }

void UITableView::touchesBegan(const UITouchSet& touches, UIEvent*) {
    touchedRow_ = indexPathForRowAtPoint(touches.front()->locationInView(this));
    if (!allowsSelection || !touchedRow_) return;
    auto d = tableDelegate();
    if (d && !d->tableView_shouldHighlightRowAtIndexPath(*this, *touchedRow_)) {
        touchedRow_.reset();
        return;
    }
    if (auto c = cellForRowAtIndexPath(*touchedRow_)) c->setHighlighted(true);
}

void UITableView::touchesEnded(const UITouchSet& touches, UIEvent*) {
    auto ip = touchedRow_;
    touchedRow_.reset();
    if (!ip) return;
    if (auto c = cellForRowAtIndexPath(*ip)) c->setHighlighted(false);
    if (!allowsSelection || indexPathForRowAtPoint(touches.front()->locationInView(this)) != ip) return;
    auto self = sharedView();
    auto d = tableDelegate();
    if (allowsMultipleSelection && selected_.count(*ip)) {
        deselectRowAtIndexPath(*ip, false);
        if (d) d->tableView_didDeselectRowAtIndexPath(*this, *ip);
        return;
    }
    if (!allowsMultipleSelection)
        for (auto& old : std::set(selected_))
            if (old != *ip) {
                deselectRowAtIndexPath(old, false);
                if (d) d->tableView_didDeselectRowAtIndexPath(*this, old);
            }
    selected_.insert(*ip);
    if (auto c = cellForRowAtIndexPath(*ip)) c->setSelected(true);
    if (d) d->tableView_didSelectRowAtIndexPath(*this, *ip);
}

void UITableView::touchesCancelled(const UITouchSet&, UIEvent*) {
    if (touchedRow_)
        if (auto c = cellForRowAtIndexPath(*touchedRow_)) c->setHighlighted(false);
    touchedRow_.reset();
}

// ---- UITableViewController

std::shared_ptr<UITableView> UITableViewController::tableView() { return std::static_pointer_cast<UITableView>(view()); }

void UITableViewController::loadView() {
    auto t = std::make_shared<UITableView>(UIScreen::mainScreen().bounds(), style_);
    setView(t);
    auto self = std::dynamic_pointer_cast<UITableViewController>(sharedController());
    t->dataSource = std::static_pointer_cast<UITableViewDataSource>(self);
    t->setDelegate(std::static_pointer_cast<UITableViewDelegate>(self));
}

void UITableViewController::viewWillAppear(bool animated) {
    auto t = tableView();
    if (clearsSelectionOnViewWillAppear)
        for (auto& ip : t->indexPathsForSelectedRows()) t->deselectRowAtIndexPath(ip, animated);
}

std::shared_ptr<UITableViewCell> UITableViewController::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath&) {
    auto c = t.dequeueReusableCellWithIdentifier("UITableViewCell");
    return c ? c : std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, "UITableViewCell");
}
