#pragma once
// The caret of the text being edited blinks: shown for half a second,
// hidden for half a second, on the replaceable clock (a test advances its
// clock to see it go). Typing or moving the caret shows it again at once.
// One editor blinks at a time: the first responder.

#include <memory>

class UIView;

namespace CaretBlink {

void start(const std::shared_ptr<UIView>& editor);  // the editor became first responder
void stop(const UIView& editor);                     // it stopped being
void restart();                                     // an edit or a caret move: shown, a new period
bool visible();

}  // namespace CaretBlink
