#pragma once
// The pictures the user-centre stand-in serves: PNG and JPEG files drawn
// at start in plain colours, kept in memory by name and served under one
// route ("/pictures/<name>", the name percent-encoded in the address). The
// list replies name them by address, so icons and cards load as they would
// from the publisher's image server. Thread-safe.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/graphics/UIColor.h"

namespace standin {

class PictureShelf {
public:
    static constexpr const char* kRoute = "/pictures/";

    struct Picture {
        std::string bytes;
        std::string contentType;  // "image/png" or "image/jpeg"
    };

    // The shelf holds the default pictures: "icon.png" and "icon.jpg"
    // (128 × 128) and "card-1.jpg" to "card-3.jpg" (690 × 300).
    PictureShelf();

    // Draws a picture of one colour with a lighter disc: PNG when the name
    // ends in ".png", else JPEG. False when the size is not 1...4096 a side.
    bool draw(const std::string& name, int width, int height, const UIColor& colour);
    // Stores bytes as they are.
    void put(const std::string& name, Picture picture);
    // Draws what a list of {"name", "width", "height", "color": "#RRGGBB"}
    // asks for; entries that do not read are skipped. The count drawn.
    size_t drawAll(const Value& list);

    std::optional<Picture> find(const std::string& name) const;
    std::vector<std::string> names() const;

    // The route's path for a name (percent-encoded).
    static std::string pathFor(const std::string& name);

private:
    mutable std::mutex mutex_;
    std::map<std::string, Picture> pictures_;
};

}  // namespace standin
