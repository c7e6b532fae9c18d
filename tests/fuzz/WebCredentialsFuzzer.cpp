// What the shared web credentials take from outside: the domains, accounts
// and passwords callers hand in, the sites a bundle declares, and items in
// the shared keyring that anyone may have written. A host name is accepted
// only as the lower-case text of letters, digits, dots and inner hyphens it
// was, reads back the same, and never looks like an address; an account or
// password accepted is UTF-8 without what would break or disguise it; a
// stored item becomes a credential of its own site only.
//
// The input is cut at the first three 0xff bytes into the asked host, the
// item's server, its user and its secret (0xff never occurs in UTF-8).

#include <algorithm>

#include "FuzzSupport.h"
#include "platform/foundation/Strings.h"
#include "platform/security/SharedWebCredentials.h"

namespace {

void checkDomain(std::string_view text) {
    auto host = webcredentials::normalizedDomain(text);
    if (!host) return;
    FUZZ_CHECK(*host == strings::toLower(text));
    FUZZ_CHECK(host->size() <= 253);
    FUZZ_CHECK(std::all_of(host->begin(), host->end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    }));
    FUZZ_CHECK(host->find("..") == std::string::npos && host->front() != '.' && host->back() != '.');
    FUZZ_CHECK(host->find('.') != std::string::npos);
    FUZZ_CHECK(webcredentials::normalizedDomain(*host) == host);
    auto top = host->substr(host->rfind('.') + 1);
    FUZZ_CHECK(!std::all_of(top.begin(), top.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

void checkAccount(std::string_view text) {
    if (!webcredentials::isAcceptableAccount(text)) return;
    FUZZ_CHECK(!text.empty() && text.size() <= 256 && strings::isValidUTF8(text));
    FUZZ_CHECK(std::none_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7f; }));
    FUZZ_CHECK(text.find("\xe2\x80\xae") == std::string_view::npos);  // right-to-left override
}

void checkPassword(std::string_view text) {
    if (!webcredentials::isAcceptablePassword(text)) return;
    FUZZ_CHECK(!text.empty() && text.size() <= 4096 && strings::isValidUTF8(text));
    FUZZ_CHECK(text.find('\0') == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view all = fuzz::text(data, size);
    checkDomain(all);
    checkAccount(all);
    checkPassword(all);

    std::string_view parts[4];
    std::string_view rest = all;
    for (int i = 0; i < 3; ++i) {
        size_t cut = rest.find('\xff');
        if (cut == std::string_view::npos) return 0;
        parts[i] = rest.substr(0, cut);
        rest.remove_prefix(cut + 1);
    }
    parts[3] = rest;
    auto host = webcredentials::normalizedDomain(parts[0]);
    if (!host) return 0;
    auto credential = webcredentials::credentialFromItem(*host, parts[1], parts[2], parts[3]);
    if (!credential) return 0;
    FUZZ_CHECK(credential->server == *host);
    FUZZ_CHECK(webcredentials::normalizedDomain(parts[1]) == host);
    FUZZ_CHECK(credential->account == parts[2] && webcredentials::isAcceptableAccount(credential->account));
    FUZZ_CHECK(credential->password == parts[3] && webcredentials::isAcceptablePassword(credential->password));
    return 0;
}
