// The user-centre stand-in as a program, for the demo: starts the server
// on the given port (a free one by default), prints the settings that
// point a client at it, and runs until interrupted.
//
//   usercentre-standin [--port P] [--tls] [--account NAME:PASSWORD]...
//                      [--app-key KEY] [--update URL] [--fixtures DIR]

#include "standin/StandinProgram.h"
#include "standin/UserCentreStandin.h"

int main(int argc, char** argv) {
    standin::ProgramOptions args(argc, argv,
                                 "usage: usercentre-standin [--port P] [--tls] [--account NAME:PASSWORD]...\n"
                                 "                          [--app-key KEY] [--update URL] [--fixtures DIR]\n");
    standin::UserCentreStandin::Options options;
    std::vector<std::pair<std::string, std::string>> accounts;
    std::string updateURL, fixtures;
    while (args.next()) {
        const std::string& a = args.option();
        if (a == "--port") options.port = args.port();
        else if (a == "--tls") options.tls = true;
        else if (a == "--app-key") options.appKey = args.value();
        else if (a == "--update") updateURL = args.value();
        else if (a == "--account") accounts.push_back(args.pair());
        else if (a == "--fixtures") fixtures = args.value();
        else args.unknown();
    }
    if (accounts.empty()) accounts.emplace_back("demo", "123456");

    standin::UserCentreStandin standin(options);
    for (auto& [name, password] : accounts) {
        standin::UserCentreStandin::Account account;
        account.password = password;
        account.nickName = name;
        standin.addAccount(name, account);
    }
    std::string error;
    if (!fixtures.empty() && !standin.loadFixtures(fixtures, &error)) {
        std::fprintf(stderr, "usercentre-standin: %s\n", error.c_str());
        return 2;
    }
    if (!updateURL.empty()) standin.setUpdate(true, updateURL, "发现新版本，请更新后再登录");
    return standin::serveUntilStopped("usercentre-standin", standin);
}
