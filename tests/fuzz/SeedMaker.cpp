// Writes the seed files of the fuzz targets for property lists, keyed
// archives, the channel file, envelopes, replies, the model mapper, paths,
// media requests, log file names, user defaults, EXIF and logged
// credentials (scripts/make-fuzz-seeds): what our own writers make, plus the
// reproducers of faults mended in those readers.
//
//   fuzz_seed_maker CORPUS_FOLDER

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "aggregator/Extend.h"
#include "aggregator/RelayChannelConfig.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/Strings.h"
#include "support/PlistBombs.h"

namespace fs = std::filesystem;

namespace {

fs::path gRoot;

void seed(const std::string& target, const std::string& name, std::string_view bytes) {
    files::writeAtomically(gRoot / target / name, bytes);
}
void seed(const std::string& target, const std::string& name, const Data& bytes) {
    seed(target, name, Extend::view(bytes));
}
Data prefixed(uint8_t first, const Data& rest) {
    Data out{first};
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}
Data hex(std::string_view text) {
    Data out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(uint8_t(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return out;
}

Date at(double seconds) {
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds)));
}

// A value like the stored ones: preferences, a channel file, a device id.
Value sample() {
    return Value::dict({{"ZV_LoginStyle", 2},
                        {"ZV_accounts", Value::array({Value::dict({{"u", "玩家"}, {"p", ""}})})},
                        {"KEY_AntiIndulge_KEY", Value::dict({{"on", true}, {"limit", 5400.5}})},
                        {"when", at(1765000000.25)},
                        {"blob", Data{0, 1, 2, 255}},
                        {"negative", -7},
                        {"big", int64_t(1) << 40}});
}

void plistSeeds() {
    const std::string t = "fuzz_plist";
    seed(t, "binary-sample", sample().toBinaryPlist());
    seed(t, "xml-sample", sample().toXMLPlist());
    seed(t, "binary-dates", Value::array({at(4102444800.0), at(-2208988800.0), at(978307198.75)}).toBinaryPlist());
    seed(t, "xml-dates", Value::array({at(4102444800.0), at(-2208988800.0)}).toXMLPlist());
    seed(t, "binary-uid", Value::dict({{"$top", Value::dict({{"root", Value::dict({{"CF$UID", 1}})}})}}).toBinaryPlist());
    // A NUL inside a text (once an abort), XML and binary.
    seed(t, "nul-xml", std::string_view("<plist><string>a\0b</string></plist>", 36));
    seed(t, "nul-binary", hex("62706c6973743030d101025b5a565f557365724e616d6563006100000062080b17"
                              "000000000000" "0101" "0000000000000003" "0000000000000000" "000000000000001e"));
    // Texts marked ASCII holding bytes >= 0x80.
    seed(t, "ascii-high", hex("62706c6973743030d10102526be95276ff080b0e"
                              "000000000000" "0101" "0000000000000003" "0000000000000000" "0000000000000011"));
    // An array holding itself; a date past what a Date holds.
    seed(t, "self-array", hex("62706c6973743030a10008"
                              "000000000000" "0101" "0000000000000001" "0000000000000000" "000000000000000a"));
    seed(t, "far-date", hex("62706c6973743030" "33426d1a94a2000000" "08"
                            "000000000000" "0101" "0000000000000001" "0000000000000000" "0000000000000011"));
    // [B x n], B a list of 62 texts: a megabyte once took 6.8 GB, and
    // 100 KB read and was written back as 26 MB. [B x n] with B of one
    // text reads, and was written back 13 times larger.
    seed(t, "shared-subtrees-1mb", testsupport::sharedSubtrees(1000000, 62));
    seed(t, "shared-subtrees-100kb", testsupport::sharedSubtrees(100000, 62));
    seed(t, "shared-lists-100kb", testsupport::sharedSubtrees(100000, 1));
    // Dates other programs write for "never" and "always", once refused
    // with the whole file.
    for (std::string year : {"4001", "9999", "0001"}) {
        std::string xml = "<plist><dict><key>never</key><date>" + year +
                          "-01-01T00:00:00Z</date><key>volume</key><integer>7</integer></dict></plist>";
        seed(t, "year-" + year + "-xml", xml);
        seed(t, "year-" + year + "-binary", Value::fromPlist(xml)->toBinaryPlist());
    }
    // Keys marked ASCII that become one key ("a\xFE", "a\xFF"), once
    // written twice; a UID of 2^32 in 8 bytes, once written so; XML nested
    // 514 levels, once read as null.
    seed(t, "keys-become-one", hex("62706c6973743030" "d201020304" "5261fe" "5261ff" "1001" "1002" "080d101315"
                                   "000000000000" "0101" "0000000000000005" "0000000000000000" "0000000000000017"));
    seed(t, "uid-2-32", hex("62706c6973743030" "870000000100000000" "08"
                            "000000000000" "0101" "0000000000000001" "0000000000000000" "0000000000000011"));
    seed(t, "xml-514-levels", testsupport::nestedLists(514).toXMLPlist());
    // XML nested 200,000 levels behind quoted "/>" (2.8 MB): it passed
    // the nesting check and overflowed the stack in libplist's freeing, at
    // every launch as a preferences file. The other forms that a scan may
    // misread, at 2,000 levels.
    // 2,000 objects at the bytes of one list of 2,000 numbers: read once
    // each, 224 MB from 48 KB.
    seed(t, "overlapping-objects", testsupport::overlappingObjects(2000, 2000));
    // A dense file as other writers make it: 20,000 small numbers, each a
    // one-byte reference to a shared number (1.2 million once refused).
    Value dense = Value::array();
    for (int i = 0; i < 20000; ++i) dense.push(i % 256);
    seed(t, "dense-small-numbers", dense.toBinaryPlist());
    seed(t, "xml-deep-quoted-attribute", testsupport::deepXML(200000, testsupport::DeepXMLForm::quotedAttribute));
    for (auto& [form, name] : testsupport::deepXMLForms())
        if (form != testsupport::DeepXMLForm::quotedAttribute)
            seed(t, std::string("xml-deep-") + name, testsupport::deepXML(2000, form));
    // XML whose work in libplist grows faster than the file (65,536 keys
    // sharing its hash, 3.3 MB, took 76 s): 2,048 keys of each form (1,024
    // spelt through entities and CDATA), and a binary file of such keys,
    // whose XML is refused.
    for (auto& [form, name] : testsupport::costlyXMLForms()) {
        size_t blocks = form == testsupport::CostlyXMLForm::spelledCollidingKeys ? 10 : 11;
        seed(t, std::string("xml-costly-") + name, testsupport::costlyXML(form, blocks));
    }
    Value colliding = Value::dict();
    for (size_t n = 0; n < 2048; ++n)
        colliding.set(testsupport::collidingKey(testsupport::CostlyXMLForm::collidingKeys, 11, n), true);
    seed(t, "binary-colliding-keys", colliding.toBinaryPlist());
}

void keyedArchiveSeeds() {
    const std::string t = "fuzz_keyed_archive";
    seed(t, "archive-sample", prefixed(1, keyedarchive::archive(sample())));
    seed(t, "archive-device-id", prefixed(1, keyedarchive::archive(Value::dict({{"com.pxqvbtrok.data", "IDFV-1"}}))));
    seed(t, "archive-null-text", prefixed(1, keyedarchive::archive(Value::array({"$null", Value(), "x"}))));
    // The device-id item a page once planted, and a date past every Date.
    seed(t, "planted-nul", prefixed(1, Data{'<', 'p', 'l', 'i', 's', 't', '>', '<', 's', 't', 'r', 'i', 'n', 'g', '>',
                                            'a', 0, 'b', '<', '/', 's', 't', 'r', 'i', 'n', 'g', '>', '<', '/', 'p',
                                            'l', 'i', 's', 't', '>'}));
    Value farDate = Value::dict({{"$archiver", "NSKeyedArchiver"},
                                 {"$top", Value::dict({{"root", Value::dict({{"CF$UID", 1}})}})},
                                 {"$objects", Value::array({"$null", Value::dict({{"NS.time", 72169280020.0},
                                                                                  {"$class", Value::dict({{"CF$UID", 2}})}}),
                                                            Value::dict({{"$classname", "NSDate"}})})}});
    seed(t, "far-date", prefixed(1, farDate.toBinaryPlist()));
    // A list naming one list of 1000 numbers at each of its 2000 elements:
    // 2 million values from 6 KB, once counted as 2000.
    Value numbers = Value::array();
    for (int i = 0; i < 1000; ++i) numbers.push(i);
    Value names = Value::array();
    for (int i = 0; i < 2000; ++i) names.push(Value::dict({{"CF$UID", 2}}));
    Value arrayClass = Value::dict({{"$classname", "NSArray"}, {"$classes", Value::array({"NSArray", "NSObject"})}});
    Value shared = Value::dict({{"$archiver", "NSKeyedArchiver"},
                                {"$top", Value::dict({{"root", Value::dict({{"CF$UID", 1}})}})},
                                {"$objects", Value::array({"$null",
                                                           Value::dict({{"NS.objects", names},
                                                                        {"$class", Value::dict({{"CF$UID", 3}})}}),
                                                           numbers, arrayClass})}});
    seed(t, "shared-plain-object", prefixed(1, shared.toBinaryPlist()));
    // Choices: a dictionary of texts, numbers and a nested array.
    seed(t, "choices", Data{0, 8, 3, 1, 'k', 4, 3, 'a', 0xFF, 'b', 1, 'n', 2, 0, 0, 0, 0, 0, 0, 0, 42, 1, 'l', 7, 2, 1, 1, 0});
}

void channelSeeds() {
    const std::string t = "fuzz_channel_file";
    Value config = Value::dict({{"channel_type", "1001"}, {"product_code", "P100"}, {"product_key", "abcdefgh12345"},
                                {"checkkey", "ck"}, {"relay_server_config", Value::array({"https://a.example"})}});
    seed(t, "plain", prefixed(0, config.toXMLPlist()));
    seed(t, "plain-binary", prefixed(0, config.toBinaryPlist()));
    Data archived = keyedarchive::archive(config);
    seed(t, "encrypted", prefixed(0, Extend::des128Encryptt(Extend::view(archived), RelayChannelConfig::kFileKey)));
    seed(t, "to-encrypt", prefixed(1, archived));
}

void envelopeSeeds() {
    const std::string t = "fuzz_envelope";
    const std::string key = "abcdefgh12345";
    auto withKey = [&](std::string_view text) {
        std::string out(1, char(key.size()));
        return out + key + std::string(text);
    };
    seed(t, "request", withKey(Extend::urlEncodeFromBase64StrOfDES128Encryptt(R"({"a":1,"nick":"玩家"})", key)));
    seed(t, "base64", withKey(Extend::base64FromDES128Encrypt("reply", key)));
    seed(t, "raw-des", withKey(Extend::view(Extend::des128Encryptt("12345678", key))));
    seed(t, "padding-only", withKey("AAAAAAAAAAA="));
}

void replySeeds() {
    const std::string agg = "fuzz_aggregator_reply";
    seed(agg, "success", R"({"result":true,"data":{"server_list":["https://a"],"ver":"1"}})");
    seed(agg, "failure", R"({"result":false,"error":{"id":"30001","message":"登录被拒"}})");
    seed(agg, "odd", R"({"result":1,"error":{"id":1e300,"message":5},"data":[1]})");
    const std::string uc = "fuzz_usercentre_reply";
    seed(uc, "login", R"({"z":1,"b":"ok","u":"demo","n":"玩家","t":"1700000000","s":"tok","frz":"1","bd":true})");
    seed(uc, "payways", R"({"z":"1","c":[{"id":"1","name":"平台币","balance":"10"},{"id":2},"x"]})");
    seed(uc, "wrong-types", R"({"z":"1wallet","b":{"x":1},"c":{"id":1},"up":"yes"})");
    const std::string model = "fuzz_model_mapper";
    seed(model, "every-field", R"({"t":"x","wide":"12","narrow":3.7,"real":"2.5","flag":"true","any":[1,{"a":null}],)"
                               R"("maybe":7,"inner":{"name":"n","count":"9"},"list":[{"name":"a"},5,{}],"words":["a",1]})");
    seed(model, "array", R"([{"name":"a","count":1},null,{"count":"x"}])");
}

void pathSeeds() {
    const std::string t = "fuzz_confine";
    const char* paths[] = {"\x00img/a.png", "\x00img/dangling", "\x00escape/secret", "\x01" "a/f.txt",
                           "\x01" "dangling-out", "\x02" "dangling-in", "\x02" "in-link/x", "\x01" "out-link/secret",
                           "\x02" "loop-a/x", "\x01" "a/relative-out/x", "\x02" "keychain-link", "\x01/etc/passwd"};
    int i = 0;
    for (const char* p : paths) seed(t, "path-" + std::to_string(i++), std::string_view(p, 1 + std::strlen(p + 1)));
}

void mediaSeeds() {
    const std::string t = "fuzz_media_request";
    seed(t, "get-range", std::string("\x40\x00", 2) + "GET /p/video.mp4 HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: bytes=0-\r\n\r\n");
    seed(t, "keep-alive", std::string("\x10\x00", 2) + "\r\nGET /a HTTP/1.0\nConnection: keep-alive\n\nGET /b HTTP/1.1\n\n");
    seed(t, "too-large", std::string("\x00\x08", 2) + "GET /" + std::string(64, 'a') + " HTTP/1.1\r\n");
}

void logNameSeeds() {
    const std::string t = "fuzz_log_file_name";
    NSDateFormatter format("yyyy'-'MM'-'dd'--'HH'-'mm'-'ss'-'SSS'");
    seed(t, "now", format.stringFromDate(at(1765000000.123)));
    seed(t, "numbered", format.stringFromDate(at(1765000000)) + " 2");
    // Years no Date holds: once read wrapped round, 2685 as the year 2100.
    seed(t, "year-2685", "2685-01-01--00-00-00-000");
    seed(t, "year-2958", "2958-12-06--17-00-00-123");
    seed(t, "year-1677", "1677-12-31--23-59-59-999");
    seed(t, "month-13", "2026-13-01--00-00-00-000");
}

void defaultsSeeds() {
    const std::string t = "fuzz_user_defaults";
    Data file = sample().toBinaryPlist();
    file.resize((file.size() + 3) / 4 * 4, 0);  // the length is given in fours
    const Data withFile = prefixed(uint8_t(file.size() / 4), file);
    Data input = withFile;
    input.push_back(0);  // nothing at the marker's path
    // Then: "bad\xFF" = a text of bad bytes, "x" removed.
    input.insert(input.end(), {4, 'b', 'a', 'd', 0xFF, 1, 4, 2, 0xC0, 0x80, 1, 'x', 0});
    seed(t, "sample-and-changes", input);
    seed(t, "garbage-file", Data{2, 'g', 'a', 'r', 'b', 'a', 'g', 'e', '!', 0, 1, 'k', 1, 2, 1});
    // A preferences file with a date of the year 4001, once moved aside
    // with every setting; then "k" set.
    std::string far = "<plist><dict><key>never</key><date>4001-01-01T00:00:00Z</date>"
                      "<key>volume</key><integer>7</integer></dict></plist>";
    far.resize((far.size() + 3) / 4 * 4, ' ');
    Data farInput = prefixed(uint8_t(far.size() / 4), Data(far.begin(), far.end()));
    farInput.insert(farInput.end(), {0, 1, 'k', 1, 2, 1});
    seed(t, "far-date-file", farInput);
    // The sample's file with a directory, a link to /proc/self/stat, an
    // empty file, this process's id, a process that cannot run, and text
    // at the marker's path: the first four once made the file be read
    // unprotected or set aside.
    const char* markers[] = {"directory", "link", "empty", "own-id", "gone-id", "text"};
    for (uint8_t choice = 1; choice <= 6; ++choice) {
        Data marked = withFile;
        marked.insert(marked.end(), {choice, 3, '1', '2', 'x', 1, 'k', 1, 2, 1});
        seed(t, std::string("marker-") + markers[choice - 1], marked);
    }
}

void exifSeeds() {
    const std::string t = "fuzz_exif";
    seed(t, "orientation-6", Data{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                  0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0});
    seed(t, "big-endian-8", Data{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0, 0});
    // IFD offsets that wrapped round in 32 bits.
    seed(t, "offset-fffffffe", hex("457869660000" "4949" "2a00" "feffffff" "00000000"));
    seed(t, "offset-ffffffff", hex("457869660000" "4d4d" "002a" "ffffffff" "00000000"));
}

// Logged replies and addresses (byte 0 odd), and choices that build
// nested shapes (byte 0 even).
void redactSeeds() {
    const std::string t = "fuzz_redact";
    seed(t, "reply", "\x01" R"({"data":"{\"token\":\"e2ed5d7a1a6f\",\"pwd\":123456}","sign":{"value":"1f3e9a0b"},)"
                     R"("next":"https://bob:hunter22@h/p?user=a;sign=1f3e9a0b#access_token=abcdefgh","sj":"13812345678"})");
    seed(t, "address", "\x01https://h/p?next=https%3A%2F%2Fx%2F%3Fdata%3D%257B%2522token%2522%253A%2522abcdefgh%2522%257D");
    Value nested = Value::dict({{"token", "abcdefgh"}});
    for (int i = 0; i < 10; ++i) nested = Value::dict({{"data", nested.toJSON()}});
    seed(t, "json-10-deep", "\x01" + nested.toJSON());
    std::string address = "https://h/p?token=abcdefgh";
    for (int i = 0; i < 12; ++i) address = "https://h/p?next=" + strings::percentEncode(address);
    seed(t, "address-12-deep", "\x01" + address);
    // Shortening a value mended a broken JSON text, which a second
    // shortening then read as JSON and shortened further.
    seed(t, "shortening-mends-json",
         "\x01" R"({"data":"{\"token\":\"h://b:pw@h/p?sign=1f3e9a0b#access_token=abcd\{"x&y","sj":"13812345678"})");
    std::string choices(1, '\0');
    for (int i = 0; i < 512; ++i) choices += char((i * 37 + 11) & 0xFF);
    seed(t, "shapes", choices);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    gRoot = argv[1];
    plistSeeds();
    keyedArchiveSeeds();
    channelSeeds();
    envelopeSeeds();
    replySeeds();
    pathSeeds();
    mediaSeeds();
    logNameSeeds();
    defaultsSeeds();
    exifSeeds();
    redactSeeds();
    return 0;
}
