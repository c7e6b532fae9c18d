// A child process for the device-fact tests that need a process of their own.
//
//   device_child vendor-id <home>
//       Prints the vendor identifier of <home> (stored in its keychain).
//   device_child vendor-id-readonly <home>
//       In a private mount namespace, makes <home> read-only and prints the
//       vendor identifier twice, separated by a blank.

#include <sys/mount.h>

#include <cstdio>
#include <string>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/AppHome.h"
#include "support/MountNamespace.h"

int main(int argc, char** argv) {
    std::string mode = argc == 3 ? argv[1] : "";
    if (mode != "vendor-id" && mode != "vendor-id-readonly") {
        fprintf(stderr, "usage: device_child vendor-id|vendor-id-readonly <home>\n");
        return 64;
    }
    AppHome::setRoot(argv[2]);
    if (mode == "vendor-id") {
        printf("%s", device::vendorIdentifier().c_str());
        return 0;
    }
    if (!testsupport::enterPrivateMountNamespace()) return 2;
    if (mount(argv[2], argv[2], nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, argv[2], nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        perror("device_child: cannot make the home read-only");
        return 3;
    }
    std::string first = device::vendorIdentifier();
    printf("%s %s", first.c_str(), device::vendorIdentifier().c_str());
    return 0;
}
