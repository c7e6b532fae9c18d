// The libraries of a few features (TIFF, GIF and JPEG 2000 pictures, QR
// codes) are opened on their first use, not at start; and a wrapper of a
// library or function that is missing fails as the C function would,
// without ending the process.
#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/foundation/OnDemandLibrary.h"
#include "support/TestSupport.h"

// Declared, never defined: the wrapper below looks it up by name only.
extern "C" int korvel_absent_function(const char* text, long count);

namespace {

const ondemand::Library& missingLibrary() {
    static const ondemand::Library lib("libkorvel-absent.so.1");
    return lib;
}
const ondemand::Library& zlib() {
    static const ondemand::Library lib("libz.so.1");
    return lib;
}

namespace absentLibrary {
KORVEL_ON_DEMAND_FUNCTION(missingLibrary(), korvel_absent_function)
}  // namespace absentLibrary
namespace absentFunction {
KORVEL_ON_DEMAND_FUNCTION(zlib(), korvel_absent_function)
}  // namespace absentFunction
namespace present {
KORVEL_ON_DEMAND_FUNCTION(zlib(), crc32)
KORVEL_ON_DEMAND_FUNCTION(zlib(), zlibVersion)
}  // namespace present

TEST(OnDemandLibrary, EachIsOpenedOnItsFirstUseOnly) {
    auto child = testsupport::runProgram({testsupport::built(ON_DEMAND_CHILD)});
    ASSERT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(child.out, "start=000000 used=111110 roundtrips=1111\n") << child.err;
}

TEST(OnDemandLibrary, CallsReachTheLibraryWithTheirArguments) {
    ASSERT_TRUE(zlib().hasAll({"crc32", "zlibVersion"}));
    const char text[] = "korvel";
    // An int where the function takes unsigned long and unsigned int: C's
    // conversions, as a direct call makes them.
    auto bytes = reinterpret_cast<const Bytef*>(text);
    EXPECT_EQ(present::crc32(0, bytes, 6), ::crc32(0, bytes, 6));
    EXPECT_STREQ(present::zlibVersion(), ::zlibVersion());
}

TEST(OnDemandLibrary, AMissingLibraryOrFunctionFailsTheCallOnly) {
    EXPECT_EQ(missingLibrary().handle(), nullptr);
    EXPECT_FALSE(missingLibrary().hasAll({"korvel_absent_function"}));
    EXPECT_FALSE(missingLibrary().loaded());
    EXPECT_EQ(absentLibrary::korvel_absent_function("x", 3L), 0);
    // The library is there, the function is not.
    EXPECT_FALSE(zlib().hasAll({"crc32", "korvel_absent_function"}));
    EXPECT_EQ(absentFunction::korvel_absent_function("x", 3L), 0);
}

}  // namespace
