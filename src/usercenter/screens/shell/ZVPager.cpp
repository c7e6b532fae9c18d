#include "usercenter/screens/shell/ZVPager.h"

#include <cmath>
#include <limits>

#include "platform/foundation/Strings.h"
#include "usercenter/core/ZVResponses.h"

std::shared_ptr<ZVPager> ZVPager::create(Send send) { return create(std::move(send), Shape{}); }

std::shared_ptr<ZVPager> ZVPager::create(Send send, Shape shape) {
    return std::make_shared<ZVPager>(std::move(send), std::move(shape));
}

int32_t ZVPager::counter(const Value& v) {
    double d = v.doubleValue();
    if (!std::isfinite(d)) return 0;
    d = std::clamp(d, double(std::numeric_limits<int32_t>::min()), double(std::numeric_limits<int32_t>::max()));
    return int32_t(d);
}

std::optional<int32_t> ZVPager::pageCounter(const Value& v) {
    std::optional<double> n;
    if (v.isInteger() || v.isReal()) n = v.getNumber();
    else if (auto s = v.getString()) {
        std::string t = strings::trim(*s);
        if (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos && t.size() <= 10) n = std::stod(t);
    }
    if (!n || *n < 1 || *n > std::numeric_limits<int32_t>::max() || *n != std::floor(*n)) return std::nullopt;
    return int32_t(*n);
}

std::vector<Value> ZVPager::dictionariesIn(const Value& array) {
    std::vector<Value> out;
    if (auto list = array.getArray())
        for (auto& v : *list)
            if (v.isDict()) out.push_back(v);
    return out;
}

const Value& ZVPager::at(const Value& reply, const std::vector<std::string>& path) {
    const Value* v = &reply;
    for (auto& key : path) v = &(*v)[key];
    return *v;
}

std::vector<Value> ZVPager::rowsOf(const Value& reply) { return rowsOf(reply, Shape{}); }

std::vector<Value> ZVPager::rowsOf(const Value& reply, const Shape& shape) { return dictionariesIn(at(reply, shape.rows)); }

int32_t ZVPager::counterAt(const Value& reply, const std::vector<std::string>& path) const {
    return path.empty() ? 1 : counter(at(reply, path));
}

bool ZVReplyGenerations::superseded(uint64_t generation) {
    if (generation == current_) return false;
    ++dropped_;
    return true;
}

void ZVPager::request(int32_t pagecode, uint64_t generation, std::function<void(const Value*)> answer) {
    std::weak_ptr<ZVPager> weak = shared_from_this();
    send_(
        pagecode,
        [weak, generation, answer](const Value& reply) {
            auto self = weak.lock();
            if (self && !self->generations_.superseded(generation)) answer(reply.isDict() ? &reply : nullptr);
        },
        [weak, generation, answer](const Error&) {
            auto self = weak.lock();
            if (self && !self->generations_.superseded(generation)) answer(nullptr);
        });
}

void ZVPager::loadFirst(Loaded loaded, Failed failed, Refused refused) {
    if (pageBeforeMore_) page_ = *std::exchange(pageBeforeMore_, std::nullopt);
    uint64_t generation = generations_.begin();
    firstOut_ = true;
    request(1, generation, [this, loaded, failed, refused](const Value* reply) {
        firstOut_ = false;
        if (reply && shape_.firstNeedsStatus && !ZVReplySucceeded(*reply, "a")) {
            if (refused) refused(*reply);
            else if (failed) failed();
            return;
        }
        if (!reply) {
            if (failed) failed();
            return;
        }
        page_ = counterAt(*reply, shape_.nowPage);
        totalPage_ = counterAt(*reply, shape_.totalPage);
        if (loaded) loaded(Page{*reply, rowsOf(*reply, shape_)});
    });
}

bool ZVPager::loadMore(Loaded loaded, Failed failed) {
    if (firstOut_ || pageBeforeMore_) return false;
    pageBeforeMore_ = page_;
    int32_t next = page_ < std::numeric_limits<int32_t>::max() ? page_ + 1 : page_;
    page_ = next;
    request(next, generations_.current(), [this, loaded, failed](const Value* reply) {
        int32_t before = *std::exchange(pageBeforeMore_, std::nullopt);
        auto now = !reply ? std::nullopt : shape_.nowPage.empty() ? std::optional<int32_t>(1) : pageCounter(at(*reply, shape_.nowPage));
        if (!now) {
            page_ = before;
            if (failed) failed();
            return;
        }
        page_ = *now;
        if (loaded) loaded(Page{*reply, rowsOf(*reply, shape_)});
    });
    return true;
}
