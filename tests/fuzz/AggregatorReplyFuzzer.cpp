// Replies of the aggregator's servers, any bytes, read as its typed reads
// read them: a success is a dictionary whose "result" is true, "data" is
// always a dictionary, an error id is a whole number the reply spelled, and
// the JSON reader's value writes back to text that reads as the same value.

#include <cmath>

#include "FuzzSupport.h"
#include "aggregator/Extend.h"
#include "aggregator/RelayReply.h"
#include "platform/foundation/Strings.h"

namespace {

bool hasNaN(const Value& v) {
    if (v.isReal()) return std::isnan(*v.getNumber());
    if (auto a = v.getArray())
        for (auto& e : *a)
            if (hasNaN(e)) return true;
    if (auto d = v.getDict())
        for (auto& [k, e] : *d)
            if (hasNaN(e)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto reply = Extend::dictionaryFromJsonData(fuzz::text(data, size));
    bool success = RelayReply::succeeded(reply);
    if (success) FUZZ_CHECK(reply->isDict() && (*reply)["result"].getBool() == true);
    FUZZ_CHECK(RelayReply::data(reply).isDict());
    if (auto id = RelayReply::errorId(reply)) {
        const Value& spelled = (*reply)["error"]["id"];
        FUZZ_CHECK(spelled.isString() ? spelled.getString()->find_first_of("0123456789") != std::string::npos
                                      : spelled.getInteger() == *id);
    }
    std::string message = RelayReply::errorMessage(reply);
    if (!message.empty()) FUZZ_CHECK((*reply)["error"]["message"].stringOr() == message);
    if (reply && !hasNaN(*reply) && strings::isValidUTF8(fuzz::text(data, size))) {
        auto again = Value::fromJSON(reply->toJSON());
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->toJSON() == reply->toJSON());
    }
    return 0;
}
