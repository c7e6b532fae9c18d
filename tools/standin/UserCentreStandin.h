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
//
// For the user centre's screens it also serves the paged lists (fixture
// rows by "pagecode", which tests replace), the publisher's web pages (the
// Tasks page checks its sign) and pictures. Demo data comes from a fixture
// folder (loadFixtures). Each group of routes lives in a file of its own
// (UserCentre<Group>.cpp) and is installed by installRoutes().

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

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

    // ---- Routes. A coded route decodes the body with the SDK's codec
    // (refusing what does not decode) and answers coded; a form route reads
    // the decoded form pairs and answers JSON. Both journal what they read.
    using CodedAnswer = std::function<Value(const Value& request, JournalEntry& entry)>;
    using FormAnswer = std::function<Value(const Value& fields)>;
    static HttpServer::Handler codedRoute(CodedAnswer answer);
    static HttpServer::Handler formRoute(FormAnswer answer);

    // ---- Paged lists (UserCentreLists.cpp): the rows of an endpoint's
    // list, served `pageSize` a page; `extras` go at the top of every reply.
    // Text in rows may name "{pictures}" (the picture route's address) and
    // "{server}" (the server's address, ending in "/").
    struct List {
        std::vector<Value> rows;
        int pageSize = 10;
        Value extras = Value::dict();
    };
    void setList(const std::string& endpoint, List list);
    List list(const std::string& endpoint) const;
    // The reply to a page of a list (pages from 1; anything else is page 1).
    Value listPage(const std::string& endpoint, const std::string& pagecode) const;

    // ---- Comments (UserCentreComments.cpp): the comment list by "px" (0
    // newest first by "createtime", 1 most liked first by "good"), each
    // comment's replies by "comments_id", posts ("content"; with "pid" a
    // reply) that show from the next first load, and likes, counted.
    // Replies are {"a": status, "b": message, "c": page}; rows keep what
    // they were given (text, numbers or anything else in any field).
    struct Comments {
        std::vector<Value> rows;                           // each with an "id"
        std::map<std::string, std::vector<Value>> replies;  // by comment id (as text)
        int pageSize = 10;
    };
    void setComments(Comments comments);
    Comments comments() const;
    // Likes counted for a comment (by id as text) since the comments were set.
    int likesOf(const std::string& id) const;
    static constexpr const char* kPosted = "评论成功";
    static constexpr const char* kLiked = "点赞成功";

    // ---- Welfare (UserCentreWelfare.cpp): the welfare page's payload (the
    // "c" of its reply) and the gift packs of each gift type ("lx"), rows
    // as the list sends them ("id", "name", "excerpt", "card_context",
    // "end_time", "status" and "code" as given). A claim marks a pack
    // claimed for the player's sub-account and gives it a code; it is
    // refused for an unknown pack or one shown claimed already.
    void setWelfare(Value payload);
    void setGifts(int64_t type, std::vector<Value> packs);

    // ---- Vouchers (UserCentreCoupons.cpp): the vouchers on offer, each
    // player's sub-accounts, and which sub-account claimed which voucher.
    // A claim without "xiaohao_id" (empty or 0) is for the account itself
    // (kOwnAccount), as the coupon centre's list reads it. A claim is
    // refused for an unknown voucher, a sub-account the player does not
    // have (any id from 1 when no sub-accounts are set for the player), a
    // voucher that sub-account claimed before, or none left. What a
    // sub-account claimed shows where the player looks for it: newest first
    // at the top of its usable vouchers (status "1"), and added to the
    // account page's voucher summary ("coupon": "money" and "count"), both
    // for the game the request names.
    struct Voucher {
        int64_t cid = 0;
        std::string gid;               // the game it is for
        int remaining = 100;           // how many are left to claim
        Value fields = Value::dict();  // the rest of its list row ("coupon_money", ...)
    };
    struct SubAccount {
        int64_t id = 0;
        std::string nickname;
    };
    void setVouchers(std::vector<Voucher> vouchers);
    std::vector<Voucher> vouchers() const;
    void setSubAccounts(const std::string& user, std::vector<SubAccount> subAccounts);
    std::vector<SubAccount> subAccounts(const std::string& user) const;
    bool claimed(const std::string& user, int64_t xiaohaoId, int64_t cid) const;
    static constexpr int64_t kOwnAccount = 0;
    // Whom a request's "xiaohao_id" names: kOwnAccount when it is empty or 0.
    static int64_t subAccountOf(const Value& request);
    // ---- The account tab (UserCentreMine.cpp): the account page's reply,
    // built from the account and what setProfile adds; each player's
    // messages (a read mark lowers "weidu"); the ledgers, reservations and
    // the player's vouchers as lists (setList) with the claims on top: the rows of the ledgers
    // with sources (vouchers both ways, star-coin income) carry the
    // "screen" of their source (screen 0 lists all), the other ledgers list
    // every row whatever the "screen"; each payment in platform coins heads
    // its player's platform-coin spending (newest first, "remark" its
    // product name). The vouchers are kept per status under myCouponsKey. Password resets and unbindings
    // change the account; codes are any text of 4 characters or more. The
    // coupon centre lists the game's vouchers (setVouchers) with "is_get"
    // for the asking sub-account.
    struct Message {
        int64_t id = 0;
        std::string title, content, addtime, url;
        bool read = false;
    };
    static constexpr int kMessagePageSize = 10;
    // The account page's "uinfo" beyond the account ("avatar", "vippic",
    // "paypic", "djq", "starcoin", "wallet", ...; they override), and "coupon".
    void setProfile(const std::string& user, Value uinfo, Value coupon);
    void setMessages(const std::string& user, std::vector<Message> messages);
    std::vector<Message> messages(const std::string& user) const;
    static std::string myCouponsKey(const std::string& status);

    // ---- Web pages (UserCentrePages.cpp): where their parts lie, in CSS
    // pixels from the page's top left, for tests that click them.
    struct PageLayout {
        static constexpr int kBlockHeight = 200;   // the coloured block
        static constexpr int kNextLinkTop = 220;   // a link to the next page
        static constexpr int kBoxLinkTop = 300;    // a link to "zorvia://rw?x=1"
        static constexpr int kLinkHeight = 60;
        static constexpr uint32_t kSigned = 0x2BB673;    // Tasks, sign right
        static constexpr uint32_t kUnsigned = 0xE8505B;  // Tasks, sign wrong
        static constexpr uint32_t kService = 0x4988FD;   // customer service
        static constexpr uint32_t kNext = 0xF5A623;      // the next page
        static constexpr uint32_t kAccount = 0x6036E7;   // the account tab's pages
    };
    // The outside chat's page, at the server's root (ZORVIA_CHAT_URL is the root).
    static constexpr const char* kChatPath = "webchatbot/h5chat.html";
    static constexpr const char* kNextPage = "standin/next";
    static constexpr const char* kPostPage = "standin/post";

    // ---- Fixtures (UserCentreFixtures.cpp): lists and pictures from a
    // folder ("servers.json", "guides.json", "activities.json",
    // "pictures.json", "coupons.json", "welfare.json", "mine.json", "comments.json"
    // {rows, replies, page_size}; a missing file leaves its part as it was).
    // Dates in their texts count from the day they are read: "{today}",
    // "{today+N}" and "{today-N}" become that day and N days after or
    // before it ("2026-12-08"), so that what is valid "until next year"
    // stays valid whenever the demo runs. False with a message when a file
    // does not read.
    bool loadFixtures(const std::filesystem::path& folder, std::string* error = nullptr);

    // The pictures served under PictureShelf::kRoute, and one's address.
    PictureShelf& pictures() { return pictures_; }
    std::string pictureURL(const std::string& name) const { return server_->baseURL() + PictureShelf::pathFor(name); }

private:
    void installRoutes();
    void installAccountRoutes();
    void installPictureRoute();
    void installListRoutes();
    void installPageRoutes();
    void installCouponRoutes();
    void installWelfareRoutes();
    Value giftList(const Value& fields) const;
    Value claimGift(const Value& request);
    bool loadWelfare(const Value& fixture, std::string* error);
    Value claimCoupon(const Value& request);
    Value claimAllCoupons(const Value& request);
    Value couponRecord(const Value& fields, bool all) const;
    // The list rows of what `sub` of `user` claimed for game `gid`, newest
    // first; and `coupon` (the account page's summary) with them added.
    // The caller holds mutex_.
    std::vector<Value> claimedRows(const std::string& user, int64_t sub, const std::string& gid) const;
    Value withClaims(const Value& coupon, const std::string& user, int64_t sub, const std::string& gid) const;
    Value myCoupons(const Value& fields) const;
    // Vouchers and sub-accounts from a fixture's JSON; false with a message when malformed.
    bool loadCoupons(const Value& fixture, std::string* error);
    void installMineRoutes();
    Value indexReply(const Value& request);
    Value messagePage(const Value& fields) const;
    Value readMessage(const Value& fields);
    Value ledgerPage(const std::string& endpoint, const Value& fields) const;
    Value resetPassword(const Value& request);
    Value unbindPhone(const Value& request);
    Value smsCode(const Value& fields) const;
    // What every route takes, blanks at either end not counted: a
    // verification code of 4 characters or more; an identity number of 17
    // digits and a digit or X (either case).
    static bool codeOk(const std::string& code);
    static bool identityNumberOk(const std::string& number);
    Value couponList(const Value& fields) const;
    // The account tab's demo data ("mine.json"); false with a message when malformed.
    bool loadMine(const Value& fixture, std::string* error);
    // A page of `l` (rows filled in, counters at the top).
    Value pageOf(const List& l, const std::string& pagecode) const;
    void installCommentRoutes();
    Value commentPage(const std::vector<Value>& rows, const std::string& pagecode) const;
    Value postComment(const Value& fields);
    Value likeComment(const Value& fields);
    bool loadCommentFixtures(const std::filesystem::path& file, std::string* error);
    // "2024-05-01 12:00" of now, as comments and ledger rows give their time.
    static std::string minuteNow();
    // Hundredths from a money text ("6", "6.5", "6.00"); -1 for anything
    // else. And back: "6.00".
    static int64_t centsOf(const std::string& money);
    static std::string moneyText(int64_t cents);
    // Text with "{pictures}" and "{server}" filled in.
    Value filled(const Value& v) const;
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
    std::map<std::string, List> lists_;
    Value welfare_ = Value::dict({{"fanli", ""}, {"vipList", Value::array()}, {"box_content", ""}});
    std::map<int64_t, std::vector<Value>> gifts_;
    // The codes of claimed packs by player, sub-account and pack id.
    std::map<std::tuple<std::string, std::string, std::string>, std::string> giftCodes_;
    std::vector<Voucher> vouchers_;
    std::map<std::string, std::vector<SubAccount>> subAccounts_;
    // By user, sub-account and voucher: the claim's turn (lists show the newest first).
    std::map<std::tuple<std::string, int64_t, int64_t>, uint64_t> claims_;
    uint64_t nextClaim_ = 1;
    struct Profile {
        Value uinfo = Value::dict(), coupon = Value::dict();
    };
    std::map<std::string, Profile> profiles_;
    std::map<std::string, std::vector<Message>> messages_;
    std::map<std::string, std::vector<Value>> payments_;  // ledger rows by player, oldest first
    Comments comments_;
    std::map<std::string, int> likes_;
    int64_t nextComment_ = 1000;
};

}  // namespace standin
