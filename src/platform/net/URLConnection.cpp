#include "platform/net/URLConnection.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <thread>
#include <vector>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/net/CurlSetup.h"

namespace {

using Steady = std::chrono::steady_clock;
constexpr size_t kFilePiece = 64 * 1024;
constexpr int kIdlePollMs = 1000;

}  // namespace

// The network thread's side of a connection.
struct URLConnection::Transfer {
    CURL* easy = nullptr;  // http(s)
    curl_slist* headerList = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    HTTPHeaders headers;
    bool responseDelivered = false;
    bool challenged = false;  // a 401 or 407 that curl answers with the credential
    bool tooLarge = false;
    int fd = -1;  // a file
    bool countedAsFile = false;  // in NetworkThread::Impl::fileCount
    uint64_t received = 0;
    std::chrono::milliseconds silenceLimit{0};
    URLSessionConfiguration config;  // the thread's, or this load's own CA file (curl points into it)
    Steady::time_point lastActivity = Steady::now();

    ~Transfer() {
        if (headerList) curllib::listFree(headerList);
        if (fd >= 0) close(fd);
    }
};

struct NetworkThread::Impl {
    std::string label;
    URLSessionConfiguration config;
    CURLM* multi = curlsetup::newMulti();
    std::thread thread;
    std::atomic<size_t> connections{0};

    std::mutex mutex;  // guards tasks and stopping
    std::deque<std::function<void()>> tasks;
    bool stopping = false;

    // Network thread only.
    std::vector<std::shared_ptr<URLConnection>> active;
    size_t fileCount = 0;       // of `active`, those reading a file
    bool runningTasks = false;  // inside runTasks, which also runs what its blocks post
    bool handlesChanged = true;  // curl's set of transfers changed since curl last ran

    Impl(std::string l, URLSessionConfiguration c) : label(std::move(l)), config(std::move(c)) {}

    void post(std::function<void()> task) {
        // A block posted by a block runs in the same round of blocks: no
        // wake-up (a write and one more turn of the loop) is needed.
        bool fromTasks = std::this_thread::get_id() == thread.get_id() && runningTasks;  // the thread's own flag
        std::lock_guard lock(mutex);
        if (stopping) return;
        tasks.push_back(std::move(task));
        if (!fromTasks) curllib::multiWakeup(multi);
    }

    void run();
    bool runTasks();
    void attach(const std::shared_ptr<URLConnection>& c);
    void attachHTTP(const std::shared_ptr<URLConnection>& c);
    void attachFile(const std::shared_ptr<URLConnection>& c);
    void finishMessages();
    bool pumpFiles();
    void checkSilence();
    int pollTimeout();
    void fail(URLConnection& c, urlerror::Failure failure, const std::string& detail = "");
    void end(URLConnection& c);

    static size_t onHeader(char* p, size_t size, size_t n, void* user);
    static size_t onBody(char* p, size_t size, size_t n, void* user);
    static bool deliverResponse(URLConnection& c);
    static bool isFinalResponse(URLConnection& c);
};

// ---- The thread ----

NetworkThread::NetworkThread(std::string label, URLSessionConfiguration configuration)
    : impl_(std::make_shared<Impl>(std::move(label), std::move(configuration))) {
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

NetworkThread::~NetworkThread() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
        curllib::multiWakeup(impl_->multi);
    }
    impl_->thread.join();
}

void NetworkThread::perform(std::function<void()> block) {
    if (block) impl_->post(std::move(block));
}

bool NetworkThread::isCurrent() const { return std::this_thread::get_id() == impl_->thread.get_id(); }
const std::string& NetworkThread::label() const { return impl_->label; }
size_t NetworkThread::connectionCount() const { return impl_->connections.load(); }

void NetworkThread::Impl::run() {
    // The kernel keeps 15 bytes of a thread's name.
    pthread_setname_np(pthread_self(), label.substr(0, 15).c_str());
    // curl runs when a socket of its stirred, its timer is due, or a transfer
    // came or went: a turn that only ran blocks (posted from the decode
    // queues and the like) leaves it be, since a run looks at every transfer.
    bool curlDue = true;
    while (runTasks()) {
        if (curlDue || handlesChanged) {
            handlesChanged = false;
            int running = 0;
            curllib::multiPerform(multi, &running);
            finishMessages();
        }
        bool filesWaiting = pumpFiles();
        checkSilence();
        int events = 0;
        curllib::multiPoll(multi, filesWaiting ? 0 : pollTimeout(), &events);
        long due = -1;
        curllib::multiTimeout(multi, &due);
        curlDue = events > 0 || due == 0;
    }
    // Ending: what still runs ends unheard.
    auto left = active;
    for (auto& c : left) {
        c->cancelled_ = true;
        end(*c);
    }
    curllib::multiCleanup(multi);
}

// Runs the queued blocks (and those they queue, a few rounds); false once
// the thread is to end.
bool NetworkThread::Impl::runTasks() {
    for (int round = 0; round < 8; ++round) {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex);
            if (stopping) return false;
            batch.swap(tasks);
        }
        if (batch.empty()) return true;
        runningTasks = true;
        for (auto& task : batch) {
            try {
                task();
            } catch (const std::exception& e) {
                NSLog("%s: a block threw: %s", label.c_str(), e.what());
            }
        }
        runningTasks = false;
    }
    // Blocks left for the next turn: make sure it comes at once.
    std::lock_guard lock(mutex);
    if (!tasks.empty()) curllib::multiWakeup(multi);
    return true;
}

int NetworkThread::Impl::pollTimeout() {
    long ms = -1;
    curllib::multiTimeout(multi, &ms);
    if (ms < 0 || ms > kIdlePollMs) ms = kIdlePollMs;
    auto now = Steady::now();
    for (auto& c : active) {
        auto& t = *c->transfer_;
        if (!t.easy) continue;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t.lastActivity + t.silenceLimit - now).count();
        ms = std::min<long>(ms, std::max<long>(left + 1, 0));
    }
    return int(ms);
}

// ---- Starting and ending ----

void NetworkThread::Impl::attach(const std::shared_ptr<URLConnection>& c) {
    if (c->isCancelled()) {
        --connections;
        return;
    }
    c->transfer_ = std::make_unique<URLConnection::Transfer>();
    active.push_back(c);
    auto url = NSURL::URLWithString(c->request_.url);
    std::string scheme = url ? strings::toLower(url->scheme()) : "";
    if (scheme == "http" || scheme == "https") attachHTTP(c);
    else if (scheme == "file") attachFile(c);
    else fail(*c, {.curl = url ? CURLE_UNSUPPORTED_PROTOCOL : CURLE_URL_MALFORMAT});
}

void NetworkThread::Impl::attachHTTP(const std::shared_ptr<URLConnection>& c) {
    auto& t = *c->transfer_;
    t.easy = curlsetup::newEasy();
    if (!t.easy) return fail(*c, {.curl = CURLE_OUT_OF_MEMORY});
    t.config = config;
    if (!c->options_.extraCAFile.empty()) t.config.extraCAFile = c->options_.extraCAFile;
    t.headerList = curlsetup::configure(t.easy, c->request_, t.config, t.errorBuffer, c->options_.trustAnyServerCertificate);
    t.silenceLimit = c->request_.timeout.count() > 0 ? c->request_.timeout : config.timeout;
    if (c->options_.deadline.count() > 0) curllib::setLong(t.easy, CURLOPT_TIMEOUT_MS, long(c->options_.deadline.count()));
    curllib::setPointer(t.easy, CURLOPT_PRIVATE, c.get());
    curllib::setCallback(t.easy, CURLOPT_HEADERFUNCTION, onHeader);
    curllib::setPointer(t.easy, CURLOPT_HEADERDATA, c.get());
    curllib::setCallback(t.easy, CURLOPT_WRITEFUNCTION, onBody);
    curllib::setPointer(t.easy, CURLOPT_WRITEDATA, c.get());
    handlesChanged = true;
    if (curllib::multiAdd(multi, t.easy) != CURLM_OK) fail(*c, {.curl = CURLE_FAILED_INIT});
}

void NetworkThread::Impl::attachFile(const std::shared_ptr<URLConnection>& c) {
    auto& t = *c->transfer_;
    std::string path = NSURL::URLWithString(c->request_.url)->path();
    t.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (t.fd < 0 || fstat(t.fd, &st) != 0) return fail(*c, {.fileError = errno});
    if (S_ISDIR(st.st_mode)) return fail(*c, {.fileError = EISDIR});
    ++fileCount;
    t.countedAsFile = true;
    if (uint64_t(st.st_size) > c->options_.maxBodyBytes) return fail(*c, {.tooLarge = true});
    HTTPURLResponse response;
    response.url = c->request_.url;
    response.expectedContentLength = int64_t(st.st_size);
    if (!c->deliver([&](URLConnectionDelegate& d) { d.connection_didReceiveResponse(*c, response); })) end(*c);
}

void NetworkThread::Impl::fail(URLConnection& c, urlerror::Failure failure, const std::string& detail) {
    c.deliver([&](URLConnectionDelegate& d) {
        d.connection_didFailWithError(c, urlerror::fromFailure(failure, c.request_.url, detail));
    });
    end(c);
}

void NetworkThread::Impl::end(URLConnection& c) {
    auto it = std::find_if(active.begin(), active.end(), [&](auto& a) { return a.get() == &c; });
    if (it == active.end()) return;  // ended already
    auto keep = *it;
    active.erase(it);
    if (c.transfer_ && c.transfer_->easy) {
        handlesChanged = true;
        curllib::multiRemove(multi, c.transfer_->easy);
        curllib::easyCleanup(c.transfer_->easy);
    }
    if (c.transfer_ && c.transfer_->countedAsFile) --fileCount;
    c.transfer_.reset();
    --connections;
}

// ---- HTTP(S) ----

size_t NetworkThread::Impl::onHeader(char* p, size_t size, size_t n, void* user) {
    auto& c = *static_cast<URLConnection*>(user);
    auto& t = *c.transfer_;
    std::string_view line(p, size * n);
    t.lastActivity = Steady::now();
    if (c.isCancelled()) return 0;
    httpheaders::collect(t.headers, line);
    bool headEnded = line == "\r\n" || line == "\n";
    if (headEnded && isFinalResponse(c) && !deliverResponse(c)) return 0;
    return size * n;
}

// Whether the response whose head just ended is the one the caller gets:
// not an interim 1xx, a redirect that curl follows, or a first challenge
// that curl answers with the request's credential.
bool NetworkThread::Impl::isFinalResponse(URLConnection& c) {
    auto& t = *c.transfer_;
    long status = 0;
    curllib::getLong(t.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200) return false;
    bool hasLocation = std::any_of(t.headers.begin(), t.headers.end(),
                                   [](auto& h) { return strings::toLower(h.first) == "location"; });
    if (status >= 300 && status < 400 && hasLocation && c.request_.followRedirects) return false;
    if ((status == 401 || status == 407) && c.request_.credential && !t.challenged) {
        t.challenged = true;
        return false;
    }
    return true;
}

size_t NetworkThread::Impl::onBody(char* p, size_t size, size_t n, void* user) {
    auto& c = *static_cast<URLConnection*>(user);
    auto& t = *c.transfer_;
    size_t len = size * n;
    t.lastActivity = Steady::now();
    if (!deliverResponse(c)) return CURL_WRITEFUNC_ERROR;
    if (t.received + len > c.options_.maxBodyBytes) {
        t.tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    t.received += len;
    bool open = c.deliver([&](URLConnectionDelegate& d) { d.connection_didReceiveData(c, std::string_view(p, len)); });
    return open ? len : CURL_WRITEFUNC_ERROR;
}

// The final response goes out once, before the first piece of its body
// (or at the end of a transfer without one).
bool NetworkThread::Impl::deliverResponse(URLConnection& c) {
    auto& t = *c.transfer_;
    if (t.responseDelivered) return !c.isCancelled();
    t.responseDelivered = true;
    auto response = curlsetup::responseOf(t.easy, t.headers, c.request_.url);
    return c.deliver([&](URLConnectionDelegate& d) { d.connection_didReceiveResponse(c, response); });
}

void NetworkThread::Impl::finishMessages() {
    int left = 0;
    while (CURLMsg* m = curllib::multiInfoRead(multi, &left)) {
        if (m->msg != CURLMSG_DONE) continue;
        auto* c = static_cast<URLConnection*>(curllib::privateOf(m->easy_handle));
        CURLcode rc = m->data.result;
        auto& t = *c->transfer_;
        if (rc == CURLE_OK) {
            if (deliverResponse(*c)) c->deliver([&](URLConnectionDelegate& d) { d.connectionDidFinishLoading(*c); });
            end(*c);
            continue;
        }
        urlerror::Failure f{.curl = rc, .tooLarge = t.tooLarge};
        curllib::getLong(t.easy, CURLINFO_SSL_VERIFYRESULT, &f.certificateVerifyResult);
        f.offline = (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST) && urlerror::isOffline(c->request_.url);
        fail(*c, f, t.errorBuffer);
    }
}

// Ends transfers silent for longer than their limit, and those whose
// delegate is gone (nobody to hand the bytes to). Runs every turn of the
// loop: the connections to end are picked first, so that the common turn
// that ends none copies nothing.
void NetworkThread::Impl::checkSilence() {
    auto now = Steady::now();
    std::vector<std::shared_ptr<URLConnection>> gone, silent;
    for (auto& c : active) {
        auto* t = c->transfer_.get();
        if (!t) continue;
        if (c->delegate_.expired()) gone.push_back(c);
        else if (t->easy && now - t->lastActivity > t->silenceLimit) silent.push_back(c);
    }
    for (auto& c : gone) {
        c->cancelled_ = true;
        end(*c);
    }
    for (auto& c : silent) fail(*c, {.curl = CURLE_OPERATION_TIMEDOUT}, "The request timed out.");
}

// ---- Files ----

// One piece of every file being read; true when some are still being read.
bool NetworkThread::Impl::pumpFiles() {
    if (fileCount == 0) return false;
    bool waiting = false;
    auto list = active;
    std::string buf;
    for (auto& c : list) {
        auto* t = c->transfer_.get();
        if (!t || t->fd < 0) continue;
        buf.resize(kFilePiece);
        ssize_t n = read(t->fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            waiting = true;
        } else if (n < 0) {
            fail(*c, {.fileError = errno});
        } else if (n == 0) {
            c->deliver([&](URLConnectionDelegate& d) { d.connectionDidFinishLoading(*c); });
            end(*c);
        } else if (t->received + uint64_t(n) > c->options_.maxBodyBytes) {
            fail(*c, {.tooLarge = true});  // the file grew past the cap
        } else {
            t->received += uint64_t(n);
            bool open = c->deliver([&](URLConnectionDelegate& d) {
                d.connection_didReceiveData(*c, std::string_view(buf.data(), size_t(n)));
            });
            if (open) waiting = true;
            else end(*c);
        }
    }
    return waiting;
}

// ---- The connection ----

URLConnection::URLConnection(URLRequest request, std::weak_ptr<URLConnectionDelegate> delegate, Options options)
    : request_(std::move(request)), options_(options), delegate_(std::move(delegate)) {}

URLConnection::~URLConnection() = default;

std::shared_ptr<URLConnection> URLConnection::start(NetworkThread& thread, URLRequest request,
                                                    std::weak_ptr<URLConnectionDelegate> delegate, Options options) {
    auto c = std::make_shared<URLConnection>(std::move(request), std::move(delegate), options);
    auto* impl = thread.impl_.get();
    c->thread_ = thread.impl_;
    ++impl->connections;
    impl->post([impl, c] { impl->attach(c); });
    return c;
}

void URLConnection::cancel() {
    {
        std::lock_guard lock(deliveryMutex_);
        if (cancelled_.exchange(true)) return;
    }
    if (auto t = thread_.lock()) t->post([impl = t.get(), self = shared_from_this()] { impl->end(*self); });
}

bool URLConnection::deliver(const std::function<void(URLConnectionDelegate&)>& call) {
    std::lock_guard lock(deliveryMutex_);
    if (cancelled_) return false;
    auto delegate = delegate_.lock();
    if (!delegate) {
        cancelled_ = true;  // nobody listens: stop loading
        return false;
    }
    try {
        call(*delegate);
    } catch (const std::exception& e) {
        NSLog("URLConnection: a delegate call for %s threw: %s", request_.url.c_str(), e.what());
    }
    return !cancelled_;
}
