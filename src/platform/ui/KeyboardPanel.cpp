#include "platform/ui/KeyboardPanel.h"

#include <cctype>

#include "platform/ui/UIApplication.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UITextField.h"

namespace {

constexpr double kGap = 6, kSide = 3, kTop = 10, kRowGap = 12, kKeyHeight = 42;

UIColor panelColor() { return UIColor::fromRGB(0xD1D4D9); }
UIColor letterKeyColor() { return UIColor::whiteColor(); }
UIColor functionKeyColor() { return UIColor::fromRGB(0xABB0BA); }

std::string upper(const std::string& s) {
    std::string out = s;
    for (auto& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string returnLabelFor(UIReturnKeyType type) {
    switch (type) {
        case UIReturnKeyType::Next: return "下一项";
        case UIReturnKeyType::Go: return "前往";
        case UIReturnKeyType::Done: return "完成";
        case UIReturnKeyType::Search:
        case UIReturnKeyType::Google:
        case UIReturnKeyType::Yahoo: return "搜索";
        case UIReturnKeyType::Send: return "发送";
        case UIReturnKeyType::Join: return "加入";
        case UIReturnKeyType::Continue: return "继续";
        default: return "换行";
    }
}

bool startsOnDigits(UIKeyboardType type) {
    return type == UIKeyboardType::NumberPad || type == UIKeyboardType::PhonePad ||
           type == UIKeyboardType::DecimalPad || type == UIKeyboardType::NumbersAndPunctuation;
}

UIKeyInput* editing() {
    return dynamic_cast<UIKeyInput*>(UIApplication::sharedApplication().textInputResponder().get());
}

}  // namespace

KeyboardPanel::KeyboardPanel(const CGRect& frame) : UIView(frame) {
    setBackgroundColor(panelColor());
    setAccessibilityIdentifier("keyboard");
}

void KeyboardPanel::prepareFor(const std::shared_ptr<UIResponder>& responder) {
    UIKeyboardType type = UIKeyboardType::Default;
    UIReturnKeyType ret = UIReturnKeyType::Default;
    if (auto* f = dynamic_cast<UITextField*>(responder.get())) type = f->keyboardType, ret = f->returnKeyType;
    else if (auto* t = dynamic_cast<UITextView*>(responder.get())) type = t->keyboardType, ret = t->returnKeyType;
    shifted_ = false;
    digits_ = startsOnDigits(type);
    returnLabel_ = returnLabelFor(ret);
    rebuild();
}

std::vector<std::vector<KeyboardPanel::Key>> KeyboardPanel::rows() const {
    auto chars = [](const std::vector<std::string>& keys) {
        std::vector<Key> row;
        for (auto& k : keys) row.push_back({Kind::Character, k, 1});
        return row;
    };
    std::vector<std::vector<Key>> r;
    if (digits_) {
        r.push_back(chars({"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"}));
        r.push_back(chars({"-", "/", ":", ";", "(", ")", "¥", "@", "\""}));
        r.push_back(chars({"=", ".", ",", "?", "!", "'", "_", "#"}));
    } else {
        r.push_back(chars({"q", "w", "e", "r", "t", "y", "u", "i", "o", "p"}));
        r.push_back(chars({"a", "s", "d", "f", "g", "h", "j", "k", "l"}));
        r.push_back(chars({"z", "x", "c", "v", "b", "n", "m"}));
        r[2].insert(r[2].begin(), {Kind::Shift, "", 1.5});
    }
    r[2].push_back({Kind::Delete, "", 1.5});
    r.push_back({{Kind::Page, "", 1.6}, {Kind::Hide, "", 1.2}, {Kind::Space, " ", 4.6}, {Kind::Return, "\n", 2.2}});
    return r;
}

std::string KeyboardPanel::label(const Key& key) const {
    switch (key.kind) {
        case Kind::Character: return shifted_ ? upper(key.text) : key.text;
        case Kind::Shift: return "⇧";
        case Kind::Delete: return "⌫";
        case Kind::Page: return digits_ ? "ABC" : "123";
        case Kind::Space: return "空格";
        case Kind::Return: return returnLabel_;
        case Kind::Hide: return "⌨";
    }
    return "";
}

std::shared_ptr<UIButton> KeyboardPanel::makeKey(const Key& key) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    bool letter = key.kind == Kind::Character || key.kind == Kind::Space;
    UIColor normal = letter ? letterKeyColor() : functionKeyColor();
    UIColor held = letter ? functionKeyColor() : letterKeyColor();
    if (key.kind == Kind::Shift && shifted_) normal = letterKeyColor();
    b->setBackgroundImage(UIImage::imageWithColor(normal), UIControlStateNormal);
    b->setBackgroundImage(UIImage::imageWithColor(held), UIControlStateHighlighted);
    b->setTitle(label(key), UIControlStateNormal);
    b->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
    b->titleLabel()->setFont(UIFont::systemFontOfSize(key.kind == Kind::Character ? 22 : 16));
    b->layer()->setCornerRadius(5);
    b->setClipsToBounds(true);
    static const char* const ids[] = {"", "key_shift", "key_delete", "key_page", "key_space", "key_return", "key_hide"};
    if (key.kind != Kind::Character) b->setAccessibilityIdentifier(ids[int(key.kind)]);
    std::weak_ptr<UIView> weak = sharedView();
    b->addAction(UIControlEventTouchUpInside, [weak, key](UIControl&) {
        if (auto self = std::static_pointer_cast<KeyboardPanel>(weak.lock())) self->pressed(key);
    });
    return b;
}

void KeyboardPanel::rebuild() {
    // The key being handled may be among the old ones: they stay alive until the next rebuild.
    retired_.clear();
    for (auto& row : buttons_)
        for (auto& b : row) {
            b->removeFromSuperview();
            retired_.push_back(b);
        }
    buttons_.clear();
    for (auto& row : rows()) {
        std::vector<std::shared_ptr<UIButton>> made;
        for (auto& key : row) {
            made.push_back(makeKey(key));
            addSubview(made.back());
        }
        buttons_.push_back(std::move(made));
    }
    setNeedsLayout();
}

void KeyboardPanel::layoutSubviews() {
    if (buttons_.empty()) rebuild();  // keys hold the panel weakly: made once it is shared
    auto keys = rows();
    double width = bounds().width();
    // A plain key's width: ten of them fill the top row.
    double unit = (width - 2 * kSide - 9 * kGap) / 10;
    for (size_t r = 0; r < keys.size() && r < buttons_.size(); ++r) {
        double weights = 0;
        for (auto& k : keys[r]) weights += k.weight;
        bool plain = weights == double(keys[r].size());
        // Rows of plain keys are centred at the plain width; mixed rows fill the width.
        double scale = plain ? unit : (width - 2 * kSide - (keys[r].size() - 1) * kGap) / weights;
        double x = plain ? (width - keys[r].size() * unit - (keys[r].size() - 1) * kGap) / 2 : kSide;
        double y = kTop + r * (kKeyHeight + kRowGap);
        for (size_t i = 0; i < keys[r].size(); ++i) {
            double w = keys[r][i].weight * scale;
            buttons_[r][i]->setFrame(CGRect(x, y, w, kKeyHeight));
            x += w + kGap;
        }
    }
}

void KeyboardPanel::pressed(const Key& key) {
    auto self = sharedView();  // a key may end editing and take the panel away
    switch (key.kind) {
        case Kind::Character:
            if (auto* in = editing()) in->insertText(shifted_ ? upper(key.text) : key.text);
            if (shifted_) {
                shifted_ = false;
                rebuild();
            }
            break;
        case Kind::Space:
            if (auto* in = editing()) in->insertText(" ");
            break;
        case Kind::Delete:
            if (auto* in = editing()) in->deleteBackward();
            break;
        case Kind::Shift:
            shifted_ = !shifted_;
            rebuild();
            break;
        case Kind::Page:
            digits_ = !digits_;
            shifted_ = false;
            rebuild();
            break;
        case Kind::Return: UIKeyRouting::press(UIKeyInputReturn); break;
        case Kind::Hide: UIKeyRouting::press(UIKeyInputEscape); break;
    }
}
