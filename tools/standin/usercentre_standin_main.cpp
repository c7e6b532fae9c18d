// The user-centre stand-in as a program, for the demo: starts the server
// on the given port (a free one by default), prints the settings that
// point a client at it, writes a line for each request it answers to
// standard error (credentials and personal data shortened, as the client's
// log shows them), and runs until interrupted.
//
//   usercentre-standin [--port P] [--tls] [--account NAME:PASSWORD]...
//                      [--app-key KEY] [--update URL] [--fixtures DIR]
//                      [--real-name optional|mandatory] [--slow SECONDS]
//
// --real-name makes every account unverified, so that a login asks for
// real-name verification (which the player may put off, or must pass);
// --slow holds every answer that long.

#include <cstdio>
#include <cstdlib>

#include "standin/StandinProgram.h"
#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVRequestCodec.h"

namespace {

constexpr const char* kUsage =
    "usage: usercentre-standin [--port P] [--tls] [--account NAME:PASSWORD]...\n"
    "                          [--app-key KEY] [--update URL] [--fixtures DIR]\n"
    "                          [--real-name optional|mandatory] [--slow SECONDS]\n";

// Seconds from 0 to 600, fractions allowed; nullopt for anything else.
std::optional<double> seconds(const std::string& text) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || !end || *end || !(v >= 0 && v <= 600)) return std::nullopt;
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    standin::ProgramOptions args(argc, argv, kUsage);
    standin::UserCentreStandin::Options options;
    std::vector<std::pair<std::string, std::string>> accounts;
    std::string updateURL, fixtures, realName;
    double slow = 0;
    while (args.next()) {
        const std::string& a = args.option();
        if (a == "--port") options.port = args.port();
        else if (a == "--tls") options.tls = true;
        else if (a == "--app-key") options.appKey = args.value();
        else if (a == "--update") updateURL = args.value();
        else if (a == "--account") accounts.push_back(args.pair());
        else if (a == "--fixtures") fixtures = args.value();
        else if (a == "--real-name") {
            realName = args.value();
            if (realName != "optional" && realName != "mandatory") args.wrongValue(realName, "optional or mandatory");
        } else if (a == "--slow") {
            std::string value = args.value();
            auto s = seconds(value);
            if (!s) args.wrongValue(value, "a number of seconds from 0 to 600");
            slow = *s;
        } else args.unknown();
    }
    if (accounts.empty()) accounts.emplace_back("demo", "123456");

    standin::UserCentreStandin standin(options);
    for (auto& [name, password] : accounts) {
        standin::UserCentreStandin::Account account;
        account.password = password;
        account.nickName = name;
        if (!realName.empty()) {
            account.rzStatus = "0";
            account.mustRZ = realName == "mandatory";
        }
        standin.addAccount(name, account);
    }
    std::string error;
    if (!fixtures.empty() && !standin.loadFixtures(fixtures, &error)) {
        std::fprintf(stderr, "usercentre-standin: %s\n", error.c_str());
        return 2;
    }
    if (!updateURL.empty()) standin.setUpdate(true, updateURL, "发现新版本，请更新后再登录");
    standin.server().setReplyDelay(std::chrono::nanoseconds(int64_t(slow * 1e9)));
    standin::printRequests(standin.server(), "usercentre-standin", {kZVCredentialKeys, kZVPersonalKeys});
    return standin::serveUntilStopped("usercentre-standin", standin);
}
