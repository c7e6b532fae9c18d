// The web layer's own parts that need no engine: the byte pipe behind
// scheme answers, the user content controller and the recording web view.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/web/ChunkStream.h"
#include "platform/web/RecordingWebView.h"
#include "support/TestSupport.h"

using webengine::ChunkBuffer;

namespace {

std::string drain(ChunkBuffer& b, ChunkBuffer::ReadResult& last, size_t readSize = 8192) {
    std::string out;
    std::vector<uint8_t> buf(readSize);
    while (true) {
        size_t got = 0;
        Error e;
        last = b.read(buf.data(), buf.size(), got, e, true);
        if (last != ChunkBuffer::ReadResult::Data) return out;
        out.append(reinterpret_cast<char*>(buf.data()), got);
    }
}

TEST(ChunkBuffer, AProducerOffTheMainThreadWaitsWhileTooMuchIsBuffered) {
    ChunkBuffer b;
    const size_t piece = 256 << 10, pieces = 16;
    std::atomic<size_t> peak{0};
    std::thread producer([&] {
        for (size_t i = 0; i < pieces; ++i) {
            std::vector<uint8_t> chunk(piece, uint8_t('a' + i));
            ASSERT_TRUE(b.push(chunk.data(), chunk.size()));
            peak = std::max(peak.load(), b.buffered());
        }
        b.finish();
    });
    ChunkBuffer::ReadResult last;
    std::string all = drain(b, last, 64 << 10);
    producer.join();
    EXPECT_EQ(last, ChunkBuffer::ReadResult::End);
    ASSERT_EQ(all.size(), piece * pieces);
    for (size_t i = 0; i < pieces; ++i) EXPECT_EQ(all[i * piece], char('a' + i)) << i;
    EXPECT_LE(peak.load(), ChunkBuffer::kHighWater + piece);
}

TEST(ChunkBuffer, AFailureComesAfterTheDataAlreadyGiven) {
    ChunkBuffer b;
    uint8_t bytes[] = {'o', 'k'};
    b.push(bytes, 2);
    b.fail(Error(NSPOSIXErrorDomain, 5));
    b.finish();  // too late: the failure stands
    ChunkBuffer::ReadResult last;
    EXPECT_EQ(drain(b, last), "ok");
    EXPECT_EQ(last, ChunkBuffer::ReadResult::Failed);
}

TEST(ChunkBuffer, ClosingEarlyReleasesTheProducerAndSaysSoOnce) {
    ChunkBuffer b;
    int early = 0;
    b.setOnEarlyClose([&] { ++early; });
    std::atomic<bool> refused{false};
    std::thread producer([&] {
        std::vector<uint8_t> chunk(512 << 10, 'x');
        for (int i = 0; i < 100; ++i)
            if (!b.push(chunk.data(), chunk.size())) {
                refused = true;
                return;
            }
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return b.buffered() >= ChunkBuffer::kHighWater; }));
    b.close();
    b.close();
    producer.join();
    EXPECT_TRUE(refused);
    EXPECT_EQ(early, 1);
    EXPECT_TRUE(b.consumerGone());

    ChunkBuffer done;
    int late = 0;
    done.setOnEarlyClose([&] { ++late; });
    done.finish();
    done.close();
    EXPECT_EQ(late, 0);
}

class Collecting : public WKScriptMessageHandler {
public:
    std::vector<WKScriptMessage> got;
    bool fail = false;
    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override {
        got.push_back(m);
        if (fail) throw std::runtime_error("handler fault");
    }
};

TEST(UserContentController, ChannelsReplaceRemoveAndNeverLetAFaultOut) {
    auto config = WKWebViewConfiguration::create();
    auto view = RecordingWebView::create(config);
    auto a = std::make_shared<Collecting>(), b = std::make_shared<Collecting>();
    auto ucc = config->userContentController();
    ucc->addScriptMessageHandler(a, "ch");
    ucc->addScriptMessageHandler(b, "ch");
    view->postMessage("ch", Value::dict({{"k", 1}}));
    view->postMessage("other", Value(1));
    EXPECT_TRUE(a->got.empty());
    ASSERT_EQ(b->got.size(), 1u);
    EXPECT_EQ(b->got[0].name, "ch");
    EXPECT_EQ(b->got[0].webView.lock(), view);
    b->fail = true;
    EXPECT_NO_THROW(view->postMessage("ch", Value(2)));
    ucc->removeScriptMessageHandlerForName("ch");
    view->postMessage("ch", Value(3));
    EXPECT_EQ(b->got.size(), 2u);
    EXPECT_TRUE(ucc->scriptMessageHandlerNames().empty());
}

TEST(WebViewConfiguration, BuiltInSchemesCannotBeTaken) {
    auto config = WKWebViewConfiguration::create();
    struct Nothing : WKURLSchemeHandler {
        void webView_startURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>&) override {}
        void webView_stopURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>&) override {}
    };
    auto h = std::make_shared<Nothing>();
    EXPECT_FALSE(config->setURLSchemeHandler(h, "https"));
    EXPECT_FALSE(config->setURLSchemeHandler(h, "blob"));
    EXPECT_TRUE(config->setURLSchemeHandler(h, "Local"));
    EXPECT_EQ(config->urlSchemeHandlerForURLScheme("LOCAL"), h);
    // A request of a scheme without a handler fails at once.
    auto view = RecordingWebView::create(config);
    auto t = view->startSchemeTask(NSURLRequest::requestWithURL(*NSURL::URLWithString("other://x/y")));
    EXPECT_TRUE(t->error());
}

TEST(NSURLRequest, HeaderFieldsAreCaseInsensitive) {
    NSURLRequest r = NSURLRequest::requestWithURL(*NSURL::URLWithString("local://g/a"));
    r.setValue("bytes=0-", "Range");
    r.setValue("bytes=5-", "range");
    EXPECT_EQ(r.allHTTPHeaderFields.size(), 1u);
    EXPECT_EQ(r.valueForHTTPHeaderField("RANGE"), "bytes=5-");
    EXPECT_FALSE(r.valueForHTTPHeaderField("Accept"));
}

// Refuses addresses holding "blocked"; answers at once, or holds its
// handlers for the test to answer or drop.
class Gatekeeper : public WKNavigationDelegate {
public:
    bool hold = false;
    std::vector<PolicyHandler> held;
    void webView_decidePolicyForNavigationAction_decisionHandler(WKWebView&, const WKNavigationAction& action,
                                                                 PolicyHandler handler) override {
        if (hold) {
            held.push_back(std::move(handler));
            return;
        }
        bool blocked = action.request.URL.absoluteString().find("blocked") != std::string::npos;
        handler(blocked ? WKNavigationActionPolicy::Cancel : WKNavigationActionPolicy::Allow);
    }
};

NSURLRequest requestOf(const std::string& url) { return NSURLRequest::requestWithURL(*NSURL::URLWithString(url)); }

TEST(RecordingWebView, NavigationsAskThePolicyAndOnlyAllowedOnesEnterTheHistory) {
    auto view = RecordingWebView::create();
    auto gate = std::make_shared<Gatekeeper>();
    view->setNavigationDelegate(gate);

    view->loadRequest(requestOf("https://a.example/blocked"));  // refused as the first load too
    EXPECT_EQ(view->loads().size(), 1u);
    EXPECT_EQ(view->historyIndex(), -1);
    view->loadRequest(requestOf("https://a.example/1"));
    view->followLink("https://a.example/2");
    view->followLink("https://a.example/blocked?x=1");
    view->followLink("https://a.example/3");
    EXPECT_EQ(view->history(), (std::vector<std::string>{"https://a.example/1", "https://a.example/2", "https://a.example/3"}));

    ASSERT_TRUE(view->goBack());
    ASSERT_TRUE(view->goBack());
    EXPECT_EQ(view->currentURL(), "https://a.example/1");
    EXPECT_FALSE(view->canGoBack());
    EXPECT_FALSE(view->goBack());
    // A new page after going back drops the pages ahead.
    view->followLink("https://a.example/4");
    EXPECT_FALSE(view->canGoForward());
    EXPECT_EQ(view->history().size(), 2u);

    struct Want {
        WKNavigationType type;
        WKNavigationActionPolicy policy;
    };
    const std::vector<Want> want = {
        {WKNavigationType::Other, WKNavigationActionPolicy::Cancel},         {WKNavigationType::Other, WKNavigationActionPolicy::Allow},
        {WKNavigationType::LinkActivated, WKNavigationActionPolicy::Allow},  {WKNavigationType::LinkActivated, WKNavigationActionPolicy::Cancel},
        {WKNavigationType::LinkActivated, WKNavigationActionPolicy::Allow},  {WKNavigationType::BackForward, WKNavigationActionPolicy::Allow},
        {WKNavigationType::BackForward, WKNavigationActionPolicy::Allow},    {WKNavigationType::LinkActivated, WKNavigationActionPolicy::Allow},
    };
    auto decisions = view->decisions();
    ASSERT_EQ(decisions.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(decisions[i].type, want[i].type) << i;
        EXPECT_EQ(decisions[i].policy, want[i].policy) << i;
    }
}

TEST(RecordingWebView, ALateAnswerCountsOnceAndADroppedHandlerAllows) {
    auto view = RecordingWebView::create();
    auto gate = std::make_shared<Gatekeeper>();
    gate->hold = true;
    view->setNavigationDelegate(gate);
    view->followLink("https://a.example/1");
    view->followLink("https://a.example/2");
    ASSERT_EQ(gate->held.size(), 2u);
    EXPECT_EQ(view->historyIndex(), -1);  // nothing before the answer

    gate->held[0](WKNavigationActionPolicy::Cancel);
    gate->held[0](WKNavigationActionPolicy::Allow);  // a second answer is ignored
    EXPECT_EQ(view->historyIndex(), -1);
    gate->held.pop_back();  // dropped uncalled
    EXPECT_EQ(view->history(), std::vector<std::string>{"https://a.example/2"});
}

}  // namespace
