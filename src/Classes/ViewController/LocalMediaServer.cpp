#include "Classes/ViewController/LocalMediaServer.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <random>

#include "Classes/ViewController/ByteRange.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/web/NSURLRequest.h"

namespace {

constexpr size_t kPiece = 256 << 10;
constexpr size_t kMaxHeaderBytes = 16 << 10;
// Each connection holds a thread while it lives; the media player keeps
// connections open between requests, and a page may have many sounds.
constexpr int kMaxConnections = 128;
constexpr int kIdleSeconds = 10;

std::string randomPrefix() {
    std::random_device rd;
    std::string out;
    for (int i = 0; i < 4; ++i) out += strings::format("%08x", unsigned(rd()));
    return out;
}

}  // namespace

struct MediaRequest {
    std::string method, target, version;
    HTTPHeaderFields headers;
    std::string header(std::string_view name) const { return headerValue(headers, name).value_or(""); }
};

namespace {

// Reads one request head; false at the end of the connection or on garbage.
bool readRequest(GDataInputStream* in, MediaRequest& r) {
    size_t total = 0;
    auto line = [&](std::string& out) {
        gsize len = 0;
        GError* e = nullptr;
        char* l = g_data_input_stream_read_line(in, &len, nullptr, &e);
        if (e) g_error_free(e);
        if (!l) return false;
        out.assign(l, len);
        g_free(l);
        if (!out.empty() && out.back() == '\r') out.pop_back();
        total += len;
        return total < kMaxHeaderBytes;
    };
    std::string first;
    do {
        if (!line(first)) return false;
    } while (first.empty());  // blank lines between requests are allowed
    auto parts = strings::split(first, " ");
    if (parts.size() != 3) return false;
    r = MediaRequest{parts[0], parts[1], parts[2], {}};
    std::string h;
    while (true) {
        if (!line(h)) return false;
        if (h.empty()) return true;
        size_t colon = h.find(':');
        if (colon == std::string::npos) continue;
        r.headers.emplace_back(h.substr(0, colon), strings::trim(h.substr(colon + 1)));
    }
}

bool writeAll(GOutputStream* out, const void* data, size_t n) {
    return g_output_stream_write_all(out, data, n, nullptr, nullptr, nullptr);
}

}  // namespace

struct LocalMediaServer::Connection {
    static gboolean run(GThreadedSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
        std::shared_ptr<State> server = *static_cast<std::shared_ptr<State>*>(data);
        g_socket_set_timeout(g_socket_connection_get_socket(connection), kIdleSeconds);
        GDataInputStream* in = g_data_input_stream_new(g_io_stream_get_input_stream(G_IO_STREAM(connection)));
        g_data_input_stream_set_newline_type(in, G_DATA_STREAM_NEWLINE_TYPE_LF);
        GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
        MediaRequest r;
        while (readRequest(in, r)) {
            ++server->requests;
            bool keepAlive = strings::toLower(r.header("Connection")) != "close" && r.version == "HTTP/1.1";
            if (!answer(*server, r, out) || !keepAlive) break;
        }
        g_object_unref(in);
        return TRUE;
    }
    static bool answer(const State& server, const MediaRequest& r, GOutputStream* out);
};

namespace {

std::string head(int status, const char* reason, const std::vector<std::pair<std::string, std::string>>& headers) {
    std::string h = strings::format("HTTP/1.1 %d %s\r\n", status, reason);
    for (auto& [k, v] : headers) h += k + ": " + v + "\r\n";
    h += "\r\n";
    return h;
}

}  // namespace

LocalMediaServer::LocalMediaServer(std::filesystem::path dataFolder, MimeLookup mime)
    : state_(std::make_shared<State>()) {
    state_->dataFolder = std::move(dataFolder);
    state_->mime = std::move(mime);
    state_->prefix = randomPrefix();
}

LocalMediaServer::~LocalMediaServer() { stop(); }

// The listener accepts on a thread of its own (its own main context), so
// media keeps flowing whatever the main thread is doing.
bool LocalMediaServer::start() {
    if (thread_.joinable()) return port_ != 0;
    std::promise<int> ready;
    auto started = ready.get_future();
    thread_ = std::thread([this, &ready] {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GSocketService* service = G_SOCKET_SERVICE(g_threaded_socket_service_new(kMaxConnections));
        GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
        GSocketAddress* address = g_inet_socket_address_new(loopback, 0);
        g_object_unref(loopback);
        GSocketAddress* effective = nullptr;
        GError* error = nullptr;
        bool ok = g_socket_listener_add_address(G_SOCKET_LISTENER(service), address, G_SOCKET_TYPE_STREAM,
                                                G_SOCKET_PROTOCOL_TCP, nullptr, &effective, &error);
        g_object_unref(address);
        if (!ok) {
            NSLog("media server: %s", error ? error->message : "cannot listen");
            if (error) g_error_free(error);
            g_object_unref(service);
            g_main_context_pop_thread_default(context);
            g_main_context_unref(context);
            ready.set_value(0);
            return;
        }
        int port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(effective));
        g_object_unref(effective);
        g_signal_connect_data(service, "run", G_CALLBACK(Connection::run), new std::shared_ptr<State>(state_),
                              [](gpointer data, GClosure*) { delete static_cast<std::shared_ptr<State>*>(data); },
                              GConnectFlags(0));
        g_socket_service_start(service);
        loop_ = g_main_loop_new(context, FALSE);
        ready.set_value(port);
        g_main_loop_run(loop_);
        g_socket_service_stop(service);
        g_socket_listener_close(G_SOCKET_LISTENER(service));
        g_object_unref(service);
        g_main_loop_unref(loop_);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    });
    port_ = started.get();
    if (!port_) {
        thread_.join();
        return false;
    }
    baseURL_ = strings::format("http://127.0.0.1:%d/%s/", port_, state_->prefix.c_str());
    return true;
}

void LocalMediaServer::stop() {
    if (!thread_.joinable()) return;
    if (port_) {
        // Quit from inside the loop: a quit before the loop has begun to run
        // would be forgotten when it starts.
        GSource* quit = g_idle_source_new();
        g_source_set_callback(
            quit, [](gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); return G_SOURCE_REMOVE; }, loop_,
            nullptr);
        g_source_attach(quit, g_main_loop_get_context(loop_));
        g_source_unref(quit);
    }
    thread_.join();
}

// Answers one request; false when the connection is no longer usable.
bool LocalMediaServer::Connection::answer(const State& server, const MediaRequest& r, GOutputStream* out) {
    const std::vector<std::pair<std::string, std::string>> common = {
        {"Access-Control-Allow-Origin", "*"}, {"Cache-Control", "no-store"}, {"Accept-Ranges", "bytes"}};
    auto fail = [&](int status, const char* reason, std::vector<std::pair<std::string, std::string>> h = {}) {
        h.insert(h.begin(), common.begin(), common.end());
        h.emplace_back("Content-Length", "0");
        std::string text = head(status, reason, h);
        return writeAll(out, text.data(), text.size());
    };
    if (r.method != "GET" && r.method != "HEAD") return fail(405, "Method Not Allowed");

    // /<prefix>/<path>[?query]: the path is percent-decoded and confined to Data.
    std::string target = r.target.substr(0, r.target.find_first_of("?#"));
    std::string start = "/" + server.prefix + "/";
    if (!strings::hasPrefix(target, start)) return fail(404, "Not Found");
    std::string urlPath = "/" + strings::percentDecode(target.substr(start.size()));
    auto file = files::confine(server.dataFolder, urlPath);
    if (!file || !files::isRegularFile(*file)) return fail(404, "Not Found");

    int fd = ::open(file->c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        return fail(404, "Not Found");
    }
    uint64_t size = uint64_t(st.st_size), from = 0, length = size;
    int status = 200;
    auto h = common;
    h.emplace_back("Content-Type", server.mime ? server.mime(urlPath) : "application/octet-stream");
    std::string range = r.header("Range");
    if (!range.empty()) {
        ByteRange br = ByteRange::parse(range, size);
        if (br.kind == ByteRange::Kind::Unsatisfiable) {
            ::close(fd);
            return fail(416, "Range Not Satisfiable", {{"Content-Range", br.contentRange(size)}});
        }
        if (br.kind == ByteRange::Kind::Satisfiable) {
            status = 206;
            from = br.start;
            length = br.length();
            h.emplace_back("Content-Range", br.contentRange(size));
        }
        // A malformed header is ignored: the whole file.
    }
    h.emplace_back("Content-Length", std::to_string(length));
    std::string text = head(status, status == 206 ? "Partial Content" : "OK", h);
    bool ok = writeAll(out, text.data(), text.size());
    if (ok && r.method == "GET") {
        int err = sendFileRange(fd, from, length, kPiece,
                                [&](const uint8_t* bytes, size_t count) { return ok = writeAll(out, bytes, count); });
        if (err) ok = false;  // the answer is short: the connection must end
    }
    ::close(fd);
    return ok;
}

std::string LocalMediaServer::mediaScript() const {
    // Runs before the page's own scripts, in every frame. The element keeps
    // reporting the local:// address the page gave it through `src`.
    return "(function() {\n"
           "  var BASE = " + strings::jsStringLiteral(baseURL_) + ";\n" + R"JS(
  if (!BASE || window.__localMediaRoad) return;
  window.__localMediaRoad = true;
  var originals = new WeakMap();
  function toServer(url) {
    if (typeof url !== 'string' && !(url instanceof String)) return null;
    var abs;
    try { abs = new URL(String(url), document.baseURI); } catch (e) { return null; }
    if (abs.protocol !== 'local:') return null;
    return {local: abs.href, mapped: BASE + abs.pathname.replace(/^\/+/, '') + abs.search};
  }
  var setAttribute = Element.prototype.setAttribute;
  function isMedia(el) { return el instanceof HTMLMediaElement || el instanceof HTMLSourceElement; }
  function rewrite(el) {
    var value = el.getAttribute('src');
    var m = value === null ? null : toServer(value);
    if (!m) return false;
    originals.set(el, m);
    setAttribute.call(el, 'src', m.mapped);
    return true;
  }
  function hookSrc(proto) {
    var d = Object.getOwnPropertyDescriptor(proto, 'src');
    if (!d || !d.set) return;
    Object.defineProperty(proto, 'src', {
      configurable: true, enumerable: d.enumerable,
      get: function() {
        var v = d.get.call(this), o = originals.get(this);
        return o && v === o.mapped ? o.local : v;
      },
      set: function(v) {
        var m = toServer(v);
        if (m) { originals.set(this, m); d.set.call(this, m.mapped); }
        else d.set.call(this, v);
      }
    });
  }
  hookSrc(HTMLMediaElement.prototype);
  hookSrc(HTMLSourceElement.prototype);
  Element.prototype.setAttribute = function(name, value) {
    if (isMedia(this) && String(name).toLowerCase() === 'src') {
      var m = toServer(value);
      if (m) { originals.set(this, m); return setAttribute.call(this, name, m.mapped); }
    }
    return setAttribute.apply(this, arguments);
  };
  // <source> children are read when the element loads.
  function rewriteChildren(media) {
    var changed = false;
    var sources = media.querySelectorAll('source');
    for (var i = 0; i < sources.length; ++i) if (rewrite(sources[i])) changed = true;
    return changed;
  }
  var load = HTMLMediaElement.prototype.load;
  HTMLMediaElement.prototype.load = function() {
    rewrite(this);
    rewriteChildren(this);
    return load.apply(this, arguments);
  };
  var NativeAudio = window.Audio;
  if (NativeAudio) {
    var Audio = function(src) {
      var a = new NativeAudio();
      if (arguments.length) a.src = src;
      return a;
    };
    Audio.prototype = NativeAudio.prototype;
    window.Audio = Audio;
  }
  // Elements the parser or innerHTML made: rewritten before their load runs.
  function visit(node) {
    if (!(node instanceof Element)) return;
    var list = [node];
    if (node.querySelectorAll) list = list.concat(Array.prototype.slice.call(node.querySelectorAll('video, audio, source')));
    for (var i = 0; i < list.length; ++i) {
      var el = list[i];
      if (!isMedia(el)) continue;
      if (rewrite(el) && el instanceof HTMLSourceElement) {
        var media = el.parentElement;
        if (media instanceof HTMLMediaElement && (!media.currentSrc || media.currentSrc.indexOf('local:') === 0)) load.call(media);
      }
    }
  }
  new MutationObserver(function(records) {
    records.forEach(function(r) {
      if (r.type === 'attributes') visit(r.target);
      else for (var i = 0; i < r.addedNodes.length; ++i) visit(r.addedNodes[i]);
    });
  }).observe(document, {childList: true, subtree: true, attributes: true, attributeFilter: ['src']});
})();
)JS";
}
