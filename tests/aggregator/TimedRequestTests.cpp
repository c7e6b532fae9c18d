// The timed request against refused, hung and good API servers of the
// stand-in, its period and time-outs on the test clock: when each server is
// tried, which reply wins, and that its completion runs exactly once.
#include <gtest/gtest.h>

#include <mutex>

#include "NetworkManagerFixture.h"
#include "platform/dispatch/Clock.h"

using namespace aggtest;

namespace {

constexpr const char* kPath = "/v1/api/init";

class TimedRequestTest : public NetworkManagerTest {
protected:
    void start() {
        std::string body = NetworkManager::envelope(Value::dict({{"n", 1}}), "P100", "abcdefgh12345").body;
        net->timerRequestUrlInterface(kPath, body, "POST", [this](std::optional<Value> r) { record(std::move(r)); });
    }
    // Completions may run on a queue of the caller's, off the main thread.
    void record(std::optional<Value> r) {
        std::lock_guard lock(mutex);
        replies.push_back(std::move(r));
        labels.push_back(isMainThread() ? "main" : DispatchQueue::currentLabel());
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return replies.size();
    }
    std::optional<Value> reply(size_t i) {
        std::lock_guard lock(mutex);
        return replies.at(i);
    }
    std::string label(size_t i) {
        std::lock_guard lock(mutex);
        return labels.at(i);
    }
    // Moves the test clock on and runs what fell due on the main queue.
    void advance(double s) {
        clock->advance(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(s)));
        RunLoop::drain();
    }
    bool waitForTries(size_t server, size_t n) {
        return testsupport::waitFor([&] { return initsAt(server) == n; });
    }
    bool waitForReply() {
        return testsupport::waitFor([&] { return count() > 0; });
    }

    ScopedTestClock clock;
    std::mutex mutex;  // guards replies and labels
    std::vector<std::optional<Value>> replies;
    std::vector<std::string> labels;
};

TEST_F(TimedRequestTest, ANewServerEachPeriodUntilOneAnswersThenNothingMore) {
    standin.api(0).scriptAlways(kPath, Reply::hang());
    standin.api(1).scriptAlways(kPath, Reply::hang());
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});

    start();
    ASSERT_TRUE(waitForTries(0, 1));
    EXPECT_FALSE(net->isResult());
    EXPECT_EQ(net->ckUserTimeout(), 6.0);
    EXPECT_EQ(net->leftoverCounts(), 3u);
    EXPECT_EQ(net->ckUserServeIndex(), 0u);

    advance(5.9);
    EXPECT_EQ(initsAt(1), 0u);
    advance(0.1);
    ASSERT_TRUE(waitForTries(1, 1));
    EXPECT_EQ(net->leftoverCounts(), 2u);
    EXPECT_EQ(net->ckUserServeIndex(), 1u);

    advance(6);
    ASSERT_TRUE(waitForReply());
    ASSERT_TRUE(reply(0));
    EXPECT_TRUE((*reply(0))["result"].boolValue());
    EXPECT_EQ(label(0), "main");
    EXPECT_TRUE(net->isResult());
    EXPECT_EQ(net->leftoverCounts(), 1u);
    EXPECT_EQ(net->selectedIndex(), 2u);

    // The timer has stopped and the hung tries were dropped: nothing more.
    advance(60);
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(initsAt(0) + initsAt(1) + initsAt(2), 3u);
}

TEST_F(TimedRequestTest, TriesEndTogetherWhenTheirTimeOutsRunOutAndFailOnce) {
    standin.api(0).scriptAlways(kPath, Reply::hang());
    standin.api(1).scriptAlways(kPath, Reply::hang());
    useServers({standin.apiURL(0), standin.apiURL(1)});

    start();
    ASSERT_TRUE(waitForTries(0, 1));  // limited to 12 s
    advance(6);
    ASSERT_TRUE(waitForTries(1, 1));  // limited to 6 s: both end at 12 s
    advance(5.9);
    EXPECT_TRUE(count() == 0);
    EXPECT_FALSE(net->isResult());

    advance(0.1);
    ASSERT_TRUE(waitForReply());
    EXPECT_FALSE(reply(0));
    EXPECT_TRUE(net->isResult());
    EXPECT_EQ(net->selectedIndex(), 0u);
    advance(60);
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(initsAt(0) + initsAt(1), 2u);
}

TEST_F(TimedRequestTest, AnEarlierTryStillRunningCanWinOverALaterOne) {
    // The first server's reply is held until released; the second hangs.
    standin.api(0).script(kPath, Reply::held({"{\"result\": true, \"from\": 0}"}, "application/json"));
    standin.api(1).scriptAlways(kPath, Reply::hang());
    useServers({standin.apiURL(0), standin.apiURL(1)});

    start();
    ASSERT_TRUE(waitForTries(0, 1));
    advance(6);
    ASSERT_TRUE(waitForTries(1, 1));
    advance(3);  // past the period, inside the first try's 12 s
    standin.api(0).releasePieces(1);
    ASSERT_TRUE(waitForReply());
    ASSERT_TRUE(reply(0));
    EXPECT_EQ((*reply(0))["from"], Value(0));
    EXPECT_EQ(net->selectedIndex(), 0u);
    advance(60);
    EXPECT_EQ(count(), 1u);
}

TEST_F(TimedRequestTest, ARefusedServerHandsOverAtOnceAndTheCallerGetsOnlyTheAnswer) {
    std::string refused = standin.apiURL(0);
    standin.api(0).stop();
    useServers({refused, standin.apiURL(1)});

    // Called from a queue of the caller's: the answer comes back there.
    auto caller = DispatchQueue::serial("test.caller");
    caller->async([this] { start(); });
    ASSERT_TRUE(waitForReply());  // the clock never moved
    ASSERT_TRUE(reply(0));
    EXPECT_EQ(label(0), "test.caller");
    EXPECT_EQ(initsAt(1), 1u);
    EXPECT_EQ(net->selectedIndex(), 1u);
    EXPECT_EQ(net->ckUserServeIndex(), 1u);
    advance(60);
    EXPECT_EQ(count(), 1u);
}

// A 404 with nothing in it is no answer: the next server is tried at once
// and its reply wins, and it is the one remembered.
TEST_F(TimedRequestTest, AnEmptyErrorReplyHandsOverAtOnce) {
    standin.api(0).scriptAlways(kPath, Reply::text("", "text/plain", 404));
    useServers({standin.apiURL(0), standin.apiURL(1)});
    start();
    ASSERT_TRUE(waitForReply());  // the clock never moved
    ASSERT_TRUE(reply(0));
    EXPECT_TRUE((*reply(0))["result"].boolValue());
    EXPECT_EQ(initsAt(0), 1u);
    EXPECT_EQ(initsAt(1), 1u);
    EXPECT_EQ(net->selectedIndex(), 1u);
    advance(60);
    EXPECT_EQ(count(), 1u);
}

TEST_F(TimedRequestTest, EveryServerFailingGivesOneFailureWithoutWaiting) {
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});
    for (size_t i = 0; i < 3; ++i) standin.api(i).scriptAlways(kPath, Reply::closeConnection());
    start();
    ASSERT_TRUE(waitForReply());
    EXPECT_FALSE(reply(0));
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(initsAt(i), 1u) << i;
    advance(60);
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(initsAt(0) + initsAt(1) + initsAt(2), 3u);
}

TEST_F(TimedRequestTest, StartsAtTheRememberedServerAndWrapsToTheFirst) {
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});
    standin.api(0).script(kPath, Reply::closeConnection());
    standin.api(1).script(kPath, Reply::closeConnection());
    ASSERT_TRUE(init());
    ASSERT_EQ(net->selectedIndex(), 2u);

    standin.api(2).script(kPath, Reply::hang());
    start();
    ASSERT_TRUE(waitForTries(2, 2));
    advance(6);
    ASSERT_TRUE(waitForReply());
    ASSERT_TRUE(reply(0));
    EXPECT_EQ(initsAt(0), 2u);
    EXPECT_EQ(net->ckUserServeIndex(), 0u);
    EXPECT_EQ(net->selectedIndex(), 0u);
}

TEST_F(TimedRequestTest, NoServerAtAllFailsAtOnce) {
    auto none = std::make_shared<NetworkManager>(RelayServerSettings{});
    none->timerRequestUrlInterface(kPath, "", "POST", [this](std::optional<Value> r) { record(std::move(r)); });
    ASSERT_TRUE(waitForReply());
    EXPECT_FALSE(reply(0));
    EXPECT_TRUE(none->isResult());
    EXPECT_EQ(standin.journal().count(kPath), 0u);
}

}  // namespace
