// The user-centre stand-in's own routes for the screens: pictures, paged
// lists, web pages and replies held back.

#include <gtest/gtest.h>

#include "platform/graphics/ImageIO.h"
#include "platform/net/URLSession.h"
#include "standin/UserCentreStandin.h"
#include "support/TestSupport.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

URLResult get(const std::string& url) {
    URLRequest r(url, "GET");
    r.timeout = std::chrono::seconds(10);
    return testsupport::offMainThread(
        [&] { return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(r); });
}

TEST(UserCentreStandin, PicturesAreServedByNameAsPNGOrJPEG) {
    UserCentreStandin s;
    EXPECT_EQ(s.pictures().drawAll(Value::array({
                  Value::dict({{"name", "图标.png"}, {"width", 40}, {"height", 20}, {"color", "#00ff00"}}),
                  Value::dict({{"name", "bad-colour.jpg"}, {"width", 4}, {"height", 4}, {"color", "green"}}),
                  Value::dict({{"name", "too-big.jpg"}, {"width", 5000}, {"height", 4}, {"color", "#000000"}}),
                  "not an entry",
              })),
              1u);
    ASSERT_TRUE(s.start());
    struct Case {
        std::string name, type;
        int width, height;
    };
    for (auto& c : std::vector<Case>{{"icon.png", "image/png", 128, 128},
                                     {"icon.jpg", "image/jpeg", 128, 128},
                                     {"card-2.jpg", "image/jpeg", 690, 300},
                                     {"图标.png", "image/png", 40, 20}}) {
        auto r = get(s.pictureURL(c.name));
        ASSERT_TRUE(r.response) << c.name;
        EXPECT_EQ(r.response->statusCode, 200) << c.name;
        EXPECT_EQ(r.response->valueForHTTPHeaderField("Content-Type"), c.type) << c.name;
        auto decoded = imageio::decode(reinterpret_cast<const uint8_t*>(r.body.data()), r.body.size());
        ASSERT_TRUE(decoded) << c.name;
        EXPECT_EQ(decoded->image->width(), c.width) << c.name;
        EXPECT_EQ(decoded->image->height(), c.height) << c.name;
    }
    EXPECT_NE(s.pictureURL("图标.png").find("%E5%9B%BE"), std::string::npos);
    EXPECT_EQ(get(s.pictureURL("missing.png")).response->statusCode, 404);
    EXPECT_EQ(s.journal().last()->decoded.str("name"), "missing.png");
}

}  // namespace
