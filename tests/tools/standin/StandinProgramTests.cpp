// The stand-in programs: their options, and serving until they are stopped.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"
#include "platform/security/Digest.h"
#include "standin/StandinProgram.h"
#include "standin/StandinServer.h"
#include "support/TestSupport.h"
#include "usercenter/core/ZVRequestCodec.h"

namespace {

TEST(StandinProgram, Ports) {
    EXPECT_EQ(standin::parsePort("0"), 0);
    EXPECT_EQ(standin::parsePort("8080"), 8080);
    EXPECT_EQ(standin::parsePort("65535"), 65535);
    for (auto bad : {"", "65536", "99999", "123456", "-1", "+80", " 80", "80x", "abc", "8 0"})
        EXPECT_FALSE(standin::parsePort(bad)) << bad;
}

TEST(StandinProgram, OptionsAreReadInTurn) {
    const char* argv[] = {"prog", "--api-ports", "1,0,65535", "--product", "P1:key:with:colons",
                          "--tls",  "--port",      "80",        "--name",    "a b"};
    standin::ProgramOptions args(10, const_cast<char**>(argv), "usage\n");
    ASSERT_TRUE(args.next());
    EXPECT_EQ(args.option(), "--api-ports");
    EXPECT_EQ(args.ports(), (std::vector<int>{1, 0, 65535}));
    ASSERT_TRUE(args.next());
    EXPECT_EQ(args.pair(), (std::pair<std::string, std::string>{"P1", "key:with:colons"}));
    ASSERT_TRUE(args.next());
    EXPECT_EQ(args.option(), "--tls");
    ASSERT_TRUE(args.next());
    EXPECT_EQ(args.port(), 80);
    ASSERT_TRUE(args.next());
    EXPECT_EQ(args.value(), "a b");
    EXPECT_FALSE(args.next());
}

// The exit status of a stand-in program run with `args`, its output dropped.
// A program that took a bad option for a good one would serve on until the
// time-out ends it (status 124).
int exitStatus(const std::string& program, const std::string& args) {
    int raw = std::system(("timeout 30 '" + testsupport::built(program) + "' " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(StandinProgram, MalformedOptionsEndTheProgramWithItsUsage) {
    EXPECT_EQ(exitStatus(AGGREGATOR_STANDIN, "--list-port abc"), 2);
    EXPECT_EQ(exitStatus(AGGREGATOR_STANDIN, "--api-ports 8080,80x0"), 2);
    EXPECT_EQ(exitStatus(AGGREGATOR_STANDIN, "--config-port 70000"), 2);
    EXPECT_EQ(exitStatus(AGGREGATOR_STANDIN, "--gateway-port"), 2);
    EXPECT_EQ(exitStatus(AGGREGATOR_STANDIN, "--product nokey"), 2);
    EXPECT_EQ(exitStatus(AGGREGATOR_STANDIN, "--unknown"), 2);
    EXPECT_EQ(exitStatus(AGGREGATOR_STANDIN, "--help"), 0);
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "--port 8o80"), 2);
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "--account :password"), 2);
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "--real-name maybe"), 2);
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "--slow -1"), 2);
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "--slow 2s"), 2);
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "--slow"), 2);
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "-h"), 0);
    // What is wrong is named, with the wrong value, before the usage.
    struct Case {
        const char* program;
        std::vector<std::string> args;
        std::string said;
    };
    for (auto& [program, args, said] : std::vector<Case>{
             {USERCENTRE_STANDIN, {"--real-name", "maybe"}, "--real-name takes optional or mandatory, not \"maybe\""},
             {USERCENTRE_STANDIN, {"--slow", "abc"}, "--slow takes a number of seconds from 0 to 600, not \"abc\""},
             {USERCENTRE_STANDIN, {"--slow"}, "--slow needs a value"},
             {AGGREGATOR_STANDIN, {"--api-ports", "8080,80x0"}, "--api-ports takes ports from 0 to 65535 between commas, not \"8080,80x0\""},
             {AGGREGATOR_STANDIN, {"--product", "nokey"}, "--product takes NAME:VALUE, not \"nokey\""},
             {AGGREGATOR_STANDIN, {"--unknown"}, "unknown option --unknown"}}) {
        std::vector<std::string> argv{"/usr/bin/timeout", "30", testsupport::built(program)};
        argv.insert(argv.end(), args.begin(), args.end());
        auto result = testsupport::runProgram(argv);
        std::string name = std::filesystem::path(program).filename().string();
        EXPECT_EQ(result.status, 2) << said;
        EXPECT_TRUE(strings::hasPrefix(result.err, name + ": " + said + "\nusage: " + name)) << result.err;
    }
}

TEST(StandinProgram, ATakenPortEndsTheProgram) {
    standin::HttpServer taken("taken");
    ASSERT_TRUE(taken.start());
    EXPECT_EQ(exitStatus(USERCENTRE_STANDIN, "--port " + std::to_string(taken.port())), 1);
}

TEST(StandinProgram, ServesWhatItPrintsUntilTerminatedAndLogsWhatItAnswers) {
    testsupport::TempDir dir;
    auto errors = dir / "stderr";
    std::string command = "'" + testsupport::built(AGGREGATOR_STANDIN) + "' 2>'" + errors.string() +
                          "' & echo pid=$!; wait $!; echo status=$?";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_TRUE(out);
    std::map<std::string, std::string> lines;
    char buf[512];
    while (lines.size() < 6 && std::fgets(buf, sizeof buf, out)) {
        std::string line(buf);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        auto eq = line.find('=');
        if (eq != std::string::npos) lines[line.substr(0, eq)] = line.substr(eq + 1);
    }
    ASSERT_TRUE(lines.count("pid") && lines.count("RELAY_CONFIG_HOST_URL")) << lines.size();
    EXPECT_EQ(lines.size(), 6u);  // the pid and five settings

    URLRequest request(lines["RELAY_CONFIG_HOST_URL"] + "/P100/977.html");
    request.timeout = std::chrono::seconds(10);
    auto reply = testsupport::offMainThread([&] {
        return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(request);
    });
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(Value::fromJSON(reply.body).value_or(Value())["open"], Value(1));

    kill(pid_t(std::atol(lines["pid"].c_str())), SIGTERM);
    std::string last;
    while (std::fgets(buf, sizeof buf, out)) last = buf;
    pclose(out);
    EXPECT_EQ(last, "status=0\n");
    std::string logged = testsupport::readFile(errors);
    EXPECT_NE(logged.find("aggregator-standin (config): GET /P100/977.html -> 200"), std::string::npos) << logged;
}

// The user-centre program, started with `args` and stopped by SIGTERM;
// what it wrote to standard error is read after it ended.
class UserCentreProgram {
public:
    explicit UserCentreProgram(const std::string& args) {
        std::string command = "'" + testsupport::built(USERCENTRE_STANDIN) + "' " + args + " 2>'" + errors_.string() +
                              "' & echo pid=$!; wait $!";
        out_ = popen(command.c_str(), "r");
        char buf[512];
        while (out_ && !lines_.count("ZORVIA_SERVER_URL") && std::fgets(buf, sizeof buf, out_)) {
            std::string line(buf);
            if (!line.empty() && line.back() == '\n') line.pop_back();
            auto eq = line.find('=');
            if (eq != std::string::npos) lines_[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    ~UserCentreProgram() { stop(); }

    bool started() const { return lines_.count("pid") && lines_.count("ZORVIA_SERVER_URL"); }

    // POSTs `body` to the API path `path` ("login/dologin"); a form when `form`.
    URLResult post(const std::string& path, std::string body, bool form = false) {
        URLRequest request(lines_["ZORVIA_SERVER_URL"] + "sdkapicoupon2/" + path, "POST");
        request.body = std::move(body);
        if (form) request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
        request.timeout = std::chrono::seconds(10);
        return testsupport::offMainThread([&] {
            return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(request);
        });
    }

    // Ends the program; what it wrote to standard error.
    std::string stop() {
        if (out_) {
            if (started()) kill(pid_t(std::atol(lines_["pid"].c_str())), SIGTERM);
            char buf[512];
            while (std::fgets(buf, sizeof buf, out_)) {
            }
            pclose(out_);
            out_ = nullptr;
        }
        return testsupport::readFile(errors_);
    }

private:
    testsupport::TempDir dir_;
    std::filesystem::path errors_ = dir_ / "stderr";
    FILE* out_ = nullptr;
    std::map<std::string, std::string> lines_;
};

// The user centre's program asks for real-name verification when told,
// and says on standard error what it answered.
TEST(StandinProgram, TheUserCentreAsksForRealNamesAndLogsWhatItAnswers) {
    UserCentreProgram program("--real-name mandatory --slow 0.01");
    ASSERT_TRUE(program.started());
    auto& codec = *ZVRequestCodec::current();
    auto reply = program.post("login/dologin", codec.encode(Value::dict({{"i", "demo"}, {"p", digest::md5Hex("123456")}})));
    std::string logged = program.stop();
    ASSERT_TRUE(reply.ok());
    auto login = codec.decode(reply.body);
    ASSERT_TRUE(login);
    EXPECT_EQ((*login)["z"].intValue(), 1);
    EXPECT_EQ(login->text("nrz"), "0");
    EXPECT_EQ((*login)["frz"].intValue(), 1);
    EXPECT_NE(logged.find("usercentre-standin: POST /sdkapicoupon2/login/dologin -> 200"), std::string::npos) << logged;
    EXPECT_NE(logged.find("\"i\":\"demo\""), std::string::npos) << logged;
    // The password's digest shows as the client's log shows credentials.
    EXPECT_EQ(logged.find(digest::md5Hex("123456")), std::string::npos) << logged;
    EXPECT_NE(logged.find("\"p\":\"e10a…\""), std::string::npos) << logged;
}

// The requests that carry a real name, an ID number or a phone number (the
// real-name check, SMS codes, phone binding, password resets) are logged
// with each shown by its first character only.
TEST(StandinProgram, TheUserCentreLogsNoNameIdNumberOrPhoneNumberWhole) {
    const std::string name = "欧阳星海", idNumber = "110101199003074518", phone = "13812345678";
    UserCentreProgram program("");
    ASSERT_TRUE(program.started());
    auto& codec = *ZVRequestCodec::current();
    Value realName = Value::dict({{"id", idNumber}, {"r", name}, {"i", "demo"}, {"g", "1"}});
    EXPECT_TRUE(program.post("login/idcheck", codec.encode(realName)).ok());
    EXPECT_TRUE(program.post("Sdkhome/yzm", "sj=" + phone + "&username=demo&type=5", true).ok());
    EXPECT_TRUE(program.post("Sdkhome/bdtel", "sj=" + phone + "&yzm=1234&username=demo", true).ok());
    EXPECT_TRUE(program.post("Sdkhome/forgetpassword",
                             codec.encode(Value::dict({{"phone", phone}, {"yzm", "1234"}, {"password", "654321abc"}}))).ok());
    std::string logged = program.stop();
    for (auto& whole : {name, idNumber, phone, std::string("654321abc")})
        EXPECT_EQ(logged.find(whole), std::string::npos) << whole << "\n" << logged;
    for (auto* shown : {R"(POST /sdkapicoupon2/login/idcheck -> 200 text {"g":"1","i":"demo","id":"1…","r":"欧…"})",
                        R"(POST /sdkapicoupon2/Sdkhome/yzm -> 200 json {"sj":"1…","type":"5","username":"demo"})",
                        R"(POST /sdkapicoupon2/Sdkhome/bdtel -> 200 json {"sj":"1…","username":"demo","yzm":"1234"})",
                        R"({"password":"6543…","phone":"1…","yzm":"1234"})"})
        EXPECT_NE(logged.find(shown), std::string::npos) << shown << "\n" << logged;
}

// A request line: the user centre's short credential keys and the names
// the client's log knows are shortened; a long reading shows whole, its
// credentials shortened wherever they stand.
TEST(StandinProgram, RequestLinesShortenCredentialsAndShowTheWholeRequest) {
    standin::JournalEntry e;
    e.request.method = "POST";
    e.request.path = "/sdkapicoupon2/login/dologin";
    e.status = 200;
    e.played = "text";
    e.decoded = Value::dict({{"i", "demo"}, {"p", digest::md5Hex("123456")}, {"k", "9f86d081884c7d65"},
                             {"s", "5e884898da28"}, {"token", "abcdef123"}});
    EXPECT_EQ(standin::requestLine("uc", e, {kZVCredentialKeys}),
              R"(uc: POST /sdkapicoupon2/login/dologin -> 200 text {"i":"demo","k":"9f86…","p":"e10a…","s":"5e88…","token":"abcd…"})");
    e.request.path = "/v1/order/orderpay";
    std::string extra = std::string(600, 'x') + "星海征途";
    e.decoded = Value::dict({{"extra", extra}, {"sign", "1f3e9a0b77"}});
    EXPECT_EQ(standin::requestLine("aggregator-standin (api0)", e),
              "aggregator-standin (api0): POST /v1/order/orderpay -> 200 text {\"extra\":\"" + extra +
                  "\",\"sign\":\"1f3e…\"}");
}

}  // namespace
