#include "support/SecretSession.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace secretsession {

namespace {

constexpr const char* kVariable = "KORVEL_SECRET_SESSION";

const char* nameOf(Kind kind) {
    switch (kind) {
    case Kind::Keyring: return "keyring";
    case Kind::BusWithoutSecretService: return "bus";
    case Kind::NoBus: return "nobus";
    }
    return "";
}

// A session bus that starts nothing on demand: a test that runs before the
// keyring owns its name, or on a bus without one, must not have the system's
// own Secret Service started for it.
const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

std::string selfPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::string currentTest() {
    auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

}  // namespace

bool enter(Kind kind) {
    if (const char* inside = std::getenv(kVariable)) {
        EXPECT_STREQ(inside, nameOf(kind)) << "the test runs in a session of another kind";
        return true;
    }
    testsupport::TempDir dir("korvel-secret-session");
    testsupport::writeFile(dir / "bus.conf", kBusConfig);
    std::string self = selfPath();
    std::string filter = "--gtest_filter=" + currentTest();
    std::string config = "--config-file=" + (dir / "bus.conf").string();
    std::vector<std::string> argv = {"/usr/bin/env"};
    if (kind == Kind::NoBus) argv.insert(argv.end(), {"-u", "DBUS_SESSION_BUS_ADDRESS"});
    argv.push_back(std::string(kVariable) + "=" + nameOf(kind));
    switch (kind) {
    case Kind::Keyring:
        argv.insert(argv.end(), {"dbus-run-session", config, "--", "/bin/sh",
                                 (testsupport::sourceDir() / "tests/support/keyring-session.sh").string(), self,
                                 filter});
        break;
    case Kind::BusWithoutSecretService:
        argv.insert(argv.end(), {"dbus-run-session", config, "--", self, filter});
        break;
    case Kind::NoBus:
        argv.insert(argv.end(), {"XDG_RUNTIME_DIR=" + dir.path().string(), self, filter});
        break;
    }
    auto result = testsupport::runProgram(argv);
    bool ran = result.out.find("[  PASSED  ] 1 test") != std::string::npos;
    EXPECT_TRUE(result.status == 0 && ran) << "the test in its " << nameOf(kind) << " session (status "
                                           << result.status << "):\n"
                                           << result.out << result.err;
    return false;
}

}  // namespace secretsession
