// The user-centre stand-in as a program, for the demo: starts the server
// on the given port (a free one by default), prints the settings that
// point a client at it, and runs until interrupted.
//
//   usercentre-standin [--port P] [--tls] [--account NAME:PASSWORD]...
//                      [--app-key KEY] [--update URL]

#include <cstdio>
#include <cstring>
#include <string>

#include "standin/UserCentreStandin.h"

namespace {
void usage() {
    std::fprintf(stderr,
                 "usage: usercentre-standin [--port P] [--tls] [--account NAME:PASSWORD]...\n"
                 "                          [--app-key KEY] [--update URL]\n");
}
}  // namespace

int main(int argc, char** argv) {
    standin::UserCentreStandin::Options options;
    std::vector<std::pair<std::string, std::string>> accounts;
    std::string updateURL;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--port") options.port = std::atoi(next().c_str());
        else if (a == "--tls") options.tls = true;
        else if (a == "--app-key") options.appKey = next();
        else if (a == "--update") updateURL = next();
        else if (a == "--account") {
            auto v = next();
            auto colon = v.find(':');
            if (colon == std::string::npos || colon == 0) return usage(), 2;
            accounts.emplace_back(v.substr(0, colon), v.substr(colon + 1));
        } else {
            usage();
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    if (accounts.empty()) accounts.emplace_back("demo", "123456");

    standin::StopSignals signals;  // before any server thread starts
    standin::UserCentreStandin standin(options);
    for (auto& [name, password] : accounts) {
        standin::UserCentreStandin::Account account;
        account.password = password;
        account.nickName = name;
        standin.addAccount(name, account);
    }
    if (!updateURL.empty()) standin.setUpdate(true, updateURL, "发现新版本，请更新后再登录");
    if (!standin.start()) {
        std::fprintf(stderr, "usercentre-standin: the port is taken\n");
        return 1;
    }
    standin::printSettings(standin.infoPlistSettings());
    signals.wait();
    standin.stop();
    return 0;
}
