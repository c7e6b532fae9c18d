#include "platform/security/Digest.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "platform/foundation/Strings.h"

namespace digest {

namespace {

Data run(const EVP_MD* md, std::string_view bytes) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(bytes.data(), bytes.size(), out, &len, md, nullptr);
    return Data(out, out + len);
}

Data hmac(const EVP_MD* md, std::string_view key, std::string_view bytes) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    HMAC(md, key.data(), int(key.size()), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out,
         &len);
    return Data(out, out + len);
}

std::string hex(const Data& d) { return strings::hexEncode(d.data(), d.size()); }

}  // namespace

Data md5(std::string_view b) { return run(EVP_md5(), b); }
Data sha1(std::string_view b) { return run(EVP_sha1(), b); }
Data sha256(std::string_view b) { return run(EVP_sha256(), b); }
Data hmacSha1(std::string_view k, std::string_view b) { return hmac(EVP_sha1(), k, b); }
Data hmacSha256(std::string_view k, std::string_view b) { return hmac(EVP_sha256(), k, b); }
std::string md5Hex(std::string_view b) { return hex(md5(b)); }
std::string sha1Hex(std::string_view b) { return hex(sha1(b)); }
std::string sha256Hex(std::string_view b) { return hex(sha256(b)); }

}  // namespace digest
