#pragma once
// The comment bar's emoji keyboard: the 37 emoji on pages of 20 (seven
// columns, three rows, the delete key in the 21st slot) in a queuing
// scroll view, a page control under the pages, and a white strip at the
// bottom holding the send key. Taps on an emoji, on the delete key and on
// the send key go to the keyboard's delegate, which edits the text.
//
// The delete key deletes once on release inside and every 0.1 s while it
// is held (on the replaceable clock). The repeat stops on any release, a
// cancelled touch, and when its page leaves the window or is reused.
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/UISmallControls.h"
#include "usercenter/screens/strategy/SPControls.h"
#include "usercenter/screens/strategy/SPQueuingScrollView.h"
#include "usercenter/screens/strategy/ZVStickerDataManager.h"

using ZVEmojiList = std::vector<std::shared_ptr<const ZVEmoji>>;

class ZVStickerPageView;

class ZVStickerPageViewDelegate {
public:
    virtual ~ZVStickerPageViewDelegate() = default;
    virtual void stickerPageView_didClickEmoji(ZVStickerPageView& page, const ZVEmoji& emoji) = 0;
    virtual void stickerPageViewDidClickDeleteButton(ZVStickerPageView& page) = 0;
};

// One page of 20 emoji slots and the delete key.
class ZVStickerPageView : public UIView, public SPReusablePage {
public:
    static constexpr size_t kPerPage = 20;
    static constexpr double kRepeat = 0.1;  // seconds between deletes while held

    static std::shared_ptr<ZVStickerPageView> create(const CGRect& frame, const std::string& reuseIdentifier = "");
    ~ZVStickerPageView() override;

    size_t pageIndex = 0;
    std::weak_ptr<ZVStickerPageViewDelegate> delegate;
    // The whole list (not only this page's slice).
    const ZVEmojiList& emojis() const { return emojis_; }
    const std::vector<std::shared_ptr<SPButton>>& emojiButtons() const { return emojiButtons_; }
    const std::shared_ptr<UIButton>& deleteButton() const { return deleteButton_; }
    bool isRepeatingDelete() const { return deleteEmojiTimer_ != nullptr; }

    // Titles the slots with this page's slice of `list`.
    void configureWithEmojis(const ZVEmojiList& list);
    // The slice of page `page`: nothing for an empty list or a page past the end.
    static std::optional<ZVEmojiList> emojisForEmoji(const ZVEmojiList& list, size_t page);

    void prepareForReuse() override;
    void layoutSubviews() override;
    void willMoveToWindow(UIWindow* newWindow) override;

    explicit ZVStickerPageView(const CGRect& frame) : UIView(frame) {}

private:
    void build();
    void didClickEmojiButton(UIControl& button);
    void didTouchDownDeleteButton();
    void didTouchUpInsideDeleteButton();
    void stopDeleteRepeat();
    void delegateDeleteEmoji();

    ZVEmojiList emojis_;
    std::vector<std::shared_ptr<SPButton>> emojiButtons_;
    std::shared_ptr<UIButton> deleteButton_;
    std::shared_ptr<DispatchTimer> deleteEmojiTimer_;
};

class ZVStickerKeyboard;

class ZVStickerKeyboardDelegate {
public:
    virtual ~ZVStickerKeyboardDelegate() = default;
    virtual void stickerKeyboard_didClickEmoji(ZVStickerKeyboard& keyboard, const ZVEmoji& emoji) = 0;
    virtual void stickerKeyboardDidClickDeleteButton(ZVStickerKeyboard& keyboard) = 0;
    virtual void stickerKeyboardDidClickSendButton(ZVStickerKeyboard& keyboard) = 0;
};

class ZVStickerKeyboard : public UIView, public ZVStickerPageViewDelegate, public SPQueuingScrollViewDelegate {
public:
    static constexpr const char* kPageIdentifier = "ZVStickerPageView";
    static constexpr double kHeight = 211;  // above the bottom safe area

    static std::shared_ptr<ZVStickerKeyboard> create(const CGRect& frame = CGRect());

    std::weak_ptr<ZVStickerKeyboardDelegate> delegate;
    // A copy of the shared manager's list, taken at creation.
    const ZVEmojiList& emojis() const { return emojis_; }
    const std::shared_ptr<SPQueuingScrollView>& queuingScrollView();
    const std::shared_ptr<UIPageControl>& pageControl();
    const std::shared_ptr<SPSlideLineButton>& sendButton();
    const std::shared_ptr<UIView>& bottomBGView();

    // 211 points plus the screen's bottom safe-area inset.
    static double heightThatFits();
    // The page view of `index`, from the pool or new; nullptr past the last page.
    std::shared_ptr<ZVStickerPageView> pageViewForStickerAtIndex(size_t index);
    size_t pageCount() const;

    void layoutSubviews() override;

    // SPQueuingScrollViewDelegate
    std::shared_ptr<UIView> queuingScrollView_viewBeforeView(SPQueuingScrollView& s, UIView& view) override;
    std::shared_ptr<UIView> queuingScrollView_viewAfterView(SPQueuingScrollView& s, UIView& view) override;
    void queuingScrollViewChangedFocusView_previousFocusView(SPQueuingScrollView& s,
                                                             const std::shared_ptr<UIView>& previous) override;
    // ZVStickerPageViewDelegate
    void stickerPageView_didClickEmoji(ZVStickerPageView& page, const ZVEmoji& emoji) override;
    void stickerPageViewDidClickDeleteButton(ZVStickerPageView& page) override;

    explicit ZVStickerKeyboard(const CGRect& frame) : UIView(frame) {}

private:
    void build();
    void sendAction();

    ZVEmojiList emojis_;
    std::shared_ptr<SPQueuingScrollView> queuingScrollView_;
    std::shared_ptr<UIPageControl> pageControl_;
    std::shared_ptr<SPSlideLineButton> sendButton_;
    std::shared_ptr<UIView> bottomBGView_;
};
