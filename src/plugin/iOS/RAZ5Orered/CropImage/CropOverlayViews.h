#pragma once
// The crop view's furniture, each drawn with shape layers of its own and
// none reacting to touches by itself (the crop view attaches the gesture
// recognizers): CornerView, an L-shaped corner handle; MidLineView, a bar in
// the middle of a crop-area edge; CropAreaView, the crop rectangle with its
// border and optional thirds lines. Lengths in points.

#include <memory>

#include "platform/ui/UIView.h"

class CornerView : public UIView {
public:
    // Positions.
    enum : int { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };

    CornerView(const CGRect& frame, const UIColor& lineColor, double lineWidth);

    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double w);         // redraws
    const UIColor& lineColor() const { return lineColor_; }
    void setLineColor(const UIColor& c);  // recolours the drawn L
    int cornerPosition() const { return position_; }
    void setCornerPosition(int p);        // redraws

    // The corner sharing this one's x (same column) and y (same row); not owned.
    std::shared_ptr<CornerView> relativeViewX() const { return relativeX_.lock(); }
    void setRelativeViewX(const std::shared_ptr<CornerView>& v) { relativeX_ = v; }
    std::shared_ptr<CornerView> relativeViewY() const { return relativeY_.lock(); }
    void setRelativeViewY(const std::shared_ptr<CornerView>& v) { relativeY_ = v; }

    // Takes the new size with its outer corner where it is; redraws.
    void updateSizeWithWidth(double width, double height);
    const std::shared_ptr<CAShapeLayer>& cornerShapeLayer() const { return layer_; }

private:
    void drawCornerLines();
    double lineWidth_ = 0;
    UIColor lineColor_;
    int position_ = TopLeft;
    std::weak_ptr<CornerView> relativeX_, relativeY_;
    std::shared_ptr<CAShapeLayer> layer_;
};

class MidLineView : public UIView {
public:
    enum : int { Top = 0, Bottom = 1, Left = 2, Right = 3 };

    // A 44 × 44 view with the bar in its middle.
    MidLineView(double lineWidth, double lineHeight, const UIColor& lineColor);

    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double w);  // the bar's length; redraws
    double lineHeight() const { return lineHeight_; }
    void setLineHeight(double h);  // the bar's thickness, at once
    const UIColor& lineColor() const { return lineColor_; }
    void setLineColor(const UIColor& c);
    int type() const { return type_; }
    void setType(int t);  // redraws
    const std::shared_ptr<CAShapeLayer>& lineLayer() const { return layer_; }

private:
    void drawMidLine();
    double lineWidth_ = 0, lineHeight_ = 0;
    UIColor lineColor_;
    int type_ = Top;
    std::shared_ptr<CAShapeLayer> layer_;
};

class CropAreaView : public UIView {
public:
    CropAreaView();

    void setFrame(const CGRect& frame) override;
    void setBounds(const CGRect& bounds) override;

    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double w);
    const UIColor& borderColor() const { return borderColor_; }
    void setBorderColor(const UIColor& c);
    double crossLineWidth() const { return crossLineWidth_; }
    void setCrossLineWidth(double w);
    const UIColor& crossLineColor() const { return crossLineColor_; }
    void setCrossLineColor(const UIColor& c);
    bool showCrossLines() const { return showCrossLines_; }
    void setShowCrossLines(bool show);

    const std::shared_ptr<CAShapeLayer>& borderLayer() const { return borderLayer_; }
    // Exists only while the thirds lines are shown.
    const std::shared_ptr<CAShapeLayer>& crossLineLayer() const { return crossLineLayer_; }

    // The first subview whose frame holds the point (the edge handles stick
    // out of the area), else this view inside its bounds, else none.
    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override;

private:
    void createBorderLayer();
    void resetBorderLayerPath();
    void showCrossLineLayer();
    bool showCrossLines_ = false;
    double crossLineWidth_ = 0, borderWidth_ = 0;
    UIColor crossLineColor_, borderColor_;
    std::shared_ptr<CAShapeLayer> borderLayer_, crossLineLayer_;
};
