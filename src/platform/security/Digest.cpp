#include "platform/security/Digest.h"

// The plain digests use the block functions, deprecated in OpenSSL 3 in
// favour of EVP: EVP's first use starts OpenSSL's configuration and
// providers (some megabytes of the process), which a launch that only
// hashes a few texts does without.
#define OPENSSL_SUPPRESS_DEPRECATED 1
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include "platform/foundation/Strings.h"

namespace digest {

namespace {

template <class Context, size_t Length>
Data run(int (*init)(Context*), int (*update)(Context*, const void*, size_t), int (*final)(unsigned char*, Context*),
         std::string_view bytes) {
    Context c;
    unsigned char out[Length];
    init(&c);
    update(&c, bytes.data(), bytes.size());
    final(out, &c);
    return Data(out, out + Length);
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

Data md5(std::string_view b) { return run<MD5_CTX, MD5_DIGEST_LENGTH>(MD5_Init, MD5_Update, MD5_Final, b); }
Data sha1(std::string_view b) { return run<SHA_CTX, SHA_DIGEST_LENGTH>(SHA1_Init, SHA1_Update, SHA1_Final, b); }
Data sha256(std::string_view b) { return run<SHA256_CTX, SHA256_DIGEST_LENGTH>(SHA256_Init, SHA256_Update, SHA256_Final, b); }
Data hmacSha1(std::string_view k, std::string_view b) { return hmac(EVP_sha1(), k, b); }
Data hmacSha256(std::string_view k, std::string_view b) { return hmac(EVP_sha256(), k, b); }
std::string md5Hex(std::string_view b) { return hex(md5(b)); }
std::string sha1Hex(std::string_view b) { return hex(sha1(b)); }
std::string sha256Hex(std::string_view b) { return hex(sha256(b)); }

}  // namespace digest
