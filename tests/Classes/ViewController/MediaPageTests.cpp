// <video> and <audio> whose source is a "local" address, in the real
// engine: each way a page can set the source plays and seeks; missing files
// and escapes fail; a large file plays without being held in memory.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "Classes/ViewController/LocalMediaServer.h"
#include "Classes/ViewController/MainViewController.h"
#include "HostTestSupport.h"
#include "platform/foundation/Strings.h"
#include "platform/web/WebTestSupport.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"

using namespace webtest;
namespace fs = std::filesystem;

namespace {


fs::path demoClip() { return testsupport::sourceDir() / "examples/DemoGame.app/Data/clip.mp4"; }

// The page's media helper: reports an element's events and, once it plays,
// seeks it to 3 s.
const char* kWatch = R"JS(
<script>
window.events = {};
function watch(key, el) {
  var e = events[key] = {list: [], src: null};
  ['loadedmetadata', 'playing', 'seeked', 'error'].forEach(function(name) {
    el.addEventListener(name, function() {
      e.list.push(name);
      if (name == 'loadedmetadata') { e.src = el.src; el.play(); }
      if (name == 'playing' && !e.seekFrom) {
        var t0 = el.currentTime;
        var check = setInterval(function() {
          if (el.currentTime > t0 + 0.3) { clearInterval(check); e.advanced = true; e.seekFrom = el.currentTime; el.currentTime = 3; }
        }, 50);
      }
      if (name == 'seeked') e.seekedAt = el.currentTime;
      if (name == 'error') e.error = el.error ? el.error.code : -1;
    });
  });
  return el;
}
</script>
)JS";

class MediaPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WKWebView::engineAvailable());
        hosttest::freshBridge();
        fs::create_directories(bundle.path() / "Data/media");
        fs::copy_file(demoClip(), bundle.path() / "Data/media/clip.mp4");
        fs::copy_file(demoClip(), bundle.path() / "outside.mp4");
        bundle.writeFile("Data/nativefiles.json", R"({"/media/clip.mp4": {"mime": "video/mp4"}})");
    }
    void start(const std::string& body) {
        bundle.writeFile("Data/index.html", std::string("<html><head>") + kWatch + "</head><body>" + body + "</body></html>");
        bundle.setInfo(Value::dict({{"CFBundleIdentifier", "com.example.media"}, {"KL_URL", "local://game/"}}));
        controller = std::make_shared<hosttest::ProbedController>();
        controller->view();
        window = ShownWindow(controller->webView());
        ASSERT_TRUE(waitForPage(*controller->webView(), "document.readyState == 'complete'"));
    }
    Value events(const std::string& key) { return evaluate(*controller->webView(), "events['" + key + "']").value; }
    // Waits until the element played, was seeked and reported it.
    void expectPlaysAndSeeks(const std::string& key) {
        ASSERT_TRUE(waitForPage(*controller->webView(), "events['" + key + "'] && events['" + key + "'].seekedAt !== undefined",
                                std::chrono::seconds(20)))
            << key << ": " << events(key).toJSON();
        Value e = events(key);
        EXPECT_TRUE(e["advanced"].boolValue()) << key;
        EXPECT_NEAR(e["seekedAt"].doubleValue(), 3.0, 0.5) << key;
        EXPECT_FALSE(e.has("error")) << key << ": " << e.toJSON();
    }

    testsupport::TempBundle bundle;
    std::shared_ptr<hosttest::ProbedController> controller;
    ShownWindow window;
};

struct Way {
    const char* name;
    const char* body;  // makes the element and watches it as "m"
    const char* readBack;  // what the page reads back from the element's src
};

const Way kWays[] = {
    {"attribute", R"(<video id=m muted src="media/clip.mp4"></video><script>watch('m', document.getElementById('m'));</script>)",
     "local://game/media/clip.mp4"},
    {"sourceChild", R"(<video id=m muted><source src="local://game/media/clip.mp4" type="video/mp4"></video>
                       <script>watch('m', document.getElementById('m'));</script>)", ""},
    {"property", R"(<script>var m = watch('m', document.createElement('video')); m.muted = true;
                    m.src = 'local://game/media/clip.mp4'; document.body.appendChild(m);</script>)",
     "local://game/media/clip.mp4"},
    {"setAttribute", R"(<script>var m = watch('m', document.createElement('video')); m.muted = true;
                        m.setAttribute('src', 'media/clip.mp4'); document.body.appendChild(m);</script>)",
     "local://game/media/clip.mp4"},
    {"sourceAndLoad", R"(<script>var m = watch('m', document.createElement('video')); m.muted = true;
                         var s = document.createElement('source'); s.src = 'local://game/media/clip.mp4'; m.appendChild(s);
                         document.body.appendChild(m); m.load();</script>)", ""},
    {"audioElement", R"(<script>var m = watch('m', document.createElement('audio')); m.muted = true;
                        m.src = 'local://game/media/clip.mp4';</script>)", "local://game/media/clip.mp4"},
    {"audioConstructor", R"(<script>var m = watch('m', new Audio('local://game/media/clip.mp4')); m.muted = true;</script>)",
     "local://game/media/clip.mp4"},
    {"innerHTML", R"(<div id=holder></div><script>document.getElementById('holder').innerHTML =
                     '<video id=inner muted src="local://game/media/clip.mp4"></video>';
                     watch('m', document.getElementById('inner'));</script>)", "local://game/media/clip.mp4"},
};

class MediaWays : public MediaPage, public ::testing::WithParamInterface<Way> {};

TEST_P(MediaWays, PlaysAndSeeks) {
    start(GetParam().body);
    expectPlaysAndSeeks("m");
    if (*GetParam().readBack) {
        EXPECT_EQ(events("m").str("src"), GetParam().readBack);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWayOfSettingTheSource, MediaWays, ::testing::ValuesIn(kWays),
                         [](const auto& info) { return std::string(info.param.name); });

// A page with many sounds playing at once.
TEST_F(MediaPage, ManyElementsPlayAtOnce) {
    start(R"HTML(<script>
      for (var i = 0; i < 12; ++i) {
        var m = watch('m' + i, document.createElement('audio'));
        m.muted = true; m.src = 'local://game/media/clip.mp4'; document.body.appendChild(m);
      }
    </script>)HTML");
    ASSERT_TRUE(waitForPage(*controller->webView(),
                            "Object.keys(events).every(function(k) { return events[k].seekedAt !== undefined; })",
                            std::chrono::seconds(30)))
        << evaluate(*controller->webView(), "JSON.stringify(Object.keys(events).map(function(k) { var e = events[k]; return k + ':' + e.list.join(',') + (e.advanced ? ' adv' : ''); }))").value.stringOr("?");
    EXPECT_GE(controller->mediaServer()->requestCount(), 12u);
}

TEST_F(MediaPage, MissingFilesAndEscapesFailAndNeverPlay) {
    start(R"HTML(
<script>
  var a = watch('missing', document.createElement('video')); a.muted = true; a.src = 'local://game/media/none.mp4';
  var b = watch('escape', document.createElement('video')); b.muted = true; b.src = 'local://game/..%2foutside.mp4';
  var c = watch('dots', document.createElement('video')); c.muted = true; c.src = 'local://game/media/%2e%2e/%2e%2e/outside.mp4';
  var d = watch('plain', document.createElement('video')); d.muted = true; d.src = 'local://game/media/clip.mp4';
</script>)HTML");
    ASSERT_TRUE(waitForPage(*controller->webView(),
                            "events.missing.error && events.escape.error && events.dots.error && events.plain.list.indexOf('playing') >= 0",
                            std::chrono::seconds(20)));
    for (auto key : {"missing", "escape", "dots"}) {
        Value e = events(key);
        EXPECT_EQ(e["list"], Value::array({"error"})) << key << ": " << e.toJSON();
    }
}

// ---- Looping ---------------------------------------------------------------------

// Counts the passes of a looping element: each time its time falls back, the
// time it had reached. What the page sees of the element's loop is kept too.
const char* kPasses = R"JS(
<script>
function countPasses(v) {
  window.passes = []; window.ends = [];
  var reached = 0;
  v.addEventListener('timeupdate', function() {
    if (v.currentTime + 1 < reached) passes.push(reached);
    reached = v.currentTime;
  });
  ['pause', 'ended'].forEach(function(n) { v.addEventListener(n, function() { ends.push(n); }); });
}
</script>
)JS";

class LoopingMedia : public MediaPage {
protected:
    // Waits for `n` passes; each must have reached the clip's end.
    void expectWholePasses(size_t n, std::chrono::seconds timeout) {
        auto& view = *controller->webView();
        ASSERT_TRUE(waitForPage(view, "passes.length >= " + std::to_string(n), timeout))
            << evaluate(view, "JSON.stringify([passes, document.getElementById('m').currentTime])").value.stringOr("");
        double duration = evaluate(view, "document.getElementById('m').duration").value.doubleValue();
        Value passes = evaluate(view, "passes").value;
        for (size_t i = 0; i < passes.size(); ++i) EXPECT_GT(passes[i].doubleValue(), duration - 0.6) << "pass " << i;
        // The page saw a looping element: no end, and its loop as it set it.
        EXPECT_EQ(evaluate(view, "var m = document.getElementById('m');"
                                 "[ends.length, m.loop, m.getAttribute('loop'), m.hasAttribute('loop'), m.ended]").value,
                  Value::array({0, true, "", true, false}));
    }
};

TEST_F(LoopingMedia, ALoopingVideoPlaysWholePassesAndThePageSeesItsOwnLoop) {
    start(std::string(kPasses) + R"(<video id=m muted loop autoplay src="media/clip.mp4"></video>
        <script>var m = document.getElementById('m'); countPasses(m);</script>)");
    expectWholePasses(3, std::chrono::seconds(40));
    // Taken off and put back, the loop is the page's to read and write.
    EXPECT_EQ(evaluate(*controller->webView(), "m.loop = false; var a = [m.loop, m.hasAttribute('loop')];"
                                               "m.toggleAttribute('loop'); a.concat([m.loop, m.getAttribute('loop')])").value,
              Value::array({false, false, true, ""}));
}

TEST_F(LoopingMedia, ALoopingVideoStartedAfterSittingIdlePlaysOn) {
    ScopedTestClock clock;  // the media server's deadlines
    start(std::string(kPasses) + R"(<video id=m muted loop preload=auto src="media/clip.mp4"></video>
        <script>var m = document.getElementById('m'); m.playbackRate = 2; countPasses(m);</script>)");
    auto& server = *controller->mediaServer();
    ASSERT_TRUE(waitForPage(*controller->webView(), "m.readyState >= 3"));
    clock->advance(std::chrono::seconds(30));
    server.wake();
    // The idle connections are gone; the element plays on new ones.
    ASSERT_TRUE(testsupport::waitFor([&] { return server.openConnections() == 0; }));
    evaluate(*controller->webView(), "m.play(); 1");
    expectWholePasses(2, std::chrono::seconds(30));
}

// ---- A large file -------------------------------------------------------------

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void putBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Moves every chunk offset of the movie by `delta` (stco boxes).
void shiftChunkOffsets(std::string& box, size_t begin, size_t end, uint32_t delta) {
    for (size_t at = begin; at + 8 <= end;) {
        auto* p = reinterpret_cast<uint8_t*>(box.data() + at);
        uint32_t size = be32(p);
        std::string type(box.data() + at + 4, 4);
        if (size < 8 || at + size > end) return;
        if (type == "trak" || type == "mdia" || type == "minf" || type == "stbl") shiftChunkOffsets(box, at + 8, at + size, delta);
        if (type == "stco") {
            uint32_t n = be32(p + 12);
            for (uint32_t i = 0; i < n; ++i) putBe32(p + 16 + 4 * i, be32(p + 16 + 4 * i) + delta);
        }
        at += size;
    }
}

// The demo clip with a sparse padding box of `pad` bytes between the movie
// header and the media data: a file that large, whose frames lie past it.
void writeLargeClip(const fs::path& to, uint32_t pad) {
    std::string clip = testsupport::readFile(demoClip());
    size_t at = 0, moovAt = 0, moovSize = 0, mdatAt = 0;
    while (at + 8 <= clip.size()) {
        uint32_t size = be32(reinterpret_cast<const uint8_t*>(clip.data() + at));
        std::string type = clip.substr(at + 4, 4);
        if (type == "moov") moovAt = at, moovSize = size;
        if (type == "mdat") mdatAt = at;
        at += size;
    }
    ASSERT_GT(moovSize, 0u);
    ASSERT_GT(mdatAt, moovAt);  // the movie header comes first
    shiftChunkOffsets(clip, moovAt + 8, moovAt + moovSize, pad);
    int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, clip.data(), mdatAt), ssize_t(mdatAt));
    uint8_t freeBox[8];
    putBe32(freeBox, pad);
    std::memcpy(freeBox + 4, "free", 4);
    ASSERT_EQ(::write(fd, freeBox, 8), 8);
    ASSERT_EQ(::lseek(fd, off_t(mdatAt) + pad, SEEK_SET), off_t(mdatAt) + pad);
    ASSERT_EQ(::write(fd, clip.data() + mdatAt, clip.size() - mdatAt), ssize_t(clip.size() - mdatAt));
    ::close(fd);
}

// Peak resident memory (kB) of this process and of the engine's processes.
std::map<int, long> peakMemory() {
    std::map<int, long> out;
    auto hwm = [](const fs::path& status) {
        std::ifstream in(status);
        std::string line;
        while (std::getline(in, line))
            if (strings::hasPrefix(line, "VmHWM:")) return strings::leadingInteger(line.substr(6));
        return int64_t(0);
    };
    out[getpid()] = hwm("/proc/self/status");
    for (auto& entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string s((std::istreambuf_iterator<char>(stat)), {});
        size_t close = s.rfind(')');
        if (close == std::string::npos) continue;
        auto fields = strings::split(s.substr(close + 2), " ");
        if (fields.size() > 1 && std::stoi(fields[1]) == getpid()) out[std::stoi(name)] = hwm(entry.path() / "status");
    }
    return out;
}

TEST_F(MediaPage, ALargeFilePlaysAndSeeksWithoutBeingHeldInMemory) {
    // Sparse: it takes no disk, but every byte of it is served as asked.
    const uint32_t pad = 2048u << 20;
    writeLargeClip(bundle.path() / "Data/media/large.mp4", pad);
    ASSERT_GT(fs::file_size(bundle.path() / "Data/media/large.mp4"), size_t(pad));

    start("<script>var v = watch('large', document.createElement('video')); v.muted = true; v.src = 'media/large.mp4';</script>");
    auto before = peakMemory();
    expectPlaysAndSeeks("large");
    auto after = peakMemory();
    long grown = 0;
    for (auto& [pid, kb] : after) grown += kb - (before.count(pid) ? before[pid] : 0);
    // The engine buffers a bounded amount (its media pipeline and read-ahead
    // take a few hundred MiB whatever the file); the file is never held.
    EXPECT_LT(grown, long(pad >> 10) / 4) << "peak memory grew by " << grown << " kB for a " << (pad >> 20) << " MiB file";
}

}  // namespace
