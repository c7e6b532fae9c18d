#pragma once
// Shared set-up of the user-centre tests: a fresh home, a bundle whose
// settings point at a user-centre stand-in on a free loopback port, and
// the SDK's login state reset to match.

#include <gtest/gtest.h>

#include <memory>

#include "standin/UserCentreStandin.h"
#include "support/TestSupport.h"

namespace uctest {

// The bundle's Info.plist and ZV.plist for a stand-in (or no server when null).
Value infoFor(const standin::UserCentreStandin* standin);
Value zvPlist();

class Environment {
public:
    // Starts a stand-in with the account "player1" / "secret1" and points the SDK at it.
    explicit Environment(bool startStandin = true);
    ~Environment();
    standin::UserCentreStandin& standin() { return *standin_; }
    testsupport::TempBundle& bundle() { return *bundle_; }
    // Rewrites the Info.plist and reloads the SDK's settings.
    void setInfo(const Value& info);

private:
    testsupport::TempHome home_;
    std::unique_ptr<standin::UserCentreStandin> standin_;
    std::unique_ptr<testsupport::TempBundle> bundle_;
};

}  // namespace uctest
