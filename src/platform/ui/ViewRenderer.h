#pragma once
// Draws view trees into a context. A window is drawn in one pass for
// images and PNGs; the GTK host draws it in two, around the native widgets
// (the web view): "below" paints everything before the first native view
// in drawing order, "above" everything after it.

#include "platform/graphics/CGContext.h"

class UIView;
class CALayer;

class ViewRenderer {
public:
    enum class Pass { All, Below, Above };
    ViewRenderer(CGContext& ctx, Pass pass) : ctx_(ctx), pass_(pass) {}
    // Draws `view` placed by its own geometry (`asRoot`: at its bounds, for a window).
    void render(const UIView& view, bool asRoot = false);

private:
    void renderView(const UIView& view, bool asRoot);
    void renderLayerTree(CALayer& layer);
    void paintLayerContent(CALayer& layer, const CGRect& bounds, double cornerRadius);
    void paintShadow(CALayer& layer, const CGRect& bounds);
    void paintBorder(CALayer& layer, const CGRect& bounds, double cornerRadius);
    // Ends the group pushed for `layer` and paints it, through the layer's mask, at `alpha`.
    void paintGroup(CALayer& layer, double alpha);
    bool painting() const;

    CGContext& ctx_;
    Pass pass_;
    bool seenNative_ = false;
};
