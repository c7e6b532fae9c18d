// Replies of the user centre's paged lists: any JSON text, read as the
// lists read it. Rows are dictionaries only and never more than "lists"
// held; counters stay in 32 bits; a usable page counter is a whole number
// from 1 that the forgiving read agrees with; a pager fed the reply for a
// first page and a next page keeps its page where the reply allows; the
// lists that keep their rows elsewhere read only dictionaries as rows, and
// take a first page only on a status the reply models read as 1.

#include "FuzzSupport.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/shell/ZVPager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto reply = Value::fromJSON(fuzz::text(data, size));
    if (!reply) return 0;
    auto rows = ZVPager::rowsOf(*reply);
    FUZZ_CHECK(rows.size() <= (*reply)["lists"].size());
    for (auto& row : rows) FUZZ_CHECK(row.isDict());
    auto page = ZVPager::pageCounter((*reply)["now_page"]);
    if (page) {
        FUZZ_CHECK(*page >= 1);
        FUZZ_CHECK(ZVPager::counter((*reply)["now_page"]) == *page);
    }

    // Both loads answered at once with the reply.
    auto pager = ZVPager::create([&](int32_t, ZVSuccess success, ZVFailure) { success(*reply); });
    bool firstLoaded = false, moreLoaded = false;
    pager->loadFirst([&](const ZVPager::Page& p) { firstLoaded = p.rows.size() == rows.size(); }, [] {});
    FUZZ_CHECK(firstLoaded == reply->isDict());
    int32_t before = pager->page();
    pager->loadMore([&](const ZVPager::Page&) { moreLoaded = true; }, [] {});
    FUZZ_CHECK(moreLoaded == (reply->isDict() && page.has_value()));
    FUZZ_CHECK(pager->page() == (moreLoaded ? *page : before));
    FUZZ_CHECK(!pager->isFirstLoadOut());

    // The lists that keep rows and counters elsewhere (messages, ledgers).
    for (auto shape : {ZVPager::Shape{{"c"}, {"nowpage"}, {"allnum"}, true},
                       ZVPager::Shape{{"c", "lists"}, {"c", "now_page"}, {"c", "total_page"}, false}}) {
        auto other = ZVPager::create([&](int32_t, ZVSuccess success, ZVFailure) { success(*reply); }, shape);
        bool loaded = false;
        other->loadFirst([&](const ZVPager::Page& p) {
            loaded = true;
            for (auto& row : p.rows) FUZZ_CHECK(row.isDict());
        }, [] {}, [](const Value&) {});
        FUZZ_CHECK(!other->isFirstLoadOut());
        // The status is read as the reply models read it.
        if (shape.firstNeedsStatus) FUZZ_CHECK(loaded == (reply->isDict() && ZVReplySucceeded(*reply, "a")));
    }
    return 0;
}
