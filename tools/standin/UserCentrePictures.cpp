#include "standin/UserCentrePictures.h"

#include "platform/foundation/Strings.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageIO.h"
#include "standin/UserCentreStandin.h"

namespace standin {

namespace {

constexpr int kLargestSide = 4096;

// "#RRGGBB" as a colour; nullopt for anything else.
std::optional<UIColor> colourOf(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    uint32_t rgb = 0;
    for (char c : text.substr(1)) {
        int digit = std::isdigit(uint8_t(c)) ? c - '0' : (std::tolower(uint8_t(c)) - 'a' + 10);
        if (digit < 0 || digit > 15) return std::nullopt;
        rgb = rgb * 16 + uint32_t(digit);
    }
    return UIColor::fromRGB(rgb);
}

}  // namespace

PictureShelf::PictureShelf() {
    draw("icon.png", 128, 128, UIColor::fromRGB(0x4988FD));
    draw("icon.jpg", 128, 128, UIColor::fromRGB(0xF5A623));
    draw("card-1.jpg", 690, 300, UIColor::fromRGB(0x6137E7));
    draw("card-2.jpg", 690, 300, UIColor::fromRGB(0x2BB673));
    draw("card-3.jpg", 690, 300, UIColor::fromRGB(0xE8505B));
}

bool PictureShelf::draw(const std::string& name, int width, int height, const UIColor& colour) {
    if (width < 1 || height < 1 || width > kLargestSide || height > kLargestSide) return false;
    auto ctx = CGContext::bitmap(CGSize{double(width), double(height)}, true, 1);
    if (!ctx) return false;
    ctx->setFillColor(colour);
    ctx->fillRect(CGRect(0, 0, width, height));
    // A lighter disc, so that scaling and cropping show.
    double side = std::min(width, height) * 0.6;
    ctx->setFillColor(colour.interpolated(UIColor::whiteColor(), 0.45));
    ctx->fillEllipseInRect(CGRect((width - side) / 2, (height - side) / 2, side, side));
    auto image = ctx->makeImage();
    if (!image) return false;
    bool png = strings::hasSuffix(strings::toLower(name), ".png");
    auto bytes = png ? imageio::encodePNG(*image) : imageio::encodeJPEG(*image, 0.9);
    if (!bytes) return false;
    put(name, Picture{std::string(bytes->begin(), bytes->end()), png ? "image/png" : "image/jpeg"});
    return true;
}

void PictureShelf::put(const std::string& name, Picture picture) {
    std::lock_guard lock(mutex_);
    pictures_[name] = std::move(picture);
}

size_t PictureShelf::drawAll(const Value& list) {
    size_t drawn = 0;
    if (!list.isArray()) return 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const Value& p = list[i];
        auto colour = colourOf(p.str("color"));
        if (p.str("name").empty() || !colour) continue;
        drawn += draw(p.str("name"), int(p["width"].intValue()), int(p["height"].intValue()), *colour);
    }
    return drawn;
}

std::optional<PictureShelf::Picture> PictureShelf::find(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = pictures_.find(name);
    if (it == pictures_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> PictureShelf::names() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (auto& [name, picture] : pictures_) out.push_back(name);
    return out;
}

std::string PictureShelf::pathFor(const std::string& name) { return kRoute + strings::percentEncode(name); }

void UserCentreStandin::installPictureRoute() {
    server_->on("GET", std::string(PictureShelf::kRoute) + ".*", [this](const Request& r, JournalEntry& entry) {
        std::string name = strings::percentDecode(r.path.substr(std::string(PictureShelf::kRoute).size()));
        entry.decoded = Value::dict({{"name", name}});
        auto picture = pictures_.find(name);
        if (!picture) return Reply::text("no such picture", "text/plain", 404);
        return Reply::text(picture->bytes, picture->contentType);
    });
}

}  // namespace standin
