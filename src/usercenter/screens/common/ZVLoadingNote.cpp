#include "usercenter/screens/common/ZVLoadingNote.h"

#include "usercenter/screens/common/ZVColorExtension.h"

ZVLoadingNote::ZVLoadingNote() {
    setFont(UIFont::systemFontOfSize(14));
    setTextColor(XTExtention::colorWithHexString("#999999"));
    setTextAlignment(NSTextAlignment::Center);
    setUserInteractionEnabled(false);
    setAccessibilityIdentifier("loading_note");
    setHidden(true);
}

void ZVLoadingNote::showLoading() {
    setText(kLoading);
    setHidden(false);
}

void ZVLoadingNote::showFailed() {
    setText(kFailed);
    setHidden(false);
}

void ZVLoadingNote::requestSent() {
    if (!contentCame_) showLoading();
}

void ZVLoadingNote::requestEnded(bool withContent) {
    contentCame_ = contentCame_ || withContent;
    if (contentCame_) dismiss();
    else showFailed();
}

void ZVLoadingNote::centreIn(const CGRect& area) {
    setFrame(CGRect(area.minX(), area.midY() - kHeight / 2, area.width(), kHeight));
}
