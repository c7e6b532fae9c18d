// The channel file, plain or as an encrypted archive, read as the
// aggregator reads it from the bundle: always a dictionary. A plain
// dictionary with entries is taken as it is; anything that reads from the
// encrypted form encrypts and reads back the same.
//
// Input: byte 0 chooses whether the rest is the file as it is, or the
// plain bytes that are encrypted first (to reach the archive reader).

#include <fstream>

#include "FuzzSupport.h"
#include "aggregator/Extend.h"
#include "aggregator/RelayChannelConfig.h"
#include "platform/foundation/KeyedArchive.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view rest = fuzz::text(data + 1, size - 1);
    Data file = data[0] & 1 ? Extend::des128Encryptt(rest, RelayChannelConfig::kFileKey) : Data(rest.begin(), rest.end());
    auto path = fuzz::scratchFolder() / "relayChannel.cfg";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(file.data()), file.size());
    Value config = RelayChannelConfig::read(path);
    FUZZ_CHECK(config.isDict());
    if (auto plain = Value::fromPlist(file); plain && plain->isDict() && !plain->empty()) FUZZ_CHECK(config == *plain);
    if (auto archived = RelayChannelConfig::decryptArchive(file)) {
        Data again = Extend::des128Encryptt(Extend::view(keyedarchive::archive(*archived)), RelayChannelConfig::kFileKey);
        auto back = RelayChannelConfig::decryptArchive(again);
        FUZZ_CHECK(back.has_value());
        FUZZ_CHECK(keyedarchive::archive(*back) == keyedarchive::archive(*archived));
    }
    return 0;
}
