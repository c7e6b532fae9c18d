#include "standin/StandinServer.h"

#include <httplib.h>
#include <arpa/inet.h>
#include <dirent.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"

namespace standin {

// ---- Replies ----

Reply Reply::json(const Value& body, int status) {
    Reply r;
    r.status = status;
    r.body = body.toJSON();
    return r;
}

Reply Reply::text(std::string body, std::string contentType, int status) {
    Reply r;
    r.kind = Kind::Text;
    r.status = status;
    r.body = std::move(body);
    r.contentType = std::move(contentType);
    return r;
}

Reply Reply::html500() {
    Reply r = text("<html><head><title>500 Internal Server Error</title></head><body><h1>Internal Server Error</h1>"
                   "</body></html>",
                   "text/html", 500);
    r.kind = Kind::Html500;
    return r;
}

Reply Reply::closeConnection() {
    Reply r;
    r.kind = Kind::CloseConnection;
    return r;
}

Reply Reply::hang() {
    Reply r;
    r.kind = Kind::Hang;
    return r;
}

Reply Reply::malformedJson() {
    Reply r;
    r.kind = Kind::MalformedJson;
    r.body = "{\"result\": true, \"data\": {\"uid\": ";
    return r;
}

Reply Reply::oversized(size_t bytes) {
    Reply r;
    r.kind = Kind::Oversized;
    r.size = bytes;
    return r;
}

Reply Reply::held(std::vector<std::string> pieces, std::string contentType) {
    Reply r;
    r.kind = Kind::Streamed;
    r.contentType = std::move(contentType);
    r.stream.pieces = std::move(pieces);
    r.stream.pace = Stream::Pace::Held;
    return r;
}

Reply Reply::paced(const std::string& body, size_t pieceBytes, std::chrono::nanoseconds interval,
                   std::string contentType) {
    Reply r;
    r.kind = Kind::Streamed;
    r.contentType = std::move(contentType);
    for (size_t at = 0; at < body.size(); at += std::max<size_t>(pieceBytes, 1))
        r.stream.pieces.push_back(body.substr(at, pieceBytes));
    r.stream.pace = Stream::Pace::Timed;
    r.stream.interval = interval;
    return r;
}

Reply Reply::lyingLength(std::string body, uint64_t announced, std::string contentType) {
    Reply r;
    r.kind = Kind::Streamed;
    r.contentType = std::move(contentType);
    r.stream.pieces = {std::move(body)};
    r.stream.announcedLength = announced;
    return r;
}

Reply Reply::cut(const std::string& body, size_t sent, std::string contentType) {
    Reply r = lyingLength(body.substr(0, sent), body.size(), std::move(contentType));
    return r;
}

Reply Reply::endless(std::string contentType) {
    Reply r;
    r.kind = Kind::Streamed;
    r.contentType = std::move(contentType);
    r.stream.endless = true;
    return r;
}

Reply Reply::redirect(const std::string& location, int status) {
    Reply r = text("", "text/plain", status);
    r.headers.emplace_back("Location", location);
    return r;
}

const char* Reply::kindName() const {
    switch (kind) {
    case Kind::Json: return "json";
    case Kind::Text: return "text";
    case Kind::Html500: return "html500";
    case Kind::CloseConnection: return "close";
    case Kind::Hang: return "hang";
    case Kind::MalformedJson: return "malformed";
    case Kind::Oversized: return "oversized";
    case Kind::Streamed: return "streamed";
    }
    return "";
}

// ---- Requests ----

std::vector<std::pair<std::string, std::string>> splitPairs(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    if (text.empty()) return out;
    for (auto& piece : strings::split(text, "&")) {
        auto eq = piece.find('=');
        if (eq == std::string::npos) out.emplace_back(piece, "");
        else out.emplace_back(piece.substr(0, eq), piece.substr(eq + 1));
    }
    return out;
}

std::string Request::header(const std::string& name) const {
    auto lower = strings::toLower(name);
    for (auto& [k, v] : headers)
        if (strings::toLower(k) == lower) return v;
    return "";
}

std::string Request::param(const std::string& name) const {
    for (auto& [k, v] : rawParams)
        if (k == name) return v;
    return "";
}

bool Request::hasParam(const std::string& name) const {
    for (auto& p : rawParams)
        if (p.first == name) return true;
    return false;
}

// ---- Journal ----

void Journal::append(JournalEntry entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
}

std::vector<JournalEntry> Journal::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<JournalEntry> Journal::entries(const std::string& path) const {
    std::lock_guard lock(mutex_);
    std::vector<JournalEntry> out;
    for (auto& e : entries_)
        if (e.request.path == path) out.push_back(e);
    return out;
}

size_t Journal::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

size_t Journal::count(const std::string& path) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (auto& e : entries_) n += e.request.path == path;
    return n;
}

std::optional<JournalEntry> Journal::last(const std::string& path) const {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
        if (path.empty() || it->request.path == path) return *it;
    return std::nullopt;
}

void Journal::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

// ---- Certificates ----

namespace {

std::string pemOf(X509* x) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, x);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    std::string out(data, size_t(n));
    BIO_free(bio);
    return out;
}

std::string pemOf(EVP_PKEY* k) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, k, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    std::string out(data, size_t(n));
    BIO_free(bio);
    return out;
}

void addExt(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value)) {
        X509_add_ext(cert, ext, -1);
        X509_EXTENSION_free(ext);
    }
}

X509* makeCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, long serial) {
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 30L * 24 * 3600);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Korvel stand-in"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : x;
    addExt(x, signer, NID_subject_key_identifier, "hash");
    if (issuer) {
        addExt(x, signer, NID_authority_key_identifier, "keyid:always");
        addExt(x, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExt(x, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExt(x, signer, NID_ext_key_usage, "serverAuth");
        addExt(x, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    } else {
        addExt(x, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExt(x, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    X509_sign(x, issuerKey ? issuerKey : key, EVP_sha256());
    return x;
}

}  // namespace

TestCertificates TestCertificates::generate() {
    EVP_PKEY* caKey = EVP_EC_gen("P-256");
    EVP_PKEY* key = EVP_EC_gen("P-256");
    long serial = long(time(nullptr)) ^ long(getpid());
    X509* ca = makeCert(caKey, "Korvel stand-in CA", nullptr, nullptr, serial);
    X509* cert = makeCert(key, "127.0.0.1", ca, caKey, serial + 1);
    TestCertificates out{pemOf(ca), pemOf(cert), pemOf(key)};
    X509_free(cert);
    X509_free(ca);
    EVP_PKEY_free(key);
    EVP_PKEY_free(caKey);
    return out;
}

// ---- Server ----

// Where streamed pieces wait: for releases, for the clock, or for the end.
struct HttpServer::PieceGate {
    std::mutex mutex;
    std::condition_variable cv;
    uint64_t released = 0, taken = 0;  // held pieces let go and sent
    bool stopping = false;

    void wake() {
        std::lock_guard lock(mutex);
        cv.notify_all();
    }
    void setStopping(bool s) {
        std::lock_guard lock(mutex);
        stopping = s;
        cv.notify_all();
    }
    bool isStopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }
    // False when the server stops first.
    bool takeRelease() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return stopping || taken < released; });
        if (stopping) return false;
        ++taken;
        return true;
    }
    // Waits until the installed clock reaches `deadline` (a test clock's
    // advance wakes it through a delayed dispatch); false when stopping.
    // The clock is looked at again now and then too: a test clock moved on
    // between the reading and the dispatch's scheduling would set that
    // dispatch too late.
    static bool waitUntil(const std::shared_ptr<PieceGate>& gate, Clock::Monotonic deadline) {
        auto now = Clock::current().now();
        if (now < deadline) DispatchQueue::global()->asyncAfter(deadline - now, [gate] { gate->wake(); });
        std::unique_lock lock(gate->mutex);
        auto due = [&] { return gate->stopping || Clock::current().now() >= deadline; };
        while (!gate->cv.wait_for(lock, std::chrono::milliseconds(50), due)) {
        }
        return !gate->stopping;
    }
};

HttpServer::HttpServer(std::string name, bool tls, std::shared_ptr<Journal> journal)
    : name_(std::move(name)),
      tls_(tls),
      journal_(journal ? std::move(journal) : std::make_shared<Journal>()),
      gate_(std::make_shared<PieceGate>()) {}

HttpServer::~HttpServer() {
    stop();
    if (cert_) X509_free(static_cast<X509*>(cert_));
    if (key_) EVP_PKEY_free(static_cast<EVP_PKEY*>(key_));
    if (!certDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(certDir_, ec);
    }
}

void HttpServer::on(const std::string& method, const std::string& pattern, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_.push_back({method, pattern, std::move(handler)});
}

void HttpServer::script(const std::string& path, Reply reply, int times) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < times; ++i) once_[path].push_back(reply);
}

void HttpServer::scriptAlways(const std::string& path, Reply reply) {
    std::lock_guard lock(mutex_);
    always_[path] = std::move(reply);
}

void HttpServer::clearScripts() {
    std::lock_guard lock(mutex_);
    once_.clear();
    always_.clear();
}

std::optional<Reply> HttpServer::scripted(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (auto it = once_.find(path); it != once_.end() && !it->second.empty()) {
        Reply r = it->second.front();
        it->second.pop_front();
        return r;
    }
    if (auto it = always_.find(path); it != always_.end()) return it->second;
    return std::nullopt;
}

bool HttpServer::start(int port, const std::string& host) {
    if (server_) return true;
    host_ = host;
    if (tls_) {
        auto certs = TestCertificates::generate();
        char tmpl[] = "/tmp/korvel-standin-XXXXXX";
        if (char* dir = mkdtemp(tmpl)) certDir_ = dir;
        caFile_ = certDir_ + "/ca.pem";
        std::ofstream(caFile_) << certs.caPem;
        BIO* b = BIO_new_mem_buf(certs.certPem.data(), int(certs.certPem.size()));
        cert_ = PEM_read_bio_X509(b, nullptr, nullptr, nullptr);
        BIO_free(b);
        b = BIO_new_mem_buf(certs.keyPem.data(), int(certs.keyPem.size()));
        key_ = PEM_read_bio_PrivateKey(b, nullptr, nullptr, nullptr);
        BIO_free(b);
        server_ = std::make_unique<httplib::SSLServer>(static_cast<X509*>(cert_), static_cast<EVP_PKEY*>(key_));
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    gate_->setStopping(false);
    // Address reuse only: the library's default also shares the port with
    // other listeners, which would hide a port that is taken.
    auto listening = std::make_shared<int>(-1);
    server_->set_socket_options([listening](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        *listening = sock;
    });
    if (workers_ > 0) server_->new_task_queue = [n = workers_] { return new httplib::ThreadPool(n); };
    // A reply's head and body go out at once: with Nagle's wait, the body
    // would sit until the client's delayed acknowledgement (some 40 ms).
    server_->set_tcp_nodelay(true);
    // Short keep-alive so that stop() never waits long for idle connections;
    // as many requests on one as come meanwhile (the library's default
    // closes each after five).
    server_->set_keep_alive_timeout(1);
    server_->set_keep_alive_max_count(1000);
    server_->set_read_timeout(5);
    server_->set_payload_max_length(64u << 20);
    // Every request goes through handle(); routes are ours. (A pre-routing
    // handler would run before the body is read.)
    auto all = [this](const httplib::Request& req, httplib::Response& res) {
        try {
            handle(&req, &res);
        } catch (const std::exception& e) {
            res.status = 500;
            res.set_content(std::string("stand-in fault: ") + e.what(), "text/plain");
        }
    };
    server_->Get(".*", all);
    server_->Post(".*", all);
    server_->Put(".*", all);
    server_->Patch(".*", all);
    server_->Delete(".*", all);
    server_->Options(".*", all);
    if (port == 0) port = server_->bind_to_any_port(host_);
    else if (!server_->bind_to_port(host_, port)) port = -1;
    if (port <= 0) {
        server_.reset();
        return false;
    }
    // The library listens with a queue of five: a burst of connections
    // would overflow it, and those dropped are tried again only a second
    // later. Listening again only lengthens the queue.
    if (*listening >= 0) ::listen(*listening, SOMAXCONN);
    port_ = port;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() only ends a server whose accept loop runs: wait for it to be up.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool HttpServer::isRunning() const { return server_ != nullptr; }

void HttpServer::releaseHung() {
    std::lock_guard lock(mutex_);
    ++hangGeneration_;
    hangCv_.notify_all();
}

void HttpServer::stop() {
    if (!server_) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        ++hangGeneration_;
        hangCv_.notify_all();
    }
    gate_->setStopping(true);
    server_->stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
}

void HttpServer::releasePieces(int n) {
    std::lock_guard lock(gate_->mutex);
    gate_->released += uint64_t(std::max(n, 0));
    gate_->cv.notify_all();
}

std::string HttpServer::baseURL() const {
    return std::string(tls_ ? "https" : "http") + "://" + host_ + ":" + std::to_string(port_);
}

void HttpServer::handle(const void* rq, void* rs) {
    auto& req = *static_cast<const httplib::Request*>(rq);
    // The delay counts from the request's arrival, before the journal shows
    // it: a test that sees the request and then moves its clock on must find
    // the reply's time already fixed.
    std::chrono::nanoseconds delay;
    std::function<void(const JournalEntry&)> observer;
    {
        std::lock_guard lock(mutex_);
        delay = replyDelay_;
        observer = observer_;
    }
    const auto replyAt = Clock::current().now() + delay;
    JournalEntry entry;
    Request& r = entry.request;
    r.server = name_;
    r.method = req.method;
    r.path = req.path;
    auto q = req.target.find('?');
    r.query = q == std::string::npos ? "" : req.target.substr(q + 1);
    r.body = req.body;
    for (auto& [k, v] : req.headers) r.headers.emplace_back(k, v);
    // As a server that reads forms by their type: a body's pairs count only
    // when it says it is a form.
    bool form = strings::hasPrefix(strings::toLower(r.header("Content-Type")), "application/x-www-form-urlencoded");
    if (req.method == "GET" || req.method == "HEAD") r.rawParams = splitPairs(r.query);
    else if (form) r.rawParams = splitPairs(r.body);

    std::optional<Reply> reply = scripted(r.path);
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        for (auto& route : routes_)
            if (route.method == r.method && std::regex_match(r.path, std::regex(route.pattern))) {
                handler = route.handler;
                break;
            }
    }
    // The handler always runs, so the journal shows what the request carried
    // even when a scripted failure is played.
    Reply fromHandler = handler ? handler(r, entry)
                                : Reply::json(Value::dict({{"result", false},
                                                           {"error", Value::dict({{"id", 404}, {"message", "no such path"}})}}),
                                              404);
    Reply chosen = reply ? *reply : fromHandler;
    entry.played = chosen.kindName();
    entry.status = chosen.status;
    journal_->append(entry);
    if (delay.count() > 0 && !PieceGate::waitUntil(gate_, replyAt)) {
        static_cast<httplib::Response*>(rs)->status = 503;  // the server is stopping
        return;
    }
    if (observer) observer(entry);
    play(chosen, rq, rs);
}

void HttpServer::setReplyDelay(std::chrono::nanoseconds delay) {
    std::lock_guard lock(mutex_);
    replyDelay_ = delay;
}

void HttpServer::setObserver(std::function<void(const JournalEntry&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void HttpServer::dropConnection(const std::string& remoteAddr, int remotePort) {
    // httplib offers no way to abort a connection from a handler: find our
    // end of it among the process's sockets and shut it down.
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
        int fd = atoi(e->d_name);
        if (fd <= 2) continue;
        sockaddr_in local{}, peer{};
        socklen_t ll = sizeof local, pl = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ll) != 0 || local.sin_family != AF_INET) continue;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &pl) != 0) continue;
        char addr[INET_ADDRSTRLEN] = {0};
        inet_ntop(AF_INET, &peer.sin_addr, addr, sizeof addr);
        if (ntohs(local.sin_port) == port_ && ntohs(peer.sin_port) == remotePort && remoteAddr == addr) {
            linger l{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            shutdown(fd, SHUT_RDWR);
        }
    }
    closedir(dir);
}

void HttpServer::play(const Reply& reply, const void* rq, void* rs) {
    auto& req = *static_cast<const httplib::Request*>(rq);
    auto& res = *static_cast<httplib::Response*>(rs);
    for (auto& [k, v] : reply.headers) res.set_header(k, v);
    switch (reply.kind) {
    case Reply::Kind::Json:
    case Reply::Kind::Text:
    case Reply::Kind::Html500:
    case Reply::Kind::MalformedJson:
        res.status = reply.status;
        res.set_content(reply.body, reply.contentType);
        return;
    case Reply::Kind::Hang: {
        std::unique_lock lock(mutex_);
        uint64_t gen = hangGeneration_;
        // Bounded, so a forgotten hang cannot keep a test process alive.
        hangCv_.wait_for(lock, std::chrono::seconds(120), [&] { return stopping_ || hangGeneration_ != gen; });
        lock.unlock();
        dropConnection(req.remote_addr, req.remote_port);
        res.status = 500;
        return;
    }
    case Reply::Kind::CloseConnection:
        dropConnection(req.remote_addr, req.remote_port);
        res.status = 500;
        return;
    case Reply::Kind::Streamed: playStream(reply, rs); return;
    case Reply::Kind::Oversized: {
        res.status = reply.status;
        size_t total = reply.size;
        res.set_content_provider(total, "application/json", [total](size_t offset, size_t length, httplib::DataSink& sink) {
            static const std::string chunk(64 * 1024, ' ');
            size_t n = std::min({length, chunk.size(), total - offset});
            return sink.write(chunk.data(), n);
        });
        return;
    }
    }
}

void HttpServer::playStream(const Reply& reply, void* rs) {
    auto& res = *static_cast<httplib::Response*>(rs);
    res.status = reply.status;
    struct State {
        Stream stream;
        Clock::Monotonic start = Clock::current().now();
        size_t next = 0;
    };
    auto state = std::make_shared<State>();
    state->stream = reply.stream;
    auto gate = gate_;
    // Writes the next piece after its wait; false to end the connection.
    auto writeNext = [state, gate](httplib::DataSink& sink, uint64_t room) {
        auto& s = state->stream;
        size_t i = state->next++;
        bool go = s.pace == Stream::Pace::Held    ? gate->takeRelease()
                  : s.pace == Stream::Pace::Timed ? PieceGate::waitUntil(gate, state->start + s.interval * i)
                                                  : !gate->isStopping();
        if (!go) return false;
        const std::string& p = s.pieces[i];
        return sink.write(p.data(), size_t(std::min<uint64_t>(p.size(), room)));
    };
    if (state->stream.endless) {
        res.set_chunked_content_provider(reply.contentType, [state, gate, writeNext](size_t, httplib::DataSink& sink) {
            if (state->next < state->stream.pieces.size()) return writeNext(sink, UINT64_MAX);
            static const std::string filler(64 * 1024, 'x');
            return !gate->isStopping() && sink.write(filler.data(), filler.size());
        });
        return;
    }
    uint64_t total = 0;
    for (auto& p : state->stream.pieces) total += p.size();
    uint64_t announced = state->stream.announcedLength.value_or(total);
    res.set_content_provider(size_t(announced), reply.contentType,
                             [state, writeNext, announced](size_t offset, size_t, httplib::DataSink& sink) {
                                 // Pieces spent before the announced end: a cut or a lie, so close.
                                 if (state->next >= state->stream.pieces.size()) return false;
                                 return writeNext(sink, announced - offset);
                             });
}

HttpServer::Handler redirectTo(std::string location, int status) {
    return [location = std::move(location), status](const Request&, JournalEntry&) {
        return Reply::redirect(location, status);
    };
}

HttpServer::Handler basicAuth(std::string user, std::string password, HttpServer::Handler inner) {
    std::string expected = "Basic " + strings::base64Encode(user + ":" + password);
    return [expected, inner = std::move(inner)](const Request& r, JournalEntry& e) {
        if (r.header("Authorization") == expected) return inner ? inner(r, e) : Reply::text("authorised");
        Reply refused = Reply::text("authentication required", "text/plain", 401);
        refused.headers.emplace_back("WWW-Authenticate", "Basic realm=\"standin\"");
        return refused;
    };
}

}  // namespace standin
