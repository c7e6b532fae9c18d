#pragma once
// The crop view: one image fitted to the view's aspect ratio, dimmed
// outside a crop area that the player moves (drag inside it), resizes (drag
// a corner, an edge handle, or pinch) and cuts out (currentCroppedImage).
// Lengths are points of imageView's space. Make it with create(): it
// builds its tree and gestures once, holding itself weakly.
//
// Every setFrame or setCenter of the view, a move as well as a resize, puts
// the crop area back to its initial size and centre.

#include <memory>
#include <optional>

#include "platform/graphics/UIImage.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIImageView.h"
#include "plugin/iOS/RAZ5Orered/CropImage/CropOverlayViews.h"

class CRImageView : public UIView {
public:
    static std::shared_ptr<CRImageView> create(const CGRect& frame = CGRect());

    void setFrame(const CGRect& frame) override;
    void setCenter(CGPoint center) override;

    // ---- Settings (defaults in the comments)
    const std::shared_ptr<UIImage>& toCropImage() const { return toCropImage_; }
    void setToCropImage(std::shared_ptr<UIImage> image);  // none
    double cropAspectRatio() const { return cropAspectRatio_; }
    void setCropAspectRatio(double r);  // 0 (free); negatives count as 0
    double initialScaleFactor() const { return initialScaleFactor_; }
    void setInitialScaleFactor(double s);  // 0; capped at 1; no re-layout
    double minSpace() const { return minSpace_; }
    void setMinSpace(double s);  // 10
    bool needScaleCrop() const { return needScaleCrop_; }
    void setNeedScaleCrop(bool v);  // NO: pinching resizes the area when YES
    bool showMidLines() const { return showMidLines_; }
    void setShowMidLines(bool v);  // NO: edge handles (only without an aspect ratio)
    bool showCrossLines() const { return showCrossLines_; }
    void setShowCrossLines(bool v);  // NO: thirds lines
    bool cornerBorderInImage() const { return cornerBorderInImage_; }
    void setCornerBorderInImage(bool v);  // NO: corners may stick out of the image
    const std::optional<UIColor>& maskColor() const { return maskColor_; }
    void setMaskColor(const UIColor& c);  // none: black at alpha 0.8
    const UIColor& cropAreaBorderLineColor() const { return borderLineColor_; }
    void setCropAreaBorderLineColor(const UIColor& c);  // white at 0.8
    double cropAreaBorderLineWidth() const { return borderLineWidth_; }
    void setCropAreaBorderLineWidth(double w);  // 2
    const UIColor& cropAreaCornerLineColor() const { return cornerLineColor_; }
    void setCropAreaCornerLineColor(const UIColor& c);  // white
    double cropAreaCornerLineWidth() const { return cornerLineWidth_; }
    void setCropAreaCornerLineWidth(double w);  // 4
    double cropAreaCornerWidth() const { return cornerWidth_; }
    void setCropAreaCornerWidth(double w);  // 20
    double cropAreaCornerHeight() const { return cornerHeight_; }
    void setCropAreaCornerHeight(double h);  // 20
    double cropAreaCrossLineWidth() const { return crossLineWidth_; }
    void setCropAreaCrossLineWidth(double w);  // 2
    const UIColor& cropAreaCrossLineColor() const { return crossLineColor_; }
    void setCropAreaCrossLineColor(const UIColor& c);  // white at 0.8
    double cropAreaMidLineWidth() const { return midLineWidth_; }
    void setCropAreaMidLineWidth(double w);  // 20
    double cropAreaMidLineHeight() const { return midLineHeight_; }
    void setCropAreaMidLineHeight(double h);  // 4
    const UIColor& cropAreaMidLineColor() const { return midLineColor_; }
    void setCropAreaMidLineColor(const UIColor& c);  // white at 0.8
    // How far a corner's outer edge lies outside the crop area.
    double cornerMargin() const { return cornerLineWidth_ - borderLineWidth_; }
    // The minimum space in force (never above minSpace).
    double currentMinSpace() const { return currentMinSpace_; }

    // The part of the image inside the crop area's border, upright, at one
    // pixel per pixel of the upright image: the rectangle rounds outward to
    // whole pixels and is cut to the image; none when nothing is left.
    std::shared_ptr<UIImage> currentCroppedImage() const;

    // ---- The tree
    const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }
    const std::shared_ptr<UIView>& cropMaskView() const { return cropMaskView_; }
    const std::shared_ptr<CropAreaView>& cropAreaView() const { return cropAreaView_; }
    const std::shared_ptr<CornerView>& topLeftCorner() const { return corners_[0]; }
    const std::shared_ptr<CornerView>& topRightCorner() const { return corners_[1]; }
    const std::shared_ptr<CornerView>& bottomLeftCorner() const { return corners_[2]; }
    const std::shared_ptr<CornerView>& bottomRightCorner() const { return corners_[3]; }
    // Top, bottom, left, right; empty while hidden.
    const std::vector<std::shared_ptr<MidLineView>>& midLines() const { return midLines_; }
    const std::shared_ptr<UIPinchGestureRecognizer>& cropAreaPinch() const { return pinch_; }

    // The pinch's work with a scale counted from the gesture's start (the
    // size kept at its start).
    void resetCropAreaByScaleFactor(double scale);

private:
    CRImageView() = default;
    void commonInit();
    void setUp();
    void createCorners();
    void bindPanGestures();

    void resetImageView();
    void resetCropAreaByAspectRatio();
    void resetCropAreaOnCornersFrameChanged();
    void resetCornersOnCropAreaFrameChanged();
    void resetCornersOnSizeChanged();
    void resetCropTransparentArea();
    void resetMinSpaceIfNeeded();
    void createMidLines();
    void resetMidLines();
    void removeMidLines();

    void handleCropAreaPan(UIPanGestureRecognizer& g);
    void handleCornerPan(UIPanGestureRecognizer& g);
    void handleMidPan(UIPanGestureRecognizer& g);
    void handleCropAreaPinch(UIPinchGestureRecognizer& g);

    // Short names of the layout's rules.
    double W() const { return imageView_->bounds().width(); }
    double H() const { return imageView_->bounds().height(); }
    double margin() const { return cornerBorderInImage_ ? cornerMargin() : 0; }  // m

    std::shared_ptr<UIImage> toCropImage_;
    double cropAspectRatio_ = 0, initialScaleFactor_ = 0, minSpace_ = 10, currentMinSpace_ = 10;
    double imageAspectRatio_ = 0;
    bool needScaleCrop_ = false, showMidLines_ = false, showCrossLines_ = false, cornerBorderInImage_ = false;
    std::optional<UIColor> maskColor_;
    UIColor borderLineColor_ = UIColor::colorWithWhite(1, 0.8), cornerLineColor_ = UIColor::whiteColor();
    UIColor crossLineColor_ = UIColor::colorWithWhite(1, 0.8), midLineColor_ = UIColor::colorWithWhite(1, 0.8);
    double borderLineWidth_ = 2, cornerLineWidth_ = 4, cornerWidth_ = 20, cornerHeight_ = 20;
    double crossLineWidth_ = 2, midLineWidth_ = 20, midLineHeight_ = 4;

    std::shared_ptr<UIImageView> imageView_;
    std::shared_ptr<UIView> cropMaskView_;
    std::shared_ptr<CAShapeLayer> maskLayer_;
    std::shared_ptr<CropAreaView> cropAreaView_;
    std::shared_ptr<CornerView> corners_[4];
    std::vector<std::shared_ptr<MidLineView>> midLines_;
    std::shared_ptr<UIPinchGestureRecognizer> pinch_;

    // Kept at a gesture's start.
    CGSize pinchOriSize_;
    CGPoint cropAreaOriCenter_;
    CGRect cropAreaOriFrame_;
};
