#pragma once
// The on-screen keyboard of the phone profile, shown by the emulated
// keyboard for a text field or text view that has no input view of its own.
// Its keys type into the text being edited when clicked:
//   letters, with a shift key (the next letter upper case);
//   a digits-and-symbols page ("123", back with "ABC"), where number pads start;
//   space, delete, return (the field's return key, labelled by its type: "下一项",
//   "前往", "完成"...) and a hide key ("⌨", ends editing and puts the keyboard away).
// Keys show their pressed look while held. The physical keyboard keeps
// working alongside it.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIView.h"

class UIResponder;

class KeyboardPanel : public UIView {
public:
    explicit KeyboardPanel(const CGRect& frame);

    // Sets the panel up for a responder about to edit: the page its keyboard
    // type starts on, the return key's label; shift off.
    void prepareFor(const std::shared_ptr<UIResponder>& responder);

    bool isShifted() const { return shifted_; }
    bool showsDigits() const { return digits_; }
    void layoutSubviews() override;

private:
    enum class Kind { Character, Shift, Delete, Page, Space, Return, Hide };
    struct Key {
        Kind kind;
        std::string text;  // what a character key types (lower case on the letters page)
        double weight;     // share of the row's width
    };
    std::vector<std::vector<Key>> rows() const;
    void rebuild();
    void pressed(const Key& key);
    std::shared_ptr<UIButton> makeKey(const Key& key);
    std::string label(const Key& key) const;

    bool shifted_ = false, digits_ = false;
    std::string returnLabel_ = "换行";
    std::vector<std::vector<std::shared_ptr<UIButton>>> buttons_;
    std::vector<std::shared_ptr<UIButton>> retired_;
};
