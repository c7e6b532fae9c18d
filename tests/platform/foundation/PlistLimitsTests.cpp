// What reading a property list may cost, and what writing one back makes.

#include <gtest/gtest.h>

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/XMLPlist.h"
#include "support/PlistBombs.h"
#include "support/TestSupport.h"

namespace {

struct Cost {
    bool read = false;
    size_t resultBytes = 0, written = 0;
    long peakKiB = 0, ms = 0;
};

long field(const std::string& out, const std::string& name) {
    size_t at = out.find(name + "=");
    return at == std::string::npos ? -1 : std::stol(out.substr(at + name.size() + 1));
}

// What the file costs in a process of its own. A sanitizer build is held
// to 3 GiB by the sanitizer (a plain build by the child itself), and keeps
// no freed memory aside, which would count as held.
Cost costInChild(const Data& file) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "file", std::string(file.begin(), file.end()));
    std::vector<std::string> command = {testsupport::built(PLIST_CHILD), (dir / "file").string()};
    if (!testsupport::kMeasuresMemory) {
        const char* inherited = std::getenv("ASAN_OPTIONS");
        std::string options = std::string(inherited ? inherited : "") + ":quarantine_size_mb=0:hard_rss_limit_mb=3072";
        command.insert(command.begin(), {"/usr/bin/env", "ASAN_OPTIONS=" + options});
    }
    auto run = testsupport::runProgram(command);
    EXPECT_EQ(run.status, 0) << run.err.substr(0, 2000);
    EXPECT_NE(run.out.find("peak_kib="), std::string::npos) << run.out;
    Cost c;
    c.read = field(run.out, "read") == 1;
    c.resultBytes = size_t(field(run.out, "result_bytes"));
    c.written = size_t(field(run.out, "written"));
    c.peakKiB = field(run.out, "peak_kib");
    c.ms = field(run.out, "ms");
    return c;
}

// A megabyte of [B x n], B a list of 62 texts, took 6.8 GB and 20 seconds;
// 100 KB of it read and was written back as 26 MB. Both are refused now,
// in a few hundred megabytes and seconds at most (the budget is 128 MiB).
TEST(PlistLimits, SharedSubtreesAreRefusedInBoundedMemoryAndTime) {
    const long peakBoundKiB = testsupport::kMeasuresMemory ? 512 * 1024 : 1536 * 1024;
    for (size_t copies : {size_t(1000000), size_t(100000)}) {
        Data file = testsupport::sharedSubtrees(copies, 62);
        Cost c = costInChild(file);
        EXPECT_FALSE(c.read) << copies;
        EXPECT_LT(c.peakKiB, peakBoundKiB) << copies;
        EXPECT_LT(c.ms, 20000) << copies;
    }
}

// [B x 100000] with B a list of one text: 100 KB that reads as 12 MB
// (within its budget of 256 times), and was written back as 1.3 MB, each
// copy of B an object of its own.
TEST(PlistLimits, AFileReadAndWrittenKeepsAboutItsSize) {
    Data file = testsupport::sharedSubtrees(100000, 1);
    Cost c = costInChild(file);
    ASSERT_TRUE(c.read);
    EXPECT_LE(c.resultBytes, binaryplist::resultBudget(file.size()));
    EXPECT_LE(c.written, 2 * file.size());

    // Equal values of every kind are written once (once 200 KB), and read
    // back the same.
    Value row = Value::dict({{"name", "玩家"}, {"when", Date(std::chrono::seconds(1765000000))}, {"blob", Data(300, 7)},
                             {"list", Value::array({1, 2.5, true})}});
    Value rows = Value::array();
    for (int i = 0; i < 1000; ++i) rows.push(i % 2 ? row : Value::dict({{"n", i % 10}}));
    Data written = rows.toBinaryPlist();
    EXPECT_LT(written.size(), 10000u);
    auto back = Value::fromPlist(written);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, rows);
}

TEST(PlistLimits, TheBudgetIsInBytesOfTheResult) {
    // Ordinary sharing, as other writers share numbers: a list of 100000
    // equal numbers, a byte each, reads.
    Value zeros = Value::array();
    for (int i = 0; i < 100000; ++i) zeros.push(0);
    auto back = Value::fromPlist(zeros.toBinaryPlist());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), 100000u);

    // Two kilobytes of [B x 2000], B a list of 62 texts: 7 MB, and once
    // within a budget of one unit per value.
    Data file = testsupport::sharedSubtrees(2000, 62);
    EXPECT_FALSE(Value::fromPlist(file));

    // What the writer writes reads back, however repetitive: 2 MB of one
    // kilobyte of data is written once, with the file made as large as the
    // reader needs for it (8 KB, not 2 MB).
    Value shared = Value::array();
    for (int i = 0; i < 2000; ++i) shared.push(Data(1024, uint8_t(1)));
    Data written = shared.toBinaryPlist();
    EXPECT_LT(written.size(), 10000u);
    auto sharedBack = Value::fromPlist(written);
    ASSERT_TRUE(sharedBack);
    EXPECT_EQ(*sharedBack, shared);
}

// A keyed archive's table holds each object once and names it at each use:
// a list of 1000 numbers named by 2000 elements is 2 million values from
// 6 KB.
TEST(PlistLimits, AKeyedArchiveCopiesSharedObjectsWithinTheBudget) {
    auto uid = [](int n) { return Value::dict({{"CF$UID", n}}); };
    Value numbers = Value::array();
    for (int i = 0; i < 1000; ++i) numbers.push(i);
    Value list = Value::array();
    for (int i = 0; i < 2000; ++i) list.push(uid(2));
    Value objects = Value::array(
        {"$null", Value::dict({{"NS.objects", list}, {"$class", uid(3)}}), numbers,
         Value::dict({{"$classname", "NSArray"}, {"$classes", Value::array({"NSArray", "NSObject"})}})});
    Data archive = Value::dict({{"$archiver", "NSKeyedArchiver"}, {"$top", Value::dict({{"root", uid(1)}})},
                                {"$objects", objects}})
                       .toBinaryPlist();
    Error e;
    EXPECT_FALSE(keyedarchive::unarchive(archive, &e));

    // Named by 10 elements, it reads.
    objects.mutableArray()[1].mutableDict()["NS.objects"].mutableArray().resize(10);
    auto small = keyedarchive::unarchive(Value::dict({{"$archiver", "NSKeyedArchiver"},
                                                      {"$top", Value::dict({{"root", uid(1)}})},
                                                      {"$objects", objects}})
                                             .toBinaryPlist());
    ASSERT_TRUE(small);
    ASSERT_EQ(small->size(), 10u);
    EXPECT_EQ((*small)[9], numbers);
}

// Past 512 levels both forms are refused (XML read as null); so deep that
// the XML library's recursion overflows the stack, refused before it.
TEST(PlistLimits, NestingPast512LevelsIsRefusedInBothForms) {
    for (int levels : {513, 514}) {
        Value nested = testsupport::nestedLists(levels);
        bool within = levels <= 513;  // the root is level 0
        EXPECT_EQ(Value::fromPlist(nested.toBinaryPlist()).has_value(), within) << levels;
        EXPECT_EQ(Value::fromPlist(nested.toXMLPlist()).has_value(), within) << levels;
        // Without the <plist> element around it.
        std::string bare;
        for (int i = 0; i < levels; ++i) bare += "<array>";
        for (int i = 0; i < levels; ++i) bare += "</array>";
        EXPECT_EQ(Value::fromPlist(bare).has_value(), within) << levels;
    }
    std::string deep = "<plist>";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    for (int i = 0; i < 200000; ++i) deep += "</array>";
    EXPECT_FALSE(Value::fromPlist(deep + "</plist>"));
    // Comments and CDATA sections are not elements.
    std::string commented = "<plist><array><!--";
    for (int i = 0; i < 600; ++i) commented += "<array>";
    EXPECT_TRUE(Value::fromPlist(commented + "--><string><![CDATA[<dict><dict>]]></string></array></plist>"));
}

// XML nested 200,000 levels behind markup that the nesting check misread
// (a "/>" inside quotes taken for an empty element; a '>' inside a
// processing instruction or a document type's declarations taken for its
// end) passed it, and libplist, freeing what it built one call per level,
// overflowed the stack: as a preferences file, at every launch. Each form
// is refused, in about the time and memory of reading its bytes.
TEST(PlistLimits, DeepXMLBehindMisleadingMarkupIsRefusedInBoundedMemoryAndTime) {
    const long peakBoundKiB = testsupport::kMeasuresMemory ? 64 * 1024 : 512 * 1024;
    for (auto& [form, name] : testsupport::deepXMLForms()) {
        std::string xml = testsupport::deepXML(200000, form);
        Cost c = costInChild(Data(xml.begin(), xml.end()));
        EXPECT_FALSE(c.read) << name;
        EXPECT_LT(c.peakKiB, peakBoundKiB) << name;
        EXPECT_LT(c.ms, testsupport::kMeasuresMemory ? 5000 : 20000) << name;
    }
}

// The scan reads tags as libplist does, and refuses the markup where
// parsers part ways, which no property list holds.
TEST(PlistLimits, TheNestingScanReadsTagsAsLibplistDoes) {
    std::string honest = "<?xml version='1.0' encoding='UTF-8'?>\n"
                         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                         "<!-- settings --><plist version=\"1.0\"><dict><key>a</key><string><![CDATA[<dict>]]></string>"
                         "<key>b</key><array><array/><dict/></array></dict></plist>";
    auto v = Value::fromPlist(honest);
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)["a"].stringOr(), "<dict>");
    EXPECT_EQ((*v)["b"].size(), 2u);
    auto shape = xmlplist::shapeOf(honest);
    EXPECT_FALSE(shape.refused);
    EXPECT_EQ(shape.depth, 2u);
    EXPECT_EQ(shape.elements, 7u);

    for (const char* refused : {"<plist><array x=\"a>b\"></array></plist>", "<plist><array x='/></array></plist>",
                                "<!DOCTYPE plist [<!ENTITY a 'b'>]><plist><true/></plist>",
                                "<?xml version=\"<\"?><plist><true/></plist>"}) {
        EXPECT_TRUE(xmlplist::shapeOf(refused).refused) << refused;
        EXPECT_FALSE(Value::fromPlist(std::string_view(refused))) << refused;
    }

    // "<?>" is a whole instruction to libplist: what follows it nests.
    std::string deep = "<plist><?>";
    for (int i = 0; i < 600; ++i) deep += "<array>";
    deep += "<?x ?>";
    for (int i = 0; i < 600; ++i) deep += "</array>";
    EXPECT_EQ(xmlplist::shapeOf(deep + "</plist>").depth, 600u);
    // Nothing nests once the root has closed, where libplist stops.
    std::string after = "<plist><array></array></plist>";
    for (int i = 0; i < 600; ++i) after += "<array>";
    EXPECT_TRUE(Value::fromPlist(after));
}

// One list of 4.5 million "<true/>" (32 MB) read with a peak of 750 MB,
// libplist's tree two thirds of it: refused now before libplist reads it,
// as the budget of a binary file of its size refuses what it would build.
// Files that spell their values out (numbers, records) read far within it
// (PlistHonestFilesTests).
TEST(PlistLimits, XMLOfMoreValuesThanTheBudgetIsRefusedBeforeLibplistReadsIt) {
    std::string xml = "<plist><array>";
    for (int i = 0; i < 4500000; ++i) xml += "<true/>";
    xml += "</array></plist>";
    Cost c = costInChild(Data(xml.begin(), xml.end()));
    EXPECT_FALSE(c.read);
    EXPECT_LT(c.peakKiB, testsupport::kMeasuresMemory ? 128 * 1024 : 1024 * 1024);
    EXPECT_LT(c.ms, testsupport::kMeasuresMemory ? 5000 : 20000);  // a scan of 32 MB
}

// XML that costs libplist work growing faster than the file, which the
// count of its values does not show: 65,536 keys sharing its hash (3.3 MB)
// took 30 to 76 s, the same keys spelt through entities and CDATA or in
// bytes that collide only as signed chars as long, 32,768 repeats of a
// dictionary's last key (1.5 MB) 60 s, 3.3 MB of "&amp;" 14 s. Each is
// refused before libplist reads it, in a tenth of a second or so.
TEST(PlistLimits, XMLWhoseWorkInLibplistPassesItsBudgetIsRefusedBeforeItReads) {
    for (auto& [form, name] : testsupport::costlyXMLForms()) {
        std::string xml = testsupport::costlyXML(form, 16);
        Cost c = costInChild(Data(xml.begin(), xml.end()));
        EXPECT_FALSE(c.read) << name;
        EXPECT_LT(c.ms, testsupport::kMeasuresMemory ? 3000 : 20000) << name << ", " << xml.size() << " bytes";
    }
}

// The scan hashes keys as libplist does, whatever their spelling: keys that
// collide cost it the same work however written (entities, CDATA, bytes
// that collide only as signed chars), and far more than as many keys that
// do not.
TEST(PlistLimits, TheScanFilesKeysAsLibplistDoes) {
    using testsupport::CostlyXMLForm;
    auto steps = [](CostlyXMLForm form) { return xmlplist::shapeOf(testsupport::costlyXML(form, 10)).work.steps; };
    uint64_t plain = steps(CostlyXMLForm::collidingKeys);
    EXPECT_EQ(steps(CostlyXMLForm::spelledCollidingKeys), plain);
    EXPECT_EQ(steps(CostlyXMLForm::signedCollidingKeys), plain);
    std::string distinct = "<plist><dict>";
    for (int i = 0; i < 1024; ++i) distinct += "<key>key-" + std::to_string(i) + "</key><true/>";
    auto honest = xmlplist::shapeOf(distinct + "</dict></plist>");
    EXPECT_LT(honest.work.steps * 20, plain);
    EXPECT_FALSE(honest.overBudget);
    EXPECT_TRUE(Value::fromPlist(distinct + "</dict></plist>"));

    // A character reference spelt as no writer spells one is refused.
    for (const char* odd : {"&# 38;", "&#+38;", "&#x0x26;"})
        EXPECT_TRUE(xmlplist::shapeOf(std::string("<plist><string>") + odd + "</string></plist>").refused) << odd;
}

// Objects laid over each other's bytes are objects of their own to the
// offset table: read once each, 160 KB of them would build 5.6 GB. What
// they build is charged, as sharing is.
TEST(PlistLimits, ObjectsLaidOverEachOtherAreChargedAsSharing) {
    Cost c = costInChild(testsupport::overlappingObjects(10000, 10000));
    EXPECT_FALSE(c.read);
    EXPECT_LT(c.peakKiB, testsupport::kMeasuresMemory ? 256 * 1024 : 1536 * 1024);
    EXPECT_LT(c.ms, 20000);
    auto few = Value::fromPlist(testsupport::overlappingObjects(10, 10));
    ASSERT_TRUE(few);
    ASSERT_EQ(few->size(), 10u);
    EXPECT_EQ((*few)[9], Value::array({7, 7, 7, 7, 7, 7, 7, 7, 7, 7}));
}

// `file` (written here) as the writer once padded it: an object nothing
// refers to, of `filler` bytes, after the others.
Data withFiller(const Data& file, size_t filler) {
    auto be = [&](size_t at, size_t width) {
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) v = v << 8 | file[at + i];
        return v;
    };
    auto put = [](Data& out, uint64_t v, size_t width) {
        for (size_t i = width; i-- > 0;) out.push_back(uint8_t(v >> (8 * i)));
    };
    size_t trailer = file.size() - 32, offsetSize = file[trailer + 6], count = be(trailer + 8, 8),
           table = be(trailer + 24, 8);
    Data out(file.begin(), file.begin() + long(table));
    out.insert(out.end(), {0x4F, 0x13});  // data, its length in 8 bytes
    put(out, filler, 8);
    out.insert(out.end(), filler, 0);
    size_t newTable = out.size();
    for (size_t i = 0; i < count; ++i) put(out, be(table + i * offsetSize, offsetSize), 8);
    put(out, table, 8);
    out.insert(out.end(), 6, 0);
    out.push_back(8);
    out.push_back(file[trailer + 7]);
    put(out, count + 1, 8);
    put(out, be(trailer + 16, 8), 8);
    put(out, newTable, 8);
    return out;
}

// The writer pads a file with an object nothing refers to where what its
// sharing builds is more than the budget of its size; once it did so for
// everything built, shared or not. Files padded either way read.
TEST(PlistLimits, FilesWrittenWithFillerRead) {
    Value shared = Value::array();
    for (int i = 0; i < 2000; ++i) shared.push(Data(1024, uint8_t(i % 2)));
    Data written = shared.toBinaryPlist();
    EXPECT_GT(written.size(), 7500u);  // 2 MB of copies need a 7.6 KB file
    EXPECT_EQ(Value::fromPlist(written), shared);

    Value dense = Value::array();
    for (int i = 0; i < 50000; ++i) dense.push(i % 200);
    Data unpadded = dense.toBinaryPlist();
    EXPECT_LT(unpadded.size(), 120000u);
    EXPECT_EQ(Value::fromPlist(withFiller(unpadded, 50000)), dense);
}

}  // namespace
