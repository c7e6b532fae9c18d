#pragma once
// Nibs are ours to make: a nib is a class deriving from UINibLayout,
// registered under the nib's name (REGISTER_CLASS_AS(ImageCropViewNib,
// "ImageCropView")), that builds the nib's views in code and connects its
// outlets and actions to the owner, as loading the file would.
//
// A layout is found by name only, so its library must be linked in (the
// application references a symbol of it); a name nobody registered loads
// nothing.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/ui/UIView.h"

class UINibLayout : public NSObject {
public:
    // The nib's top-level views, outlets and actions set on `owner` (which
    // may be null, or of a class the layout does not know: then nothing is
    // connected).
    virtual std::vector<std::shared_ptr<UIView>> instantiateWithOwner(NSObject* owner) = 0;
};

class UINib {
public:
    // nullptr when no layout is registered under the name.
    static std::shared_ptr<UINib> nibWithNibName(const std::string& name);
    std::vector<std::shared_ptr<UIView>> instantiateWithOwner(NSObject* owner) const;

    explicit UINib(std::shared_ptr<UINibLayout> layout) : layout_(std::move(layout)) {}

private:
    std::shared_ptr<UINibLayout> layout_;
};
