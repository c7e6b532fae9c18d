#pragma once
// A desktop session of a test's own for code that talks to the Secret
// Service: the running test is run again in a child process inside a fresh
// session bus (dbus-run-session with no services to start on demand), and
// that child does the work. The user's own bus and keyring are never
// touched.
//
//     TEST(WebCredentials, StoredAndListed) {
//         if (!secretsession::enter(secretsession::Kind::Keyring)) return;
//         ... runs in the child, against its own keyring ...
//     }
//
// In the test process, enter() runs the child, reports its failures (and its
// output) as this test's, and returns false. In the child it returns true.

namespace secretsession {

enum class Kind {
    Keyring,                  // a gnome-keyring-daemon with an unlocked default collection, in a fresh home
    BusWithoutSecretService,  // a session bus on which nothing owns the Secret Service's name
    NoBus,                    // no session bus named in the environment, none at XDG_RUNTIME_DIR
};

bool enter(Kind kind);

}  // namespace secretsession
