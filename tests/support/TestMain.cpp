// The main of every test executable: the application home points at a
// fresh folder for the whole run, so no test ever touches the user's data.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/AppHome.h"
#include "support/TestSupport.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::TempDir home("korvel-testhome");
    setenv("KORVEL_HOME", home.path().c_str(), 1);
    AppHome::setRoot(home.path());
    return RUN_ALL_TESTS();
}
