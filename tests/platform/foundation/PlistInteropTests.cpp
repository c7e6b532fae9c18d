// What our property-list writers write, as independent readers read it:
// libplist's plistutil and Python's plistlib. Each test skips when its
// reader is not installed.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/foundation/Strings.h"
#include "platform/foundation/Value.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPlistutil = "/usr/bin/plistutil";
constexpr const char* kPython = "/usr/bin/python3";

// Prints a property list in one line: dictionaries with sorted keys, dates
// in ISO form, UIDs as "UID" and the number.
constexpr const char* kShow = R"(
import datetime, plistlib, sys
def show(x):
    if isinstance(x, dict): return '{' + ','.join(k + ':' + show(x[k]) for k in sorted(x)) + '}'
    if isinstance(x, list): return '[' + ','.join(map(show, x)) + ']'
    if isinstance(x, datetime.datetime): return x.isoformat()
    if isinstance(x, plistlib.UID): return 'UID' + str(x.data)
    return repr(x)
print(show(plistlib.load(open(sys.argv[1], 'rb'))))
)";

class OtherReaders : public ::testing::Test {
protected:
    // What `tool` makes of `file`: plistutil converts it to XML, Python
    // shows it as kShow does. "" when the tool fails.
    std::string read(const char* tool, const Data& file) {
        testsupport::writeFile(dir_ / "file", std::string(file.begin(), file.end()));
        std::string path = (dir_ / "file").string();
        auto run = tool == kPython ? testsupport::runProgram({kPython, "-c", kShow, path})
                                   : testsupport::runProgram({kPlistutil, "-i", path, "-f", "xml"});
        return run.status == 0 ? run.out : "";
    }

    void SetUp() override {
        for (const char* tool : {kPlistutil, kPython})
            ASSERT_TRUE(fs::exists(tool)) << tool << " is missing (scripts/deps installs it)";
    }

    testsupport::TempDir dir_;
};

TEST_F(OtherReaders, ReadFarDatesAsWritten) {
    const std::pair<double, const char*> far[] = {
        {63113904000.0, "4001-01-01T00:00:00"}, {252423993599.0, "9999-12-31T23:59:59"}, {-63113904000.0, "0001-01-01T00:00:00"}};
    for (auto [seconds, iso] : far) {
        Value v = Value::dict({{"never", *Value::dateFromStoredSeconds(seconds)}, {"volume", 7}});
        std::string expected = std::string("{never:") + iso + ",volume:7}\n";
        EXPECT_EQ(read(kPython, v.toBinaryPlist()), expected);
        EXPECT_EQ(read(kPython, v.toXMLPlist()), expected);
    }
}

TEST_F(OtherReaders, ReadOneEntryForKeysThatBecomeOne) {
    Value v = Value::dict({{"a\xFE", 1}, {"a\xFF", 2}});
    for (auto& file : {v.toBinaryPlist(), v.toXMLPlist()}) {
        std::string xml = read(kPlistutil, file);
        EXPECT_EQ(strings::replaceAll(xml, "<key>", "").size(), xml.size() - 5) << xml;
        EXPECT_NE(xml.find("<integer>2</integer>"), std::string::npos) << xml;
        EXPECT_EQ(read(kPython, file), "{a\uFFFD:2}\n");
    }
}

TEST_F(OtherReaders, ReadUIDsAndLargerNumbers) {
    Value v = Value::array({Value::dict({{"CF$UID", 5}}), Value::dict({{"CF$UID", int64_t(1) << 32}})});
    std::string xml = read(kPlistutil, v.toBinaryPlist());
    EXPECT_NE(xml.find("<integer>4294967296</integer>"), std::string::npos) << xml;
    EXPECT_EQ(read(kPython, v.toBinaryPlist()), "[UID5,{CF$UID:4294967296}]\n");
}

}  // namespace
