#include "platform/ui/UILabel.h"

#include <cmath>

UILabel::UILabel() : font_(UIFont::systemFontOfSize(17)) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

UILabel::UILabel(const CGRect& frame) : UILabel() { UIView::setFrame(frame); }

void UILabel::setText(const std::string& text) {
    text_ = text;
    attributed_.reset();
    setNeedsDisplay();
}

NSAttributedString UILabel::attributedText() const {
    if (attributed_) return *attributed_;
    return NSAttributedString(text_, {{NSFontAttributeName, font_}, {NSForegroundColorAttributeName, textColor_}});
}

void UILabel::setAttributedText(const NSAttributedString& text) {
    attributed_ = text;
    text_ = text.string();
    setNeedsDisplay();
}

void UILabel::setFont(std::shared_ptr<UIFont> f) {
    font_ = f ? std::move(f) : UIFont::systemFontOfSize(17);
    setNeedsDisplay();
}

TextLayout::Options UILabel::options(double width) const {
    TextLayout::Options o;
    o.font = font_;
    o.color = enabled_ ? textColor_ : textColor_.colorWithAlphaComponent(textColor_.alpha * 0.5);
    o.alignment = alignment_;
    o.lineBreakMode = lineBreakMode_;
    o.width = width;
    o.numberOfLines = numberOfLines_;
    // One-line labels never wrap; their text is cut at the end instead.
    if (numberOfLines_ == 1 && lineBreakMode_ != NSLineBreakMode::ByClipping && width >= 0)
        o.lineBreakMode = lineBreakMode_ == NSLineBreakMode::ByWordWrapping || lineBreakMode_ == NSLineBreakMode::ByCharWrapping
                              ? NSLineBreakMode::ByTruncatingTail
                              : lineBreakMode_;
    return o;
}

double UILabel::fittingScale() const {
    double width = bounds().width();
    if (!adjustsFontSizeToFitWidth || numberOfLines_ != 1 || text_.empty() || width <= 0) return 1;
    TextLayout::Options o = options(-1);
    double natural = TextLayout(attributedText(), o).size().width;
    if (natural <= width) return 1;
    // Text does not narrow in proportion to its font size (sizes and
    // advances are rounded): measure again until the scaled text fits, or
    // it would still be cut with an ellipsis.
    double scale = width / natural;
    for (int i = 0; i < 4 && scale > minimumScaleFactor; ++i) {
        o.font = font_->fontWithSize(font_->pointSize() * scale);
        double drawn = TextLayout(scaledText(scale), o).size().width;
        if (drawn <= width) break;
        scale *= width / drawn * 0.99;
    }
    return std::max(minimumScaleFactor, scale);
}

// The text with every font scaled by the fitting scale.
NSAttributedString UILabel::drawnText() const { return scaledText(fittingScale()); }

NSAttributedString UILabel::scaledText(double scale) const {
    NSAttributedString text = attributedText();
    if (scale >= 1) return text;
    NSAttributedString scaled = text;
    scaled.addAttribute(NSFontAttributeName, font_->fontWithSize(font_->pointSize() * scale), NSMakeRange(0, text.length()));
    for (auto& run : text.runs())
        for (auto& [name, value] : run.attributes)
            if (auto* f = std::get_if<std::shared_ptr<UIFont>>(&value); f && *f && name == NSFontAttributeName)
                scaled.addAttribute(NSFontAttributeName, (*f)->fontWithSize((*f)->pointSize() * scale), run.range);
    return scaled;
}

CGSize UILabel::sizeThatFits(CGSize size) const {
    if (text_.empty()) return {0, 0};
    double width = numberOfLines_ == 1 || size.width <= 0 ? -1 : size.width;
    CGSize s = TextLayout(attributedText(), options(width)).size();
    return {std::ceil(s.width), std::ceil(s.height)};
}

CGSize UILabel::intrinsicContentSize() const { return sizeThatFits({0, 0}); }

void UILabel::drawRect(CGContext& ctx, const CGRect& rect) {
    if (text_.empty()) return;
    CGRect b = bounds();
    TextLayout layout(drawnText(), options(b.width()));
    CGSize s = layout.size();
    // Text taller than the label is cut; otherwise centred vertically.
    double y = s.height > b.height() ? b.minY() : b.minY() + (b.height() - s.height) / 2;
    ctx.saveGState();
    ctx.clipToRect(b);
    layout.draw(ctx, {b.minX(), y});
    ctx.restoreGState();
}
