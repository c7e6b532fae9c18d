// Replies of the comment list and thread ({"a", "b", "c": page}): any JSON
// text, read as the screens read it. Every row that is a dictionary becomes
// one model; what a card shows of a model is valid UTF-8 and never "(null)"
// unless the reply says it;
// a paid badge needs a "paypic" dictionary; a ribbon needs a level from 1;
// a like counts one more and disables the button.

#include "FuzzSupport.h"
#include "platform/foundation/Strings.h"
#include "usercenter/screens/shell/ZVPager.h"
#include "usercenter/screens/strategy/ZVPingModel.h"

namespace {
bool replySaysNull = false;

void checkShown(const std::string& text) {
    FUZZ_CHECK(strings::isValidUTF8(text));
    FUZZ_CHECK(replySaysNull || text.find("(null)") == std::string::npos);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto reply = Value::fromJSON(fuzz::text(data, size));
    if (!reply) return 0;
    replySaysNull = fuzz::anyTextHolds(*reply, "(null)");
    auto rows = ZVPager::rowsOf((*reply)["c"]);
    auto models = ZVPingModel::modelsOf(rows);
    FUZZ_CHECK(models.size() == rows.size());
    for (auto& m : models) {
        checkShown(m->likesText());
        checkShown(m->ribbonText());
        checkShown(m->paidBadgeURL());
        checkShown(m->Id.textValue());
        FUZZ_CHECK(!m->hasPaidBadge() || m->paypic.isDict());
        FUZZ_CHECK(m->hasRibbon() == (m->rewardLevel() >= 1));
        int64_t before = m->likes();
        m->addLike();
        FUZZ_CHECK(m->liked());
        if (before < INT64_MAX) FUZZ_CHECK(m->likes() == before + 1);
    }
    return 0;
}
