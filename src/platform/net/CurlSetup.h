#pragma once
// The one curl set-up of the system's HTTP clients (URLSession and
// URLConnection), and the one reading of their failures as platform errors.
//
// Every transfer:
// - http and https only, redirects included: a redirect to any other scheme
//   fails as an unsupported URL with nothing read;
// - TLS verified against the system's roots plus the configured extra CA
//   file, unverified only for a caller that asks to trust any server;
// - any content encoding curl can decode ("Accept-Encoding" lists them);
// - HTTP/2 over TLS where the server offers it;
// - any authentication method curl knows, with the request's credential;
// - the process's one cookie store, only for a request that handles cookies;
// - sockets close-on-exec, so that no child process holds a connection.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/net/CurlLibrary.h"
#include "platform/net/URLSession.h"

namespace curlsetup {

// Sets `curl` up for `request` (the list above, method, body, headers,
// connect time-out, user agent). Returns the header list the handle uses:
// free it with curllib::listFree once the transfer is over.
// `errorBuffer` (CURL_ERROR_SIZE bytes) receives curl's detail of a failure.
curl_slist* configure(CURL* curl, const URLRequest& request, const URLSessionConfiguration& config,
                      char* errorBuffer, bool trustAnyServerCertificate = false);

// The response `curl` has read (status, final URL), with the headers
// collected for it and the length they promise.
HTTPURLResponse responseOf(CURL* curl, HTTPHeaders headers, const std::string& requestURL);

// An easy handle, curl's global start done once first (from any thread).
CURL* newEasy();

// A multi handle whose own descriptors (its wake-up pair) are close-on-exec.
CURLM* newMulti();

// The cookie store's share handle (cookies only).
CURLSH* cookieShare();

}  // namespace curlsetup

namespace httpheaders {

// Takes one header line of a response as curl hands it over ("Name:
// value" with its line end). A status line ("HTTP/...") starts a new
// response (a redirect's, a 100 Continue's), so that only the last
// response's headers remain; lines without a colon are skipped, names and
// values trimmed. A response keeps at most 512 headers.
void collect(HTTPHeaders& headers, std::string_view line);

// True when the body arrives decoded from a content encoding (its length
// then differs from Content-Length).
bool isContentEncoded(const HTTPHeaders& headers);

// The body length the headers promise: Content-Length when it is one
// decimal number (repeats agreeing), else -1; -1 too for a chunked or
// content-encoded body, whose length on the wire is not the body's.
int64_t expectedLength(const HTTPHeaders& headers);

}  // namespace httpheaders

namespace urlerror {

// What is known of a failed load.
struct Failure {
    CURLcode curl = CURLE_OK;          // the transfer's result (CURLE_OK for a file)
    long certificateVerifyResult = 0;  // X509_V_ERR_* of a refused server certificate
    bool cancelled = false;            // ended by its owner
    bool tooLarge = false;             // the body passed its cap
    bool offline = false;              // the device has no way out now
    int fileError = 0;                 // errno of a file load
};

// The NSURLErrorDomain code of a failure: the system's one table.
long codeFor(const Failure& failure);

// The error for a failed load of `url`: the table's code, `detail` (else
// a text of the table) as its description, and the curl code under
// "curlCode" when there is one.
Error fromFailure(const Failure& failure, const std::string& url, const std::string& detail = "");

// True when the installed reachability source says that the host of
// `url` cannot be reached now (a failure to resolve or connect is then -1009).
bool isOffline(const std::string& url);

}  // namespace urlerror
