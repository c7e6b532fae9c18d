// Values put into the page's scripts: the literal reads back (as JSON, a
// subset of JavaScript) as exactly the text, with U+FFFD for bad bytes, and
// nothing in it could end the literal or the script element early.

#include "FuzzSupport.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::text(data, size);
    std::string literal = strings::jsStringLiteral(text);
    FUZZ_CHECK(literal.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(literal.find("\xE2\x80\xA8") == std::string::npos);
    FUZZ_CHECK(literal.find("\xE2\x80\xA9") == std::string::npos);
    FUZZ_CHECK(literal.find("</") == std::string::npos);
    auto back = Value::fromJSON(literal);
    FUZZ_CHECK(back && back->isString());
    FUZZ_CHECK(*back->getString() == strings::validUTF8(text));
    return 0;
}
