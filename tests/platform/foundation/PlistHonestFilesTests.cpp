// Honest files of megabytes, written at test time by other programs
// (Python's plistlib, libplist's plistutil), read as they read them: dense
// lists of small numbers, many small records, and keyed archives of the
// archiver's shape. The budget once refused the dense binary files whose
// XML twins read. The bombs stay refused (PlistLimitsTests).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Value.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Writes the files of one kind into a folder, each with "<file>.show": the
// file as plistlib reads it (for an archive, the value archived), in one
// line: dictionaries with sorted keys, texts quoted.
constexpr const char* kWrite = R"(
import plistlib, subprocess, sys
kind, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
form = 'xml' if kind.endswith('-xml') else 'bin'
kind = kind.replace('-xml', '')
def show(x):
    if isinstance(x, dict): return '{' + ','.join(k + ':' + show(x[k]) for k in sorted(x)) + '}'
    if isinstance(x, list): return '[' + ','.join(map(show, x)) + ']'
    return repr(x)
def write(name, value, fmt):
    with open(out + '/' + name, 'wb') as f: plistlib.dump(value, f, fmt=fmt, sort_keys=False)
def archive(root_ref, objects):
    return {'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': root_ref}, '$objects': objects}
def cls(name): return {'$classname': name, '$classes': [name, 'NSObject']}
def add(objects, value):
    objects.append(value)
    return plistlib.UID(len(objects) - 1)
files = {}
if kind in ('dense', 'records', 'keys'):
    value = ([i % 250 for i in range(n)] if kind == 'dense' else
             [{'id': i, 'name': 'player-%06d' % i, 'level': i % 100, 'active': i % 3 == 0, 'guild': 'guild-%03d' % (i % 50)}
              for i in range(n)] if kind == 'records' else
             {('k%d' % i if i % 2 else 'item <%d> & more' % i): ('v & <%d>' % i if i % 3 == 0 else i) for i in range(n)})
    # plistutil writes what it reads from plistlib's file again.
    write(kind + '.plistlib.' + form, value, plistlib.FMT_XML if form == 'xml' else plistlib.FMT_BINARY)
    subprocess.run(['plistutil', '-i', out + '/' + kind + '.plistlib.' + form, '-o',
                    out + '/' + kind + '.plistutil.' + form, '-f', form], check=True)
    for name in ('plistlib.' + form, 'plistutil.' + form):
        with open(out + '/' + kind + '.' + name, 'rb') as f: files[kind + '.' + name] = plistlib.load(f)
else:
    # The archiver's table: the root, its entries' objects, one class
    # object for each class, keys written once and named at each use (each
    # dictionary's list of them its own, the UID naming its class one).
    objects = ['$null']
    root = {}
    root_ref = add(objects, root)
    if kind == 'dictionary':
        keys = [add(objects, 'key-%d' % i) for i in range(n)]
        values = [add(objects, 'value-%d' % i) for i in range(n)]
        root.update({'NS.keys': keys, 'NS.objects': values, '$class': add(objects, cls('NSDictionary'))})
        value = {'key-%d' % i: 'value-%d' % i for i in range(n)}
    else:
        record_class = None
        names = [add(objects, k) for k in ('id', 'name', 'level')]
        items, value = [], []
        for i in range(n):
            record = {'id': i, 'name': 'item-%d' % i, 'level': i % 7}
            entry = {'NS.keys': [plistlib.UID(u.data) for u in names],
                     'NS.objects': [add(objects, record[k]) for k in ('id', 'name', 'level')]}
            items.append(add(objects, entry))
            record_class = record_class or add(objects, cls('NSDictionary'))
            entry['$class'] = record_class
            value.append(record)
        root.update({'NS.objects': items, '$class': add(objects, cls('NSArray'))})
    write(kind + '.archive', archive(root_ref, objects), plistlib.FMT_BINARY)
    files[kind + '.archive'] = value
for name, value in files.items():
    with open(out + '/' + name + '.show', 'w') as f: f.write(show(value))
)";

std::string show(const Value& v) {
    std::string out;
    switch (v.type()) {
    case Value::Type::Dictionary:
        for (auto& [k, e] : *v.getDict()) out += (out.empty() ? "" : ",") + k + ":" + show(e);
        return "{" + out + "}";
    case Value::Type::Array:
        for (auto& e : *v.getArray()) out += (out.empty() ? "" : ",") + show(e);
        return "[" + out + "]";
    case Value::Type::Bool: return *v.getBool() ? "True" : "False";
    case Value::Type::Integer: return std::to_string(*v.getInteger());
    case Value::Type::String: return "'" + *v.getString() + "'";
    default: return "?";
    }
}

// Where two long texts first differ, with a little of each.
std::string firstDifference(const std::string& a, const std::string& b) {
    size_t at = std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin();
    return "at " + std::to_string(at) + ": " + a.substr(at, 60) + " | " + b.substr(at, 60);
}

class HonestFiles : public ::testing::Test {
protected:
    // The files of `kind` (n elements), each with what plistlib reads.
    std::vector<std::pair<fs::path, std::string>> write(const std::string& kind, int n) {
        fs::path folder = dir_ / kind;
        fs::create_directories(folder);
        auto run = testsupport::runProgram({"/usr/bin/python3", "-c", kWrite, kind, std::to_string(n), folder.string()});
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::pair<fs::path, std::string>> out;
        for (auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() != ".show")
                out.push_back({entry.path(), testsupport::readFile(entry.path().string() + ".show")});
        EXPECT_FALSE(out.empty());
        return out;
    }

    void expectReadAsWritten(const fs::path& file, const std::string& expected, bool archive) {
        std::string bytes = testsupport::readFile(file);
        auto v = archive ? keyedarchive::unarchive(Data(bytes.begin(), bytes.end())) : Value::fromPlist(bytes);
        ASSERT_TRUE(v) << file.filename() << ", " << bytes.size() << " bytes";
        std::string seen = show(*v);
        EXPECT_TRUE(seen == expected) << file.filename() << " " << firstDifference(seen, expected);
    }

    testsupport::TempDir dir_;
};

// 1.2 million numbers below 250 (a one-byte reference each to a shared
// number): 1.2 MB of binary was refused, where the same as XML (28 MB)
// read. The XML here is of 300,000 (7 MB): libplist grows its lists a
// little at a time, which takes a sanitized build minutes for millions.
TEST_F(HonestFiles, DenseListsOfSmallNumbersReadInBothForms) {
    for (auto [kind, n] : {std::pair{"dense", 1200000}, std::pair{"dense-xml", 300000}}) {
        auto files = write(kind, n);
        ASSERT_EQ(files.size(), 2u);
        for (auto& [file, expected] : files) expectReadAsWritten(file, expected, false);
    }
}

// 100,000 records of five fields: 7 MB of binary from either program was
// refused, where the same as XML (23 MB) read. The XML here is of 40,000
// (9 MB).
TEST_F(HonestFiles, ManySmallRecordsReadInBothForms) {
    for (auto [kind, n] : {std::pair{"records", 100000}, std::pair{"records-xml", 40000}}) {
        auto files = write(kind, n);
        ASSERT_EQ(files.size(), 2u);
        for (auto& [file, expected] : files) expectReadAsWritten(file, expected, false);
    }
}

// A dictionary of 100,000 distinct keys (short ones, and ones holding
// entities) from either program: libplist files keys in a table of 4,096
// buckets, and what that costs it is judged before it reads, within a
// budget that keys sharing its hash pass (PlistLimitsTests).
TEST_F(HonestFiles, ADictionaryOfAHundredThousandKeysReads) {
    auto files = write("keys-xml", 100000);
    ASSERT_EQ(files.size(), 2u);
    for (auto& [file, expected] : files) expectReadAsWritten(file, expected, false);
}

// Archives of the archiver's shape (a table of objects naming each other by
// UID, keys and classes written once and named at each use): 200,000
// dictionary entries (13 MB), 50,000 records of three fields.
TEST_F(HonestFiles, KeyedArchivesOfTheArchiversShapeUnarchive) {
    for (auto [kind, n] : {std::pair{"dictionary", 200000}, std::pair{"archived-records", 50000}}) {
        auto files = write(kind, n);
        ASSERT_EQ(files.size(), 1u);
        expectReadAsWritten(files[0].first, files[0].second, true);
    }

    // And as our own writer archives them.
    Value entries = Value::dict();
    for (int i = 0; i < 100000; ++i) entries.set("key-" + std::to_string(i), Value("value-" + std::to_string(i)));
    auto back = keyedarchive::unarchive(keyedarchive::archive(entries));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, entries);
}

}  // namespace
