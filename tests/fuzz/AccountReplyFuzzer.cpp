// The account page's reply payload: any JSON text read as the page reads
// its "c". Texts never say "(null)" unless the reply does, the unread
// count is never negative, and the wallet is always a number with two
// decimals.

#include <cstdlib>

#include "FuzzSupport.h"
#include "usercenter/screens/account/ZVSuUserInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto payload = Value::fromJSON(fuzz::text(data, size));
    if (!payload) return 0;
    auto info = ZVSuUserInfo::fromPayload(*payload);
    if (!fuzz::anyTextHolds(*payload, "(null)"))
        for (const std::string* t : {&info.avatar, &info.vippic, &info.paypic, &info.nickName, &info.account, &info.ptb,
                                     &info.djq, &info.star, &info.wallet, &info.mobile, &info.couponMoney,
                                     &info.couponCount})
            FUZZ_CHECK(t->find("(null)") == std::string::npos);
    FUZZ_CHECK(info.unread >= 0);
    FUZZ_CHECK(!info.nickName.empty());
    auto dot = info.wallet.rfind('.');
    FUZZ_CHECK(dot != std::string::npos && info.wallet.size() - dot == 3);
    FUZZ_CHECK(ZVSuUserInfo::unreadAfterRead(std::to_string(info.unread)) == (info.unread > 0 ? info.unread - 1 : 0));
    return 0;
}
