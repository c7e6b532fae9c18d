#include "platform/net/CurlSetup.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/foundation/OnDemandLibrary.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/net/NetworkReachability.h"
#include "platform/net/URLSession.h"

// libssl is libcurl's: mapped with it, and not linked here, so that a
// launch that makes no request does not load it.
namespace ssllib {
inline const ondemand::Library& library() {
    static const ondemand::Library lib("libssl.so.3");
    return lib;
}
KORVEL_ON_DEMAND_FUNCTION(library(), SSL_CTX_get_cert_store)
}  // namespace ssllib

namespace curlsetup {

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curllib::globalInit(CURL_GLOBAL_DEFAULT); });
}


CURLcode onSSLContext(CURL*, void* sslctx, void* user) {
    auto path = static_cast<const std::string*>(user);
    X509_STORE* store = ssllib::SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslctx));
    if (!store) return CURLE_OK;
    if (X509_STORE_load_file(store, path->c_str()) != 1) {
        // Public servers still verify against the system's roots.
        NSLog("URLSession: the extra CA file %s cannot be read", path->c_str());
    }
    return CURLE_OK;
}

// Close-on-exec from the start: a child process (the engine's web process
// among them) must never hold one of our connections open.
curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address) {
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

std::set<int> openDescriptors() {
    std::set<int> out;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') out.insert(std::atoi(e->d_name));
        out.erase(::dirfd(dir));  // the listing's own
        ::closedir(dir);
    }
    return out;
}

// Whether a descriptor is a socket, read from its /proc link rather than
// fstat: other threads open and close sockets all the time, and the link
// is only a name, never a use of their descriptor.
bool isSocket(int fd) {
    char target[64] = {};
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    return ::readlink(link.c_str(), target, sizeof target - 1) > 0 && std::strncmp(target, "socket:", 7) == 0;
}

std::mutex gShareLocks[CURL_LOCK_DATA_LAST];
void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*) { gShareLocks[data].lock(); }
void unlockShare(CURL*, curl_lock_data data, void*) { gShareLocks[data].unlock(); }

void setMethodAndBody(CURL* curl, const URLRequest& request) {
    std::string method = strings::toUpper(request.method.empty() ? "GET" : request.method);
    if (method == "HEAD") {
        curllib::setLong(curl, CURLOPT_NOBODY, 1);
    } else if (method == "POST" || !request.body.empty()) {
        curllib::setPointer(curl, CURLOPT_POSTFIELDS, request.body.data());
        curllib::setOffset(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        if (method != "POST") curllib::setPointer(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curllib::setPointer(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
}

curl_slist* headerList(const URLRequest& request) {
    curl_slist* headers = nullptr;
    bool hasContentType = false;
    for (auto& [k, v] : request.headers) {
        auto lower = strings::toLower(k);
        // The length always follows the body actually sent.
        if (lower == "content-length") continue;
        if (lower == "content-type") hasContentType = true;
        headers = curllib::listAppend(headers, (k + ": " + v).c_str());
    }
    // A body without a type is a form, as the platform sends it (servers
    // that read forms by their type see nothing otherwise); no body, no
    // type. And no 100-continue round trip.
    if (!hasContentType)
        headers = curllib::listAppend(headers, request.body.empty() ? "Content-Type:"
                                                                  : "Content-Type: application/x-www-form-urlencoded");
    return curllib::listAppend(headers, "Expect:");
}

}  // namespace

curl_slist* configure(CURL* curl, const URLRequest& request, const URLSessionConfiguration& config, char* errorBuffer,
                      bool trustAnyServerCertificate) {
    globalInit();
    auto timeout = request.timeout.count() > 0 ? request.timeout : config.timeout;
    curllib::setPointer(curl, CURLOPT_URL, request.url.c_str());
    curllib::setPointer(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curllib::setPointer(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curllib::setLong(curl, CURLOPT_NOSIGNAL, 1);
    curllib::setCallback(curl, CURLOPT_OPENSOCKETFUNCTION, openSocket);
    curllib::setPointer(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curllib::setLong(curl, CURLOPT_CONNECTTIMEOUT_MS, long(std::min(timeout, config.connectTimeout).count()));
    curllib::setLong(curl, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1 : 0);
    curllib::setLong(curl, CURLOPT_MAXREDIRS, 16);
    curllib::setPointer(curl, CURLOPT_ACCEPT_ENCODING, "");
    curllib::setLong(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    if (trustAnyServerCertificate) {
        curllib::setLong(curl, CURLOPT_SSL_VERIFYPEER, 0);
        curllib::setLong(curl, CURLOPT_SSL_VERIFYHOST, 0);
    } else {
        curllib::setLong(curl, CURLOPT_SSL_VERIFYPEER, 1);
        curllib::setLong(curl, CURLOPT_SSL_VERIFYHOST, 2);
        if (!config.extraCAFile.empty()) {
            curllib::setCallback(curl, CURLOPT_SSL_CTX_FUNCTION, onSSLContext);
            curllib::setPointer(curl, CURLOPT_SSL_CTX_DATA, &config.extraCAFile);
        }
    }
    if (request.credential) {
        curllib::setLong(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_ANY));
        curllib::setPointer(curl, CURLOPT_USERNAME, request.credential->user.c_str());
        curllib::setPointer(curl, CURLOPT_PASSWORD, request.credential->password.c_str());
    }
    if (request.httpShouldHandleCookies) {
        curllib::setPointer(curl, CURLOPT_SHARE, cookieShare());
        curllib::setPointer(curl, CURLOPT_COOKIEFILE, "");  // the cookie engine, reading no file
    }
    if (!config.userAgent.empty()) curllib::setPointer(curl, CURLOPT_USERAGENT, config.userAgent.c_str());
    setMethodAndBody(curl, request);
    curl_slist* headers = headerList(request);
    curllib::setPointer(curl, CURLOPT_HTTPHEADER, headers);
    return headers;
}

HTTPURLResponse responseOf(CURL* curl, HTTPHeaders headers, const std::string& requestURL) {
    HTTPURLResponse response;
    curllib::getLong(curl, CURLINFO_RESPONSE_CODE, &response.statusCode);
    char* effective = nullptr;
    curllib::getText(curl, CURLINFO_EFFECTIVE_URL, &effective);
    response.url = effective ? effective : requestURL;
    response.expectedContentLength = httpheaders::expectedLength(headers);
    response.headers = std::move(headers);
    return response;
}

CURL* newEasy() {
    globalInit();
    return curllib::easyInit();
}

CURLM* newMulti() {
    globalInit();
    // curl gives each multi handle a socket pair to wake it with and leaves
    // it open across exec: mark the sockets it adds close-on-exec. One
    // thread at a time, so no thread looks at another's half-made pair.
    static std::mutex creating;
    std::lock_guard lock(creating);
    auto before = openDescriptors();
    CURLM* multi = curllib::multiInit();
    for (int fd : openDescriptors()) {
        if (before.count(fd) || !isSocket(fd)) continue;
        int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
    return multi;
}

CURLSH* cookieShare() {
    static CURLSH* share = [] {
        globalInit();
        CURLSH* s = curllib::shareInit();
        curllib::shareLocks(s, lockShare, unlockShare);
        curllib::shareData(s, CURL_LOCK_DATA_COOKIE);
        return s;
    }();
    return share;
}

}  // namespace curlsetup

namespace httpheaders {

void collect(HTTPHeaders& headers, std::string_view line) {
    constexpr size_t kMaxHeaders = 512;
    if (strings::hasPrefix(line, "HTTP/")) {
        headers.clear();
        return;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || headers.size() >= kMaxHeaders) return;
    std::string name = strings::trim(line.substr(0, colon));
    if (name.empty()) return;
    headers.emplace_back(std::move(name), strings::trim(line.substr(colon + 1)));
}

bool isContentEncoded(const HTTPHeaders& headers) {
    for (auto& [k, v] : headers)
        if (strings::toLower(k) == "content-encoding" && !v.empty() && strings::toLower(v) != "identity") return true;
    return false;
}

int64_t expectedLength(const HTTPHeaders& headers) {
    if (isContentEncoded(headers)) return -1;
    int64_t length = -1;
    for (auto& [k, v] : headers) {
        auto name = strings::toLower(k);
        if (name == "transfer-encoding" && strings::toLower(v) != "identity") return -1;
        if (name != "content-length") continue;
        int64_t n = 0;
        auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        if (v.empty() || ec != std::errc() || end != v.data() + v.size() || n < 0) return -1;
        if (length >= 0 && n != length) return -1;  // two lengths that disagree
        length = n;
    }
    return length;
}

}  // namespace httpheaders

namespace urlerror {

namespace {

long codeForFile(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR: return NSURLErrorFileDoesNotExist;
    case EISDIR: return NSURLErrorFileIsDirectory;
    case EACCES:
    case EPERM: return NSURLErrorNoPermissionsToReadFile;
    default: return NSURLErrorResourceUnavailable;
    }
}

long codeForCertificate(long verifyResult) {
    switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED: return NSURLErrorServerCertificateHasBadDate;
    case X509_V_ERR_CERT_NOT_YET_VALID: return NSURLErrorServerCertificateNotYetValid;
    default: return NSURLErrorServerCertificateUntrusted;
    }
}

}  // namespace

long codeFor(const Failure& f) {
    if (f.cancelled) return NSURLErrorCancelled;
    if (f.tooLarge) return NSURLErrorDataLengthExceedsMaximum;
    if (f.fileError) return codeForFile(f.fileError);
    switch (f.curl) {
    case CURLE_OPERATION_TIMEDOUT: return NSURLErrorTimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return f.offline ? NSURLErrorNotConnectedToInternet : NSURLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT: return f.offline ? NSURLErrorNotConnectedToInternet : NSURLErrorCannotConnectToHost;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return NSURLErrorNetworkConnectionLost;
    case CURLE_URL_MALFORMAT: return NSURLErrorBadURL;
    case CURLE_UNSUPPORTED_PROTOCOL: return NSURLErrorUnsupportedURL;
    case CURLE_TOO_MANY_REDIRECTS: return NSURLErrorHTTPTooManyRedirects;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING: return NSURLErrorBadServerResponse;
    case CURLE_PEER_FAILED_VERIFICATION: return codeForCertificate(f.certificateVerifyResult);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE: return NSURLErrorSecureConnectionFailed;
    default: return NSURLErrorUnknown;
    }
}

Error fromFailure(const Failure& failure, const std::string& url, const std::string& detail) {
    long code = codeFor(failure);
    std::string text = detail;
    if (failure.cancelled) text = "cancelled";
    else if (failure.tooLarge) text = "the reply is larger than allowed";
    else if (code == NSURLErrorNotConnectedToInternet) text = "The Internet connection appears to be offline.";
    else if (text.empty()) text = failure.fileError ? std::strerror(failure.fileError) : curllib::errorText(failure.curl);
    Error e = make(code, text, url);
    if (failure.curl != CURLE_OK) e.userInfo.set("curlCode", int(failure.curl));
    return e;
}

bool isOffline(const std::string& url) {
    std::string host = curllib::hostOf(url);
    if (host.empty()) return false;
    ReachabilityTarget target;
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) target.address = address;
    else target.hostName = host;
    auto flags = ReachabilitySource::current()->flagsFor(target);
    return flags && !(*flags & kReachabilityFlagsReachable);
}

}  // namespace urlerror
