// Replies of the user-centre server's core calls (login, real name, SDK
// information, payment ways, orders), any JSON, read through their reply
// models: a dictionary always gives a model, its status is the one the
// reply-status read gives, success is status 1 and nothing else, and a
// model's own key values read back as the same model.

#include "FuzzSupport.h"
#include "usercenter/core/ZVResponses.h"

namespace {

template <class M>
void roundTrip(const Value& reply) {
    auto model = zv::objectWithKeyValues<M>(reply);
    FUZZ_CHECK(model.has_value() == reply.isDict());
    if (!model) return;
    Value written = zv::keyValues(*model);
    auto again = zv::objectWithKeyValues<M>(written);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(zv::keyValues(*again).toJSON() == written.toJSON());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Value reply = zv::parseKeyValues(fuzz::text(data, size));
    auto base = ZVBaseResponse::responseWithDic(reply);
    auto status = ZVReplyStatus(reply);
    if (base) {
        FUZZ_CHECK(base->code == status.value_or(0));
        FUZZ_CHECK(base->isSuccess() == (status == 1));
    }
    roundTrip<LoginResult>(reply);
    roundTrip<rzResult>(reply);
    roundTrip<SdkInfoResult>(reply);
    roundTrip<PayWayResult>(reply);
    roundTrip<PayOrderResult>(reply);
    if (auto ways = zv::objectWithKeyValues<PayWayResult>(reply)) FUZZ_CHECK(ways->ways.size() <= reply["c"].size());
    return 0;
}
