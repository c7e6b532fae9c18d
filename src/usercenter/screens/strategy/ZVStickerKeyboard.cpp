#include "usercenter/screens/strategy/ZVStickerKeyboard.h"

#include "platform/device/SystemSound.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/PlatformLog.h"
#include "usercenter/screens/common/ZVColorExtension.h"

namespace {
constexpr double kKey = 32, kRowPitch = 48;
constexpr size_t kColumns = 7;

std::chrono::nanoseconds seconds(double s) { return std::chrono::nanoseconds(int64_t(s * 1e9)); }
}  // namespace

// ---- ZVStickerPageView

std::shared_ptr<ZVStickerPageView> ZVStickerPageView::create(const CGRect& frame, const std::string& reuseIdentifier) {
    auto page = std::make_shared<ZVStickerPageView>(frame);
    page->setReuseIdentifier(reuseIdentifier);
    page->build();
    return page;
}

ZVStickerPageView::~ZVStickerPageView() {
    if (deleteEmojiTimer_) deleteEmojiTimer_->cancel();
}

void ZVStickerPageView::build() {
    std::weak_ptr<ZVStickerPageView> weak = std::static_pointer_cast<ZVStickerPageView>(sharedView());
    for (size_t i = 0; i < kPerPage; ++i) {
        auto button = std::make_shared<SPButton>();
        button->titleLabel()->setFont(UIFont::systemFontOfSize(16));
        button->setTag(long(i));
        button->addAction(UIControlEventTouchUpInside, [weak](UIControl& sender) {
            if (auto self = weak.lock()) self->didClickEmojiButton(sender);
        });
        addSubview(button);
        emojiButtons_.push_back(button);
    }
    deleteButton_ = UIButton::buttonWithType(UIButtonType::Custom);
    deleteButton_->setImage(ZVColor::sdkImageNamed("zv_su_emojiDel.png"), UIControlStateNormal);
    deleteButton_->setAccessibilityIdentifier("sticker_delete");
    deleteButton_->addAction(UIControlEventTouchDown, [weak](UIControl&) {
        if (auto self = weak.lock()) self->didTouchDownDeleteButton();
    });
    deleteButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->didTouchUpInsideDeleteButton();
    });
    deleteButton_->addAction(UIControlEventTouchUpOutside | UIControlEventTouchCancel, [weak](UIControl&) {
        if (auto self = weak.lock()) self->stopDeleteRepeat();
    });
    addSubview(deleteButton_);
}

std::optional<ZVEmojiList> ZVStickerPageView::emojisForEmoji(const ZVEmojiList& list, size_t page) {
    size_t count = list.size();
    if (count == 0 || page > count / kPerPage) return std::nullopt;
    size_t from = page * kPerPage;
    size_t length = page == count / kPerPage ? count - from : kPerPage;
    return ZVEmojiList(list.begin() + long(from), list.begin() + long(from + length));
}

void ZVStickerPageView::configureWithEmojis(const ZVEmojiList& list) {
    emojis_ = list;
    auto slice = emojisForEmoji(list, pageIndex);
    for (size_t i = 0; slice && i < slice->size() && i < emojiButtons_.size(); ++i) {
        const auto& image = (*slice)[i]->image;
        if (image) emojiButtons_[i]->setTitle(*image, UIControlStateNormal);
    }
    setNeedsLayout();
}

void ZVStickerPageView::didClickEmojiButton(UIControl& button) {
    auto slice = emojisForEmoji(emojis_, pageIndex);
    size_t i = size_t(button.tag());
    auto d = delegate.lock();
    if (slice && i < slice->size() && d) d->stickerPageView_didClickEmoji(*this, *(*slice)[i]);
}

void ZVStickerPageView::didTouchDownDeleteButton() {
    stopDeleteRepeat();
    deleteEmojiTimer_ = DispatchTimer::create(DispatchQueue::main());
    deleteEmojiTimer_->schedule(seconds(kRepeat), seconds(kRepeat));
    std::weak_ptr<ZVStickerPageView> weak = std::static_pointer_cast<ZVStickerPageView>(sharedView());
    deleteEmojiTimer_->setEventHandler([weak] {
        if (auto self = weak.lock()) self->delegateDeleteEmoji();
    });
    deleteEmojiTimer_->resume();
}

void ZVStickerPageView::didTouchUpInsideDeleteButton() {
    delegateDeleteEmoji();
    stopDeleteRepeat();
}

void ZVStickerPageView::stopDeleteRepeat() {
    if (deleteEmojiTimer_) deleteEmojiTimer_->cancel();
    deleteEmojiTimer_.reset();
}

void ZVStickerPageView::delegateDeleteEmoji() {
    if (auto d = delegate.lock()) d->stickerPageViewDidClickDeleteButton(*this);
}

void ZVStickerPageView::prepareForReuse() {
    stopDeleteRepeat();
    emojis_.clear();
    for (auto& button : emojiButtons_) {
        button->setTitle("", UIControlStateNormal);
        button->setFrame(CGRect());
    }
}

void ZVStickerPageView::willMoveToWindow(UIWindow* newWindow) {
    if (!newWindow) stopDeleteRepeat();
}

void ZVStickerPageView::layoutSubviews() {
    double w = bounds().width(), gap = (w - kColumns * kKey) / 8;
    for (auto& button : emojiButtons_) {
        size_t i = size_t(button->tag());
        if (i > emojis_.size()) break;
        size_t column = i % kColumns, row = i / kColumns;
        button->setFrame(CGRect(double(column) * kKey + gap * double(column + 1), double(row) * kRowPitch, kKey, kKey));
        button->touchInsets = {-8, -gap / 2, -8, -gap / 2};
    }
    deleteButton_->setFrame(CGRect(w - gap - kKey, 2 * kRowPitch, kKey, kKey));
}

// ---- ZVStickerKeyboard

std::shared_ptr<ZVStickerKeyboard> ZVStickerKeyboard::create(const CGRect& frame) {
    auto keyboard = std::make_shared<ZVStickerKeyboard>(frame);
    keyboard->build();
    return keyboard;
}

void ZVStickerKeyboard::build() {
    emojis_ = ZVStickerDataManager::sharedInstance().allEmojis();
    setBackgroundColor(XTExtention::colorWithHexString("#F4F4F4"));
    addSubview(queuingScrollView());
    addSubview(pageControl());
    addSubview(bottomBGView());
    addSubview(sendButton());
    queuingScrollView()->displayView(pageViewForStickerAtIndex(0));
}

const std::shared_ptr<SPQueuingScrollView>& ZVStickerKeyboard::queuingScrollView() {
    if (!queuingScrollView_) {
        queuingScrollView_ = std::make_shared<SPQueuingScrollView>();
        queuingScrollView_->setDelegate(std::static_pointer_cast<ZVStickerKeyboard>(sharedView()));
        queuingScrollView_->pagePadding = 0;
        queuingScrollView_->bounces = false;
    }
    return queuingScrollView_;
}

const std::shared_ptr<UIPageControl>& ZVStickerKeyboard::pageControl() {
    if (!pageControl_) {
        pageControl_ = std::make_shared<UIPageControl>();
        pageControl_->hidesForSinglePage = true;
        pageControl_->currentPageIndicatorTintColor = XTExtention::colorWithHexString("#F5A623");
        pageControl_->pageIndicatorTintColor = XTExtention::colorWithHexString("#BCBCBC");
    }
    return pageControl_;
}

const std::shared_ptr<SPSlideLineButton>& ZVStickerKeyboard::sendButton() {
    if (!sendButton_) {
        sendButton_ = std::make_shared<SPSlideLineButton>();
        sendButton_->setTitle("发送", UIControlStateNormal);
        sendButton_->setTitleColor(XTExtention::colorWithHexString("#2196F3"), UIControlStateNormal);
        sendButton_->setLinePosition(SPSlideLineButton::Left);
        sendButton_->setLineColor(XTExtention::colorWithHexString("#D1D1D1"));
        std::weak_ptr<ZVStickerKeyboard> weak = std::static_pointer_cast<ZVStickerKeyboard>(sharedView());
        sendButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->sendAction();
        });
    }
    return sendButton_;
}

const std::shared_ptr<UIView>& ZVStickerKeyboard::bottomBGView() {
    if (!bottomBGView_) {
        bottomBGView_ = std::make_shared<UIView>();
        bottomBGView_->setBackgroundColor(UIColor::whiteColor());
    }
    return bottomBGView_;
}

double ZVStickerKeyboard::heightThatFits() { return kHeight + UIScreen::mainScreen().safeAreaInsets().bottom; }

size_t ZVStickerKeyboard::pageCount() const {
    return emojis_.size() / ZVStickerPageView::kPerPage + (emojis_.size() % ZVStickerPageView::kPerPage ? 1 : 0);
}

std::shared_ptr<ZVStickerPageView> ZVStickerKeyboard::pageViewForStickerAtIndex(size_t index) {
    size_t pages = pageCount();
    pageControl()->setNumberOfPages(long(pages));
    if (index >= pages) return nullptr;
    auto page = std::dynamic_pointer_cast<ZVStickerPageView>(queuingScrollView()->reusableViewWithIdentifer(kPageIdentifier));
    if (!page) {
        page = ZVStickerPageView::create(CGRect(), kPageIdentifier);
        page->delegate = std::static_pointer_cast<ZVStickerKeyboard>(sharedView());
    }
    page->pageIndex = index;
    page->configureWithEmojis(emojis_);
    return page;
}

void ZVStickerKeyboard::layoutSubviews() {
    double w = bounds().width(), h = bounds().height(), b = safeAreaInsets().bottom;
    queuingScrollView()->setFrame(CGRect(0, 12, w, 132));
    pageControl()->setFrame(CGRect(0, 12 + 132 + 10, w, 7));
    sendButton()->setFrame(CGRect(w - 50, h - 44 - b, 50, 44));
    bottomBGView()->setFrame(CGRect(0, h - 44 - b, w, b + 44));
}

std::shared_ptr<UIView> ZVStickerKeyboard::queuingScrollView_viewBeforeView(SPQueuingScrollView&, UIView& view) {
    auto* page = dynamic_cast<ZVStickerPageView*>(&view);
    // Page 0 has none before it (the index is unsigned).
    return page && page->pageIndex > 0 ? pageViewForStickerAtIndex(page->pageIndex - 1) : nullptr;
}

std::shared_ptr<UIView> ZVStickerKeyboard::queuingScrollView_viewAfterView(SPQueuingScrollView&, UIView& view) {
    auto* page = dynamic_cast<ZVStickerPageView*>(&view);
    return page ? pageViewForStickerAtIndex(page->pageIndex + 1) : nullptr;
}

void ZVStickerKeyboard::queuingScrollViewChangedFocusView_previousFocusView(SPQueuingScrollView& s,
                                                                            const std::shared_ptr<UIView>&) {
    if (auto* page = dynamic_cast<ZVStickerPageView*>(s.focusView().get())) pageControl()->setCurrentPage(long(page->pageIndex));
}

void ZVStickerKeyboard::sendAction() {
    NSLog("发送点击");
    if (auto d = delegate.lock()) d->stickerKeyboardDidClickSendButton(*this);
}

void ZVStickerKeyboard::stickerPageView_didClickEmoji(ZVStickerPageView&, const ZVEmoji& emoji) {
    auto d = delegate.lock();
    if (!d) return;
    AudioServicesPlaySystemSound(kSystemSoundID_InputClick);
    d->stickerKeyboard_didClickEmoji(*this, emoji);
}

void ZVStickerKeyboard::stickerPageViewDidClickDeleteButton(ZVStickerPageView&) {
    auto d = delegate.lock();
    if (!d) return;
    AudioServicesPlaySystemSound(kSystemSoundID_InputClick);
    d->stickerKeyboardDidClickDeleteButton(*this);
}
