// What reading a property list holds on the heap, measured: glibc's own
// count of its chunks in a plain build, the sanitizer's allocator hooks
// counted in glibc's chunks in a sanitized one. The readers charge each
// block as glibc sizes it; a byte of data counted as a byte once let a
// file of one-byte references to it hold 88 bytes a file byte, past the
// ceiling of 80 that a 4 MiB file was promised.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <tuple>

#include "HeapPeak.h"
#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/KeyedArchive.h"
#include "support/PlistBombs.h"
#include "support/TestSupport.h"

namespace {

// glibc's malloc itself, whatever a sanitizer puts in its place.
struct Glibc {
    void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    void* (*malloc)(size_t) = reinterpret_cast<void* (*)(size_t)>(dlsym(libc, "malloc"));
    void (*free)(void*) = reinterpret_cast<void (*)(void*)>(dlsym(libc, "free"));
    size_t (*usableSize)(void*) = reinterpret_cast<size_t (*)(void*)>(dlsym(libc, "malloc_usable_size"));
    ~Glibc() { dlclose(libc); }
};

// A chunk is its usable bytes and an 8-byte header (16 when mapped on its
// own); a free chunk 16 bytes larger than asked for may be given whole.
TEST(PlistHeap, HeapBlocksAreTheChunksGlibcTakes) {
    Glibc glibc;
    ASSERT_TRUE(glibc.malloc && glibc.free && glibc.usableSize);
    for (size_t n : {1, 8, 24, 25, 40, 56, 100, 120, 1000, 3472, 56000}) {
        void* p = glibc.malloc(n);
        size_t chunk = glibc.usableSize(p) + 8;
        glibc.free(p);
        EXPECT_TRUE(chunk == binaryplist::heapBlock(n) || chunk == binaryplist::heapBlock(n) + 16)
            << n << ": " << chunk << " against " << binaryplist::heapBlock(n);
    }
    // Mapped on its own, or from the heap once glibc has raised its
    // threshold: whole pages at most.
    for (size_t n : {size_t(1) << 20, (size_t(1) << 20) + 1}) {
        void* p = glibc.malloc(n);
        size_t usable = glibc.usableSize(p);
        glibc.free(p);
        EXPECT_LE(usable + 8, binaryplist::heapBlock(n)) << n;
        EXPECT_LE(binaryplist::heapBlock(n), usable + 16 + 4096) << n;
    }
    EXPECT_EQ(binaryplist::heapBlock(0), 0u);
}

// What the heap holds above where it stood when this was made.
class HeapHeld {
public:
    int64_t bytes() const {
        if (auto held = hooks_.chunksHeld()) return *held;
        return int64_t(glibcHeld()) - int64_t(before_);
    }

private:
    static size_t glibcHeld() {
        struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;
    }
    fuzz::HeapPeak hooks_;
    size_t before_ = glibcHeld();
};

// Glibc's count includes chunks kept for reuse in its per-thread cache.
const int64_t kSlack = testsupport::kMeasuresMemory ? 64 << 10 : 0;

// Files of one-byte references to one object that builds a heap block at
// each copy (a byte of data, a 16-byte text), or none (an empty list or
// dictionary): each reads, holds what resultBytes counts, and stays within
// the ceiling for its size. At 3 MiB that is 107 bytes a file byte; it was
// 85, and the first two held 88.
TEST(PlistHeap, TheWorstShapesHoldWithinTheCeiling) {
    Data text = {0x5F, 0x10, 0x10};
    for (char c : std::string("sixteen bytes!!!")) text.push_back(uint8_t(c));
    const size_t MiB = size_t(1) << 20;
    const std::tuple<const char*, Data, size_t> shapes[] = {{"a byte of data", {0x41, 0x07}, 3 * MiB},
                                                            {"a 16-byte text", text, 3 * MiB},
                                                            {"an empty list", {0xA0}, MiB},
                                                            {"an empty dictionary", {0xD0}, MiB}};
    for (auto& [name, object, size] : shapes) {
        Data file = testsupport::referencesTo(object, size, size);
        ASSERT_EQ(file.size(), size);
        HeapHeld heap;
        auto v = Value::fromPlist(file);
        int64_t held = heap.bytes();
        SCOPED_TRACE(std::string(name) + ": " + std::to_string(double(held) / double(size)) + " bytes a file byte");
        ASSERT_TRUE(v);
        EXPECT_LE(held, int64_t(binaryplist::resultCeiling(size)));
        EXPECT_NEAR(double(held), double(binaryplist::resultBytes(*v) - sizeof(Value)), double(kSlack));
    }
}

// Texts decoded longer than stored (bytes >= 0x80 in ASCII-marked text
// become U+FFFD; UTF-16 units up to three bytes) keep only their bytes, as
// charged, not what decoding reserved.
TEST(PlistHeap, DecodedTextsHoldOnlyTheirBytes) {
    Data file = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    Data offsets;
    offsets.push_back(uint8_t(file.size()));
    file.insert(file.end(), {0x5F, 0x10, 100});
    file.insert(file.end(), 100, 0x80);
    offsets.push_back(uint8_t(file.size()));
    file.insert(file.end(), {0x6F, 0x10, 40});
    for (int i = 0; i < 40; ++i) file.insert(file.end(), {0x20, 0xAC});  // U+20AC, three bytes in UTF-8
    offsets.push_back(uint8_t(file.size()));
    file.insert(file.end(), {0xA2, 0, 1});
    size_t table = file.size();
    file.insert(file.end(), offsets.begin(), offsets.end());
    Data trailer(32, 0);
    trailer[6] = 1, trailer[7] = 1, trailer[15] = 3, trailer[23] = 2, trailer[31] = uint8_t(table);
    file.insert(file.end(), trailer.begin(), trailer.end());

    HeapHeld heap;
    auto v = Value::fromPlist(file);
    int64_t held = heap.bytes();
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)[0].stringOr().size(), 300u);
    EXPECT_EQ((*v)[1].stringOr().size(), 120u);
    EXPECT_NEAR(double(held), double(binaryplist::resultBytes(*v) - sizeof(Value)), double(kSlack));
}

// A keyed archive's copies are held as charged: a list reserved whole, not
// grown one element at a time.
TEST(PlistHeap, UnarchivedValuesHoldWhatResultBytesCounts) {
    Value rows = Value::array();
    for (int i = 0; i < 3000; ++i)
        rows.push(Value::dict({{"name", "a name longer than sixteen bytes " + std::to_string(i)},
                               {"bytes", Data(size_t(i % 40), 1)},
                               {"list", Value::array({i, "x", Value::array()})}}));
    Data archive = keyedarchive::archive(rows);
    HeapHeld heap;
    auto v = keyedarchive::unarchive(archive);
    int64_t held = heap.bytes();
    ASSERT_TRUE(v);
    EXPECT_TRUE(*v == rows);
    EXPECT_NEAR(double(held), double(binaryplist::resultBytes(*v) - sizeof(Value)), double(kSlack));
}

// Files the writer wrote when it counted a byte of data as a byte and a
// list's elements without their block: padded to what that count needed,
// the sharing in them now counts up to 1.7 times as much (lists of bytes).
// Each still reads.
TEST(PlistHeap, FilesWrittenBeforeStillRead) {
    auto file = [](const char* name) {
        std::string bytes = testsupport::readFile(testsupport::sourceDir() / "tests/platform/foundation/written-before" / name);
        return Data(bytes.begin(), bytes.end());
    };
    auto repeated = [](const Value& v, int n) {
        Value out = Value::array();
        for (int i = 0; i < n; ++i) out.push(v);
        return out;
    };
    Value kilobytes = Value::array(), numbers = Value::array(), bytes = Value::array(), texts = Value::array();
    for (int i = 0; i < 800; ++i) kilobytes.push(Data(1024, uint8_t(i % 2)));
    for (int i = 0; i < 62; ++i) numbers.push(i);
    for (int i = 0; i < 30; ++i) bytes.push(Data(1, uint8_t(i)));
    for (int i = 0; i < 20; ++i) texts.push(std::string(i < 10 ? "sixteen-bytes-0" : "sixteen-bytes-") + std::to_string(i));
    Value record = Value::dict({{"id", 1}, {"name", "player-000001"}, {"level", 5}, {"active", true}, {"guild", "guild-007"}});
    const std::pair<const char*, Value> written[] = {
        {"kilobytes-of-data.bplist", kilobytes},          {"lists-of-numbers.bplist", repeated(numbers, 250)},
        {"records.bplist", repeated(record, 1200)},       {"lists-of-bytes.bplist", repeated(bytes, 500)},
        {"lists-of-texts.bplist", repeated(texts, 600)}};
    for (auto& [name, value] : written) {
        Data bytesWritten = file(name);
        EXPECT_TRUE(Value::fromPlist(bytesWritten) == value) << name;
        // Written again it is padded as the reader now counts, and reads.
        EXPECT_TRUE(Value::fromPlist(value.toBinaryPlist()) == value) << name;
    }

    Value archived = Value::array();
    for (int i = 0; i < 40; ++i)
        archived.push(Value::dict({{"id", i}, {"name", "player-" + std::to_string(i)}, {"tags", texts}}));
    EXPECT_TRUE(keyedarchive::unarchive(file("records.archive")) == archived);
}

}  // namespace
