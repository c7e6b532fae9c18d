#pragma once
// Draws view trees into a context. A window's focused control
// (UIWindow::focusedView) gets a focus ring while it is reachable: just
// outside it, drawn over it, and pulled in where its ancestors would cut
// it off. A window is drawn whole for images and
// PNGs; the GTK host draws the windows in bands around the native widgets
// (web views) it stacks: band 0 is everything before the first native view
// in drawing order, band k everything after the k-th and before the next.
// Which native view closes which band is the host's stacking order, so
// drawing and stacking cannot disagree.

#include <functional>
#include <memory>

#include "platform/graphics/CGContext.h"

class UIView;
class CALayer;

class ViewRenderer {
public:
    // The host's place of a native view (0 for the lowest), or -1 when the
    // host does not stack it (it is not drawn and ends no band).
    using StackIndex = std::function<int(const UIView&)>;

    // Draws everything.
    explicit ViewRenderer(CGContext& ctx) : ctx_(ctx) {}
    // Draws only band `band`.
    ViewRenderer(CGContext& ctx, int band, StackIndex stackIndex)
        : ctx_(ctx), band_(band), stackIndex_(std::move(stackIndex)) {}
    // Draws `view` placed by its own geometry (`asRoot`: at its bounds, for a window).
    void render(const UIView& view, bool asRoot = false);
    // Draws `layer` (for a view's layer: the view) at its bounds, without
    // its place in its superlayer: a picture of it for a transition.
    void renderAtBounds(CALayer& layer);

private:
    void renderView(const UIView& view, bool asRoot);
    void renderLayerTree(CALayer& layer);
    void renderLayerBody(CALayer& layer);
    // A running fade: ends the group pushed for the layer's new look and
    // paints the old look dissolving into it.
    void paintFade(const CALayer& layer, const CGRect& bounds);
    void paintLayerContent(CALayer& layer, const CGRect& bounds, double cornerRadius);
    void paintShadow(CALayer& layer, const CGRect& bounds);
    void paintBorder(CALayer& layer, const CGRect& bounds, double cornerRadius);
    // Ends the group pushed for `layer` and paints it, through the layer's mask, at `alpha`.
    void paintGroup(CALayer& layer, double alpha);
    bool painting() const;
    void paintFocusRing(const UIView& view);

    CGContext& ctx_;
    int band_ = -1;  // -1: all
    StackIndex stackIndex_;
    int currentBand_ = 0;
    std::shared_ptr<UIView> focused_;
};
