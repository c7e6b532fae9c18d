#pragma once
// A loopback stand-in of the user-centre server: the endpoints the SDK's
// account, role, online-time and payment calls use, under the API base
// path "/sdkapicoupon2/". Coded requests and replies go through the SDK's
// own request codec (ZVRequestCodec), form requests are answered with
// JSON. Every request is journalled with what the stand-in read out of it;
// tests script failures per path as with the aggregator's stand-in.
//
// Accounts, balances and sessions live in memory. Scripted replies replace
// the answer only: the route still runs (a scripted failure of a payment
// still charges the account; tests that care script the route's input).

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "standin/StandinServer.h"
#include "standin/UserCentrePictures.h"

namespace standin {

class UserCentreStandin {
public:
    struct Account {
        std::string password;
        std::string nickName;
        std::string rzStatus = "1";  // real-name state text ("0" not verified)
        bool mustRZ = false;
        std::string phone;           // "" when no phone is bound
        int64_t balanceCents = 100000;  // platform coins, in hundredths
    };
    struct Options {
        int port = 0;
        bool tls = false;
        // When set, login signs are checked against it.
        std::string appKey;
    };

    UserCentreStandin();
    explicit UserCentreStandin(Options options);
    ~UserCentreStandin();

    bool start();
    void stop();

    HttpServer& server() { return *server_; }
    Journal& journal() { return server_->journal(); }
    // "http://127.0.0.1:PORT/": the value of ZORVIA_SERVER_URL.
    std::string serverURL() const { return server_->baseURL() + "/"; }
    // The full path of an endpoint ("/sdkapicoupon2/login/dologin").
    static std::string path(const std::string& endpoint);
    // Settings that point a client at this stand-in.
    Value infoPlistSettings() const;

    void addAccount(const std::string& name, Account account);
    std::optional<Account> account(const std::string& name) const;
    // What the launch's SDK-information request answers.
    void setUpdate(bool pending, const std::string& url = "", const std::string& message = "");
    // The token of the user's current session ("" when logged out).
    std::string tokenFor(const std::string& name) const;

    // A reply in the coded form, for scripts of coded endpoints.
    static Reply coded(const Value& body, int status = 200);

    // The pictures served under PictureShelf::kRoute, and one's address.
    PictureShelf& pictures() { return pictures_; }
    std::string pictureURL(const std::string& name) const { return server_->baseURL() + PictureShelf::pathFor(name); }

private:
    void installRoutes();
    void installPictureRoute();
    Value loginReply(const Value& request, JournalEntry& entry);
    Value payReply(const Value& request);
    std::string userForToken(const std::string& token) const;

    Options options_;
    std::unique_ptr<HttpServer> server_;
    PictureShelf pictures_;
    mutable std::mutex mutex_;
    std::map<std::string, Account> accounts_;
    std::map<std::string, std::string> sessions_;  // user name → token
    bool updatePending_ = false;
    std::string updateURL_, updateMessage_;
    uint64_t nextToken_ = 1, nextOrder_ = 1;
};

}  // namespace standin
