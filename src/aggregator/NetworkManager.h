#pragma once
// The aggregator SDK's client of its own servers. It keeps the list of API
// servers with the index of the one that last answered, builds the common
// request fields, wraps API requests in the signed and encrypted envelope,
// and tries the servers in turn until one answers.
//
// Every request runs synchronously on the global queue, server after
// server, and its completion comes back asynchronously on the queue that
// called (the main queue in every flow). A completion gets the reply
// dictionary, or nullopt when no server answered. Any reply that arrives
// counts as an answer, whatever its status (a body that is not a JSON
// object reads as an empty dictionary, whose "result" is false), except in
// the timed request, whose tries read replies as the transport's
// asynchronous form does: an empty or unreadable body is no answer there.
//
// The server list and the remembered index are only read and written under
// the manager's lock; each request works on a copy of the list.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "aggregator/RUVURazuzEVERecords.h"
#include "aggregator/RelayServerSettings.h"
#include "platform/foundation/Value.h"

class DispatchQueue;

class NetworkManager : public std::enable_shared_from_this<NetworkManager> {
public:
    using Completion = std::function<void(std::optional<Value> reply)>;

    static NetworkManager& sharedInstance();
    static std::shared_ptr<NetworkManager> shared();
    static void replaceSharedForTesting(std::shared_ptr<NetworkManager> instance);

    // Server addresses from the main bundle's settings.
    NetworkManager();
    explicit NetworkManager(RelayServerSettings settings);

    const RelayServerSettings& settings() const { return settings_; }
    const std::string& session_id() const { return sessionId_; }
    // The common fields, with "time" and "channel_code" read afresh.
    Value publicDict();
    std::vector<std::string> serveUrls() const;
    size_t selectedIndex() const;
    // Time-out of one try against one server, in seconds (6 by default).
    void setRequestTimeout(double seconds) { timeout_ = seconds; }
    double requestTimeout() const { return timeout_; }

    // ---- API server requests (signed envelope, fail-over)
    // "/v1/api/init" with the device snapshot.
    void initInterface(Completion completion);
    // "/v2/users/checklogin" with the caller's "uid", "user_name", "token".
    void loginVerifyInterface(const Value& params, Completion completion);
    // "/v1/order/orderpay" with the order and role fields.
    void orderInterface(const RUVURazuzEVEPayOrderInfo& order, const RUVURazuzEVEGameRoleInfo& role,
                        Completion completion);
    // "/v2/users/checkversion"; no caller in this system.
    void checkGameVersion(Completion completion);

    // ---- Report gateway
    // The role report: a GET of "gateway" carrying the plain role fields
    // and a "sign"; answered "result" false with error id 1000, it is sent
    // once more without "sign" and the caller gets that second reply.
    void updateRoleWithUid(const std::string& uid, const std::string& name, const RUVURazuzEVEGameRoleInfo& role,
                           Completion completion);
    void updateRoleInfoDict(const Value& fields, bool withSign, Completion completion);
    // The minors' pay-limit query: a POST of "getData".
    void getPayData(Completion completion);

    // ---- Static files
    // The anti-addiction configuration "<host>/<product>/<channel>.html";
    // the completion runs on the main queue.
    void getAntiIndulgeMessage(Completion completion);
    // Fetches "<list host>/<product>-<channel>.html" and puts its servers in
    // front of the list (index back to 0). The channel configuration may
    // name the list host ("relaysdk_server_ip_config") and replace the list
    // first ("relay_server_config"). The handler runs whether or not the
    // fetch succeeded.
    void updateServerListWithChannelParams(const Value& channelCfg, std::function<void()> handler);

    // Tries `path` against the servers from the remembered one on, once
    // each, until one answers; stores the index that answered.
    void requestUrlInterface(const std::string& path, const std::string& body, const std::string& method,
                             Completion completion);

    // ---- The timed request (nothing in this system calls it)
    // Sends `path` to the server last answered and, every ckUserTimeout
    // seconds of the installed clock while nothing has answered, to the next
    // one too, until every server has a try running; a try that fails at once
    // (no connection, or a reply with an empty or unreadable body) hands over
    // to the next server without waiting for the period. Each try's
    // time-out, on the installed clock, is ckUserTimeout times the servers
    // still to try when it starts, so all tries end together. The first reply
    // wins (its server becomes the remembered one) and stops the rest; the
    // completion runs once, on the calling queue: with that reply, or with
    // nullopt when every try has failed or timed out (at once for an empty
    // list).
    void timerRequestUrlInterface(const std::string& path, const std::string& body, const std::string& method,
                                  Completion completion);
    // The state of the latest timed request: an answer (or the final failure)
    // delivered, the period, the servers still to try, the server of the
    // latest try.
    bool isResult() const;
    double ckUserTimeout() const;
    size_t leftoverCounts() const;
    size_t ckUserServeIndex() const;

    // ---- Pieces of the requests
    struct Envelope {
        std::string jsonData;  // DES, Base64, "+" written "%2B"
        std::string sign;      // md5("json_data=DATA&product_code=CODE&KEY")
        std::string body;      // "json_data=DATA&product_code=CODE&sign=SIGN"
    };
    static Envelope envelope(const Value& fields, const std::string& productCode, const std::string& productKey);
    Value deviceSnapshot() const;
    Value orderFields(const RUVURazuzEVEPayOrderInfo& order, const RUVURazuzEVEGameRoleInfo& role) const;
    Value roleReportFields(const std::string& uid, const std::string& name,
                           const RUVURazuzEVEGameRoleInfo& role) const;
    // Only http(s) URLs with a host, without trailing slashes.
    static std::vector<std::string> serverEntries(const Value& list);

private:
    void apiRequest(const std::string& path, const Value& params, Completion completion);
    // Tries one gateway URL up to as many times as the list has servers.
    void gatewayRequest(const std::string& url, const std::string& body, const std::string& method,
                        Completion completion);
    struct TimedRequest;
    // The queue completions go back to: the caller's, or the main queue when
    // the caller runs on no queue of ours.
    static std::shared_ptr<DispatchQueue> callingQueue();
    void rememberIndex(size_t index);
    std::shared_ptr<TimedRequest> latestTimed() const;
    static std::string productCode();
    static std::string productKey();

    RelayServerSettings settings_;
    std::string sessionId_;
    Value publicDict_;
    std::atomic<double> timeout_{6.0};

    mutable std::mutex mutex_;  // guards serveUrls_, selectedIndex_ and timed_
    std::vector<std::string> serveUrls_;
    size_t selectedIndex_ = 0;
    std::shared_ptr<TimedRequest> timed_;
};
