#pragma once
// Paging of one list, shared by every paged screen of the user centre: the
// first page, the pages after it, the page counters, and which replies
// still count. Replies of a list carry "lists" (the rows), "now_page" and
// "total_page" at the top, unless the list names another Shape (where its
// rows and counters lie, and whether a first page needs "a" = 1).
//
// - A first load asks for page 1 and supersedes every load before it: their
//   replies, when they come, are dropped (nothing is cancelled), and a
//   load-more it supersedes gives back the page it had counted on.
// - A load-more asks for `page` + 1, stored in `page` before the request; a
//   failure puts `page` back, and so does a reply without a usable page
//   counter ("now_page" a whole number from 1, as number or text). It is
//   refused while a first load is out: that load sets the counters.
// - Replies are read through typed accessors only: a reply that is no
//   dictionary fails; rows that are no array give no rows; rows that are
//   no dictionaries are left out. A first page of a list whose shape asks
//   for a status is refused unless its "a" reads as 1: the counters stay.
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "usercenter/core/ZVNetwork.h"

// Which reply still counts when requests of one screen overlap: each
// request begun supersedes those before it, whose replies are then dropped
// when they come (nothing is cancelled).
class ZVReplyGenerations {
public:
    uint64_t begin() { return ++current_; }
    uint64_t current() const { return current_; }
    // True, and counted as dropped, when a later request has begun.
    bool superseded(uint64_t generation);
    uint64_t dropped() const { return dropped_; }

private:
    uint64_t current_ = 0, dropped_ = 0;
};

class ZVPager : public std::enable_shared_from_this<ZVPager> {
public:
    // Sends the request of one page: exactly one of the blocks runs later.
    using Send = std::function<void(int32_t pagecode, ZVSuccess success, ZVFailure failure)>;
    struct Page {
        Value reply;
        std::vector<Value> rows;
    };
    using Loaded = std::function<void(const Page& page)>;
    using Failed = std::function<void()>;
    // A first page the server refused, with its reply.
    using Refused = std::function<void(const Value& reply)>;

    // Where a list's reply holds its rows and counters: key paths from the
    // reply's top ({"c", "lists"}); an empty counter path reads as 1 (a list
    // of one page).
    struct Shape {
        std::vector<std::string> rows{"lists"}, nowPage{"now_page"}, totalPage{"total_page"};
        bool firstNeedsStatus = false;
    };

    static std::shared_ptr<ZVPager> create(Send send);
    static std::shared_ptr<ZVPager> create(Send send, Shape shape);

    // Page 1; `loaded`, `refused` (or, when it is empty, `failed`) or
    // `failed` runs unless a later first load came first.
    void loadFirst(Loaded loaded, Failed failed, Refused refused = {});
    // The next page; false (nothing sent, nothing runs) while a first load is out.
    bool loadMore(Loaded loaded, Failed failed);

    int32_t page() const { return page_; }
    int32_t totalPage() const { return totalPage_; }
    bool hasMore() const { return totalPage_ > page_; }
    bool isFirstLoadOut() const { return firstOut_; }
    // Replies dropped because a later first load superseded them.
    uint64_t droppedReplies() const { return generations_.dropped(); }

    // A counter read forgivingly (numbers or numeric text, clamped to 32 bits; else 0).
    static int32_t counter(const Value& v);
    // A usable page counter: a whole number from 1.
    static std::optional<int32_t> pageCounter(const Value& v);
    // The dictionary rows of a reply's "lists" (or where `shape` puts them).
    static std::vector<Value> rowsOf(const Value& reply);
    static std::vector<Value> rowsOf(const Value& reply, const Shape& shape);
    // The dictionaries of an array, in order; none for anything else.
    static std::vector<Value> dictionariesIn(const Value& array);
    // The value at a key path ({"c", "now_page"}).
    static const Value& at(const Value& reply, const std::vector<std::string>& path);
    const Shape& shape() const { return shape_; }

    ZVPager(Send send, Shape shape) : send_(std::move(send)), shape_(std::move(shape)) {}

private:
    void request(int32_t pagecode, uint64_t generation, std::function<void(const Value*)> answer);

    int32_t counterAt(const Value& reply, const std::vector<std::string>& path) const;

    Send send_;
    Shape shape_;
    int32_t page_ = 0, totalPage_ = 0;
    ZVReplyGenerations generations_;
    bool firstOut_ = false;
    std::optional<int32_t> pageBeforeMore_;  // while a load-more is out
};
