#pragma once
// A loopback stand-in of the aggregator's servers: API servers (init, login
// check, order, version check), the server-list host, the report gateway
// and the configuration host. It decrypts and checks every signed request,
// journals it, and answers with the servers' reply shape
// {"result", "data", "error": {"id", "message"}} unless a test scripted
// something else for the path.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standin/StandinServer.h"

namespace standin {

class AggregatorStandin {
public:
    struct Options {
        int apiServers = 2;
        bool tlsApi = false;          // the API servers speak HTTPS
        std::vector<int> apiPorts;    // 0 or missing: a free port
        int listPort = 0, gatewayPort = 0, configPort = 0;
        std::map<std::string, std::string> productKeys{{"P100", "abcdefgh12345"}};
    };

    AggregatorStandin();
    explicit AggregatorStandin(Options options);
    ~AggregatorStandin();

    bool start();  // false when a port is taken (nothing is left running)
    void stop();

    size_t apiCount() const { return api_.size(); }
    HttpServer& api(size_t i) { return *api_.at(i); }
    HttpServer& listHost() { return *list_; }
    HttpServer& gateway() { return *gateway_; }
    HttpServer& configHost() { return *config_; }

    std::string apiURL(size_t i) const { return api_.at(i)->baseURL(); }
    std::string listURL() const { return list_->baseURL(); }
    std::string gatewayURL() const { return gateway_->baseURL() + "/api"; }
    std::string configURL() const { return config_->baseURL(); }
    // The CA file of the HTTPS API servers ("" without TLS).
    std::string caFile() const { return api_.empty() ? "" : api_[0]->caFile(); }

    // Every request to any of the servers, in arrival order.
    Journal& journal() { return *journal_; }

    // The array served as "<product>-<channel>.html" (default: the API
    // servers after the first) and the anti-addiction object.
    void setServerList(const Value& list);
    void setAntiIndulge(const Value& config);

    // Info.plist settings that point a client at this stand-in.
    Value infoPlistSettings() const;

    // The signed envelope: decrypts "json_data" with the product's key and
    // checks "sign". Used by the API routes; public for tests of clients.
    struct Envelope {
        Value json;          // null when it does not decrypt
        bool signOk = false;
        std::string productCode;
    };
    Envelope openEnvelope(const Request& request) const;

    static Value okReply(const Value& data = Value::dict());
    static Value errorReply(long id, const std::string& message);

private:
    void installRoutes();
    std::string keyFor(const std::string& productCode) const;

    Options options_;
    std::shared_ptr<Journal> journal_;
    std::vector<std::unique_ptr<HttpServer>> api_;
    std::unique_ptr<HttpServer> list_, gateway_, config_;
    mutable std::mutex mutex_;
    Value serverList_;
    bool serverListSet_ = false;
    Value antiIndulge_;
    uint64_t nextOrder_ = 1;
};

}  // namespace standin
