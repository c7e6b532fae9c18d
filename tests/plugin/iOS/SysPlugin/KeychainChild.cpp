// A separate process for the keychain restart test: stores or reads one
// value through the system plug-in's interface, then exits.
//   sys_keychain_child <home> set <service> <key> <value>
//   sys_keychain_child <home> get <service> <key>    (prints the value)

#include <cstdio>
#include <string>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Value.h"
#include "plugin/iOS/RAZ5Orered/SysInterface.h"

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    AppHome::setRoot(argv[1]);
    std::string verb = argv[2];
    SysInterface sys;
    sys.InitKeychain(std::string(argv[3]));
    if (verb == "set" && argc == 6) {
        sys.SetKeychain(Value::dict({{"key", argv[4]}, {"value", argv[5]}}).toJSON());
        return 0;
    }
    if (verb == "get") {
        auto value = sys.GetKeychain(std::string(argv[4]));
        if (!value) return 1;
        std::fwrite(value->data(), 1, value->size(), stdout);
        return 0;
    }
    return 2;
}
