#pragma once
// The channel configuration file: the bundle resource "relayChannel.cfg",
// a property-list dictionary, or the same dictionary as a keyed archive
// encrypted with DES (ECB, PKCS#7) under the key text "pxqvbtrok".

#include <filesystem>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace RelayChannelConfig {

inline constexpr const char* kFileKey = "pxqvbtrok";

// The file in the main bundle; nullopt when there is none.
std::optional<std::filesystem::path> path();

// Which plain property lists count as the plain form.
enum class PlainForm {
    AnyEntries,           // a dictionary with at least one entry
    MarkedByBundleOrVersion  // a dictionary holding "bundleID" or "version"
};

// The configuration in the file: the plain dictionary when it is one,
// else the decrypted archive's dictionary. Always a dictionary, empty
// when neither form reads (that is logged).
Value read(const std::filesystem::path& file, PlainForm plain = PlainForm::AnyEntries);

// The product a game runs as: the code and key it passes (its Info.plist's),
// which the file's "product_code" replaces, with its "product_key" where it
// has one (a code without a key keeps the game's key: without one no
// request could be signed). An empty code in the file names nothing.
struct Product {
    std::string code, key;
};
Product productOf(const Value& config, Product passed);

// DES decryption under the ASCII key text's first 8 bytes; nullopt on failure.
std::optional<Data> decrypt(const Data& bytes, const std::string& key);

// The dictionary of an encrypted archive; nullopt when it does not decrypt,
// does not unarchive or does not hold a dictionary.
std::optional<Value> decryptArchive(const Data& bytes);

}  // namespace RelayChannelConfig
