#pragma once
// The line a screen shows where its content will be while its first reply
// is out ("加载中…"), and where none came ("加载失败"; the screens tell the
// reason in their toast). Grey, 14 points, centred; hidden until shown.

#include "platform/ui/UILabel.h"

class ZVLoadingNote : public UILabel {
public:
    static constexpr const char* kLoading = "加载中…";
    static constexpr const char* kFailed = "加载失败";
    static constexpr double kHeight = 40;

    ZVLoadingNote();
    void showLoading();
    void showFailed();
    void dismiss() { setHidden(true); }
    // For content that comes with a reply: a request is out ("加载中…"
    // while none came with content), and it ended, with content (the note
    // goes for good) or without ("加载失败" while none came with content).
    void requestSent();
    void requestEnded(bool withContent);
    // Across `area` (in its superview), in the middle of its height.
    void centreIn(const CGRect& area);

private:
    bool contentCame_ = false;
};
