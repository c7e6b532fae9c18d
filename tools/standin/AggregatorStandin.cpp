#include "standin/AggregatorStandin.h"

#include "aggregator/Extend.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Digest.h"

namespace standin {

namespace {

// The envelope's sign, over the texts as they were sent.
std::string envelopeSign(const std::string& jsonData, const std::string& productCode, const std::string& key) {
    return digest::md5Hex("json_data=" + jsonData + "&product_code=" + productCode + "&" + key);
}

}  // namespace

AggregatorStandin::AggregatorStandin() : AggregatorStandin(Options{}) {}

AggregatorStandin::AggregatorStandin(Options options)
    : options_(std::move(options)), journal_(std::make_shared<Journal>()) {
    for (int i = 0; i < options_.apiServers; ++i)
        api_.push_back(std::make_unique<HttpServer>("api" + std::to_string(i), options_.tlsApi, journal_));
    list_ = std::make_unique<HttpServer>("list", false, journal_);
    gateway_ = std::make_unique<HttpServer>("gateway", false, journal_);
    config_ = std::make_unique<HttpServer>("config", false, journal_);
    antiIndulge_ = Value::dict({{"open", 1},
                                {"minor_pay_limit", Value::dict({{"single", 50}, {"month", 200}})},
                                {"message", "stand-in anti-addiction configuration"}});
    installRoutes();
}

AggregatorStandin::~AggregatorStandin() { stop(); }

bool AggregatorStandin::start() {
    bool ok = true;
    for (size_t i = 0; i < api_.size() && ok; ++i)
        ok = api_[i]->start(i < options_.apiPorts.size() ? options_.apiPorts[i] : 0);
    ok = ok && list_->start(options_.listPort) && gateway_->start(options_.gatewayPort) &&
         config_->start(options_.configPort);
    if (!ok) stop();
    return ok;
}

void AggregatorStandin::stop() {
    for (auto& s : api_) s->stop();
    list_->stop();
    gateway_->stop();
    config_->stop();
}

void AggregatorStandin::setServerList(const Value& list) {
    std::lock_guard lock(mutex_);
    serverList_ = list;
    serverListSet_ = true;
}

void AggregatorStandin::setAntiIndulge(const Value& config) {
    std::lock_guard lock(mutex_);
    antiIndulge_ = config;
}

Value AggregatorStandin::infoPlistSettings() const {
    Value v = Value::dict({{"RELAY_API_SERVER_URL", apiURL(0)},
                           {"RELAY_SERVER_LIST_URL", listURL()},
                           {"RELAY_REPORT_GATEWAY_URL", gatewayURL()},
                           {"RELAY_CONFIG_HOST_URL", configURL()},
                           {"RELAY_REACHABILITY_HOST", "127.0.0.1"}});
    if (!caFile().empty()) v.set("KorvelExtraCAFile", caFile());
    return v;
}

std::string AggregatorStandin::keyFor(const std::string& productCode) const {
    auto it = options_.productKeys.find(productCode);
    return it == options_.productKeys.end() ? "" : it->second;
}

Value AggregatorStandin::okReply(const Value& data) {
    return Value::dict({{"result", true}, {"data", data}, {"error", Value::dict({{"id", 0}, {"message", ""}})}});
}

Value AggregatorStandin::errorReply(long id, const std::string& message) {
    return Value::dict(
        {{"result", false}, {"data", Value::dict()}, {"error", Value::dict({{"id", id}, {"message", message}})}});
}

AggregatorStandin::Envelope AggregatorStandin::openEnvelope(const Request& r) const {
    Envelope e;
    e.productCode = strings::percentDecode(r.param("product_code"));
    std::string key = keyFor(e.productCode);
    std::string data = r.param("json_data");
    if (key.empty()) return e;
    e.signOk = envelopeSign(data, r.param("product_code"), key) == r.param("sign");
    if (auto text = Extend::DES128DecryptBase64StrWithKey(strings::percentDecode(data), key))
        if (auto json = Value::fromJSON(*text)) e.json = *json;
    return e;
}

void AggregatorStandin::installRoutes() {
    // An API route: open the envelope, refuse a bad one, else answer.
    auto apiRoute = [this](std::function<Value(const Value&)> answer) {
        return [this, answer](const Request& r, JournalEntry& entry) {
            auto env = openEnvelope(r);
            entry.decoded = env.json;
            entry.signOk = env.signOk;
            if (env.json.isNull()) return Reply::json(errorReply(1002, "json_data cannot be read"));
            if (!env.signOk) return Reply::json(errorReply(1001, "sign error"));
            return Reply::json(answer(env.json));
        };
    };
    for (auto& api : api_) {
        api->on("POST", "/v1/api/init", apiRoute([](const Value&) { return okReply(); }));
        api->on("POST", "/v2/users/checklogin", apiRoute([](const Value& req) {
                    std::string uid = req.text("uid");
                    return okReply(Value::dict({{"uid", uid},
                                                {"user_name", req.text("user_name")},
                                                {"user_token", digest::md5Hex(uid + ":" + req.text("token"))},
                                                {"relayonly", false},
                                                {"relayOnlyPluginName", ""},
                                                {"stopCreateRole", false},
                                                {"stopCreateTime", ""}}));
                }));
        api->on("POST", "/v1/order/orderpay", apiRoute([this](const Value& req) {
                    uint64_t n;
                    {
                        std::lock_guard lock(mutex_);
                        n = nextOrder_++;
                    }
                    return okReply(Value::dict({{"order_id", strings::format("SO%06llu", (unsigned long long)n)},
                                                {"cp_order_id", req.text("cp_order_id")},
                                                {"amount", req["amount"]}}));
                }));
        api->on("POST", "/v2/users/checkversion", apiRoute([](const Value&) { return okReply(); }));
    }

    list_->on("GET", "/([^/]+)-([^/]+)\\.html", [this](const Request& r, JournalEntry& entry) {
        std::lock_guard lock(mutex_);
        Value list = Value::array();
        if (serverListSet_) list = serverList_;
        else
            for (size_t i = 1; i < api_.size(); ++i) list.push(api_[i]->baseURL());
        entry.decoded = list;
        return Reply::json(list);
    });

    config_->on("GET", "/([^/]+)/([^/]+)\\.html", [this](const Request&, JournalEntry& entry) {
        std::lock_guard lock(mutex_);
        entry.decoded = antiIndulge_;
        return Reply::json(antiIndulge_);
    });

    // The role report: plain fields in the query, signed over the envelope
    // of their JSON (texts, except the integer "time" and "channelCode").
    gateway_->on("GET", "/api/gateway", [this](const Request& r, JournalEntry& entry) {
        Value fields = Value::dict();
        for (auto& [k, v] : r.rawParams) {
            if (k == "sign") continue;
            std::string text = strings::percentDecode(v);
            if (k == "time" || k == "channelCode") fields.set(k, strings::leadingInteger(text));
            else fields.set(k, text);
        }
        entry.decoded = fields;
        if (r.hasParam("sign")) {
            std::string key = keyFor(fields.text("productCode"));
            std::string enc = Extend::urlEncodeFromBase64StrOfDES128Encryptt(fields.toJSON(), key);
            entry.signOk = envelopeSign(enc, fields.text("productCode"), key) == r.param("sign");
            if (!*entry.signOk) return Reply::json(errorReply(1000, "sign error"));
        }
        return Reply::json(okReply());
    });

    // The pay-limit query: eleven pairs and an unkeyed MD5 of them as they
    // read before percent-encoding.
    gateway_->on("POST", "/api/getData", [](const Request& r, JournalEntry& entry) {
        Value fields = Value::dict();
        std::string signed_;
        for (auto& [k, v] : r.rawParams) {
            if (k == "sign") continue;
            std::string value = strings::percentDecode(v);
            fields.set(k, value);
            signed_ += (signed_.empty() ? "" : "&") + k + "=" + value;
        }
        entry.decoded = fields;
        entry.signOk = digest::md5Hex(signed_) == r.param("sign");
        if (!*entry.signOk) return Reply::json(errorReply(1001, "sign error"));
        return Reply::json(okReply(Value::dict({{"canPay", true}, {"limit", 0}})));
    });
}

}  // namespace standin
