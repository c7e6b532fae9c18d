#pragma once
// Shared plumbing of the loopback stand-ins of our servers: an HTTP or
// HTTPS server on a loopback port (a free one unless told), a journal of
// every request, and scripted replies per path that tests queue up to play
// failures: JSON with any status, an HTML 500, a closed connection, a hung
// request, malformed JSON, an oversized body.
//
// Streamed replies play slow and broken bodies: pieces held until the test
// releases them or paced on the installed clock (never a sleep), a
// Content-Length that lies, a body cut short, a body without end. Handlers
// for redirects and Basic authentication stand beside the routes; replies
// no HTTP library writes come from the RawServer (RawServer.h).
//
// Tests start stand-ins in-process and stop them; the demo starts the
// executables. HTTPS stand-ins make a throw-away CA and a certificate for
// 127.0.0.1 and localhost at start, and write the CA to a PEM file that a
// client must be told to trust.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Value.h"

namespace httplib {
class Server;
}

namespace standin {

// How a streamed reply writes its body after the headers.
struct Stream {
    // Each piece waits for one release (HttpServer::releasePieces), for
    // `interval` of the installed clock after the previous one (the first
    // goes at once), or for nothing.
    enum class Pace { Immediate, Held, Timed };
    std::vector<std::string> pieces;
    Pace pace = Pace::Immediate;
    std::chrono::nanoseconds interval{0};
    // The Content-Length sent: the pieces' total unless set. When the
    // pieces fall short of it, the connection is closed after them.
    std::optional<uint64_t> announcedLength;
    // After the pieces, filler for ever (chunked, no Content-Length).
    bool endless = false;
};

struct Reply {
    enum class Kind { Json, Text, Html500, CloseConnection, Hang, MalformedJson, Oversized, Streamed };
    Kind kind = Kind::Json;
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    size_t size = 0;  // Oversized: bytes announced and streamed
    std::vector<std::pair<std::string, std::string>> headers;
    Stream stream;  // Streamed

    static Reply json(const Value& body, int status = 200);
    static Reply text(std::string body, std::string contentType = "text/plain", int status = 200);
    static Reply html500();
    static Reply closeConnection();  // the connection is dropped before any reply
    static Reply hang();             // no reply until the server stops (or releaseHung())
    static Reply malformedJson();
    static Reply oversized(size_t bytes = 64u << 20);
    // Headers at once; each piece when released.
    static Reply held(std::vector<std::string> pieces, std::string contentType = "application/octet-stream");
    // `body` in pieces of `pieceBytes`, one every `interval` of the installed clock.
    static Reply paced(const std::string& body, size_t pieceBytes, std::chrono::nanoseconds interval,
                       std::string contentType = "application/octet-stream");
    // Announces `announced` bytes, sends `body`, closes the connection.
    static Reply lyingLength(std::string body, uint64_t announced, std::string contentType = "application/octet-stream");
    // Announces all of `body`, sends its first `sent` bytes, closes.
    static Reply cut(const std::string& body, size_t sent, std::string contentType = "application/octet-stream");
    // Chunked filler that never ends (until the client leaves or the server stops).
    static Reply endless(std::string contentType = "application/octet-stream");
    // A redirect to `location` (any scheme: "file:///etc/passwd" too).
    static Reply redirect(const std::string& location, int status = 302);
    const char* kindName() const;
};

struct Request {
    std::string server;  // the stand-in's name
    std::string method;
    std::string path;    // without the query
    std::string query;   // raw, without "?"
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Query pairs, or the pairs of a body typed as a form, as sent (not
    // decoded): a body without the form type has none.
    std::vector<std::pair<std::string, std::string>> rawParams;
    std::string header(const std::string& name) const;  // case-insensitive, "" when absent
    std::string param(const std::string& name) const;   // raw value, "" when absent
    bool hasParam(const std::string& name) const;
};

struct JournalEntry {
    Request request;
    Value decoded;               // what the stand-in read out of the request (JSON of an envelope, ...)
    std::optional<bool> signOk;  // set where the request carries a signature that was checked
    std::string played;          // the reply kind played
    int status = 0;
};

class Journal {
public:
    void append(JournalEntry entry);
    std::vector<JournalEntry> entries() const;
    std::vector<JournalEntry> entries(const std::string& path) const;
    size_t size() const;
    size_t count(const std::string& path) const;
    std::optional<JournalEntry> last(const std::string& path = "") const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<JournalEntry> entries_;
};

// A throw-away CA and a server certificate for 127.0.0.1 / localhost.
struct TestCertificates {
    std::string caPem, certPem, keyPem;
    static TestCertificates generate();
};

class HttpServer {
public:
    // The handler of a route: fills the entry's decoded/signOk and returns
    // the reply played when nothing is scripted for the path.
    using Handler = std::function<Reply(const Request&, JournalEntry&)>;

    explicit HttpServer(std::string name, bool tls = false, std::shared_ptr<Journal> journal = nullptr);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Routes by method and path pattern (a regular expression on the path).
    // Requests that match no route get a JSON 404.
    void on(const std::string& method, const std::string& pattern, Handler handler);

    // Replies played, in order, for the next requests of `path`, before the
    // route's handler is asked again.
    void script(const std::string& path, Reply reply, int times = 1);
    // Played for every request of `path` until cleared.
    void scriptAlways(const std::string& path, Reply reply);
    void clearScripts();

    // Connections served at once (the rest wait, each kept-alive one up to
    // a second); set before start. 0: the library's default (8 or more).
    void setWorkerCount(size_t workers) { workers_ = workers; }
    // On 127.0.0.1 (or another loopback address), port 0 for a free one.
    // False when the port is taken.
    bool start(int port = 0, const std::string& host = "127.0.0.1");
    void stop();  // releases hung requests first
    bool isRunning() const;
    void releaseHung();
    // Lets `n` more held pieces go (shared by every held reply, in the
    // order they wait).
    void releasePieces(int n = 1);

    // Every reply waits this long on the installed clock before it goes
    // (0, the default, sends at once): a slow server for the demo.
    void setReplyDelay(std::chrono::nanoseconds delay);
    // Hears every journalled request as its reply is about to go (on the
    // server's threads).
    void setObserver(std::function<void(const JournalEntry&)> observer);

    int port() const { return port_; }
    std::string baseURL() const;  // "http://HOST:PORT" (https with TLS)
    const std::string& name() const { return name_; }
    bool tls() const { return tls_; }
    // The PEM file of the CA that signed an HTTPS stand-in's certificate.
    const std::string& caFile() const { return caFile_; }

    Journal& journal() { return *journal_; }
    std::shared_ptr<Journal> sharedJournal() const { return journal_; }

private:
    struct Route {
        std::string method;
        std::string pattern;
        Handler handler;
    };
    void handle(const void* req, void* res);
    std::optional<Reply> scripted(const std::string& path);
    void play(const Reply& reply, const void* req, void* res);
    void playStream(const Reply& reply, void* res);
    void dropConnection(const std::string& remoteAddr, int remotePort);

    std::string name_;
    bool tls_;
    std::shared_ptr<Journal> journal_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::string host_ = "127.0.0.1";
    size_t workers_ = 0;
    std::string caFile_, certDir_;
    void* cert_ = nullptr;  // X509*
    void* key_ = nullptr;   // EVP_PKEY*

    mutable std::mutex mutex_;
    std::vector<Route> routes_;
    std::map<std::string, std::deque<Reply>> once_;
    std::map<std::string, Reply> always_;
    std::condition_variable hangCv_;
    uint64_t hangGeneration_ = 0;
    std::chrono::nanoseconds replyDelay_{0};
    std::function<void(const JournalEntry&)> observer_;
    bool stopping_ = false;
    struct PieceGate;
    std::shared_ptr<PieceGate> gate_;  // outlives the server for clock callbacks
};

// Route handlers that stand in front of others.
// Answers every request with a redirect to `location`.
HttpServer::Handler redirectTo(std::string location, int status = 302);
// Passes to `inner` only with "Authorization: Basic" of `user`:`password`;
// otherwise a 401 with a Basic challenge.
HttpServer::Handler basicAuth(std::string user, std::string password, HttpServer::Handler inner);

// Splits "a=1&b=2" into raw pairs (no decoding); a piece without "=" gets "".
std::vector<std::pair<std::string, std::string>> splitPairs(const std::string& text);

}  // namespace standin
