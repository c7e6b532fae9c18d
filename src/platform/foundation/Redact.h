#pragma once
// Credentials and personal data never reach a log whole. A log line keeps
// its wording, but a token, password, key or sign in it shows as its first
// 4 characters and "…", and a name, ID number or phone number as its first
// character and "…" (characters are UTF-16 units, a surrogate pair kept
// whole; a text no longer than what would show shows only "…"). Shortening
// again changes nothing.
//
// Which values those are, by the key they sit under:
// - credentials: keys whose name holds "token", "password", "passwd",
//   "pwd", "secret", "key", "sign", "cookie" or "authorization", or whose
//   last word is "pass", "auth" or "ticket" ("user_pass", "XAuth",
//   "loginTicket"; not "passport", "author" or "ticket_count"; words end
//   at anything but a letter or digit and where a capital starts one), any
//   case; and the caller's `Keys::secret`;
// - personal data: keys that are, ignoring case, "_" and "-", one of
//   phone, phone_no, phone_number, mobile, mobile_no, mobile_phone,
//   cellphone, tel, telephone, real_name, true_name, id_card, id_card_no,
//   id_no, id_number, identity_card, identity_no, and the caller's
//   `Keys::personal`.
// The caller's keys are a wire format's terse names, matched whole, in any
// case ("ID" as "id").
//
// Where they are found:
// - in a dictionary, every scalar anywhere below such a key (texts,
//   numbers, booleans, data, dates; they become texts) is shortened; null
//   stays null; the shape stays, and so do keys, except below such a key,
//   where a key may be the credential ({"token": {"<token>": true}}) and is
//   shortened as a value is (keys that then coincide keep their values
//   together, in a list), unless it names personal data below a credential
//   key;
// - a text elsewhere that is a JSON text ('{', '[' or '"' first, and it
//   parses) is looked into the same way and written back compactly when
//   something in it was shortened (as it was, byte for byte, otherwise);
// - a text holding "?", "#" or "://" is read as an address: the password of
//   its user part (after ":" or an escaped one, "%3A"), and the values of
//   its credential and personal parameters in the path (";name=value" in a
//   segment), query and fragment ("&", ";", "?" and "#" all separate
//   pairs), are shortened; every other value, percent-decoded, is looked
//   into as a text in turn.
// Texts are looked into at most 3 deep (a JSON text in a reply, an address
// in it, a JSON text in that address's query; an address given to url()
// is the first of its 3). A text deeper than that which would be looked
// into is shortened whole as a credential, so nothing hides by nesting, and
// the work stays linear in the size: each byte is read at most 3 times more.
//
// Not looked into: texts that only resemble JSON (a truncated body), form
// bodies outside an address ("a=1&token=…"), and free prose.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace redact {

// A wire format's terse names, matched whole, beside the names above.
struct Keys {
    std::vector<std::string> secret;    // such as "p" for a password's digest
    std::vector<std::string> personal;  // such as "sj" for a phone number
};

std::string secret(const std::string& text);
std::string personal(const std::string& text);
// A copy of `v` with the credentials and personal data in it shortened.
Value credentials(const Value& v, const Keys& keys = {});
// The JSON text of `v` so shortened: what a log line prints.
std::string json(const Value& v, const Keys& keys = {});
// The same for an optional reply; "(none)" without one.
std::string json(const std::optional<Value>& v);
// An address so shortened ("...?user=a&sign=1f3e…"); the rest as it is.
std::string url(const std::string& address, const Keys& keys = {});

}  // namespace redact
