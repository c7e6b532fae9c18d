#include "platform/security/Cipher.h"

#include <sys/random.h>

#include <cerrno>

// The block functions are marked deprecated in OpenSSL 3 in favour of EVP,
// whose DES lives in the legacy provider; these need no provider at all.
#define OPENSSL_SUPPRESS_DEPRECATED 1
#include <openssl/des.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cipher {

namespace {

DES_key_schedule schedule(std::string_view key8) {
    DES_cblock key{};
    std::memcpy(key, key8.data(), std::min<size_t>(key8.size(), 8));
    DES_key_schedule ks;
    DES_set_key_unchecked(&key, &ks);
    return ks;
}

void block(const DES_key_schedule& ks, const uint8_t* in, uint8_t* out, int enc) {
    DES_cblock i, o;
    std::memcpy(i, in, 8);
    DES_ecb_encrypt(&i, &o, const_cast<DES_key_schedule*>(&ks), enc);
    std::memcpy(out, o, 8);
}

}  // namespace

Data desEcbEncrypt(std::string_view key8, std::string_view plain) {
    auto ks = schedule(key8);
    size_t pad = 8 - plain.size() % 8;
    Data buf(plain.begin(), plain.end());
    buf.insert(buf.end(), pad, uint8_t(pad));
    Data out(buf.size());
    for (size_t i = 0; i < buf.size(); i += 8) block(ks, buf.data() + i, out.data() + i, DES_ENCRYPT);
    return out;
}

std::optional<Data> desEcbDecrypt(std::string_view key8, std::string_view encrypted) {
    if (encrypted.empty() || encrypted.size() % 8 != 0) return std::nullopt;
    auto ks = schedule(key8);
    Data out(encrypted.size());
    auto in = reinterpret_cast<const uint8_t*>(encrypted.data());
    for (size_t i = 0; i < encrypted.size(); i += 8) block(ks, in + i, out.data() + i, DES_DECRYPT);
    uint8_t pad = out.back();
    if (pad == 0 || pad > 8) return std::nullopt;
    for (size_t i = out.size() - pad; i < out.size(); ++i)
        if (out[i] != pad) return std::nullopt;
    out.resize(out.size() - pad);
    return out;
}

// Straight from the kernel's generator (which seeds OpenSSL's too): the
// first random value of a launch then costs no start-up of OpenSSL's own
// generator (some megabytes of the process, for a few bytes).
Data randomBytes(size_t count) {
    Data out(count);
    for (size_t got = 0; got < count;) {
        ssize_t n = ::getrandom(out.data() + got, count - got, 0);
        if (n > 0) got += size_t(n);
        else if (errno != EINTR) return RAND_bytes(out.data(), int(count)) == 1 ? out : Data(count);
    }
    return out;
}

}  // namespace cipher
