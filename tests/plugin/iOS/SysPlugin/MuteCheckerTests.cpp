// The mute probe over a fake sound player whose clip ends when the test
// says: the one-second replay rule, and how an early end reads.

#include <gtest/gtest.h>

#include "../../../platform/ui/UITestSupport.h"
#include "platform/device/SoundPlayer.h"
#include "plugin/iOS/RAZ5Orered/MuteChecker.h"
#include "support/TestSupport.h"

namespace {

class FakePlayer : public SoundPlayer {
public:
    bool load(const std::filesystem::path&) override { return true; }
    void play(Completion ended) override { plays.push_back(std::move(ended)); }
    std::vector<Completion> plays;
};

class MuteProbe : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        SoundPlayer::setFactory([this] { return player; });
        bundle.writeFile("Korvel.bundle/MuteChecker.caf", "sound");
    }
    void TearDown() override {
        SoundPlayer::setFactory(nullptr);
        UITest::TearDown();
    }
    testsupport::TempBundle bundle;
    std::shared_ptr<FakePlayer> player = std::make_shared<FakePlayer>();
    std::vector<std::pair<bool, double>> results;
    MuteChecker::Completion record = [this](bool muted, double elapsed) { results.emplace_back(muted, elapsed); };
};

TEST_F(MuteProbe, ChecksWithinASecondPlayOnceAndAnEarlyEndReadsAsMuted) {
    auto checker = MuteChecker::initWithCompletionBlk(record);
    checker->check();
    advance(0.5);
    checker->check();
    EXPECT_EQ(player->plays.size(), 1u) << "a check still running is not started again";
    advance(0.05);
    player->plays[0]();  // the clip ends 0.55 s after it started: audible
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].first);
    EXPECT_NEAR(results[0].second, 0.55, 1e-9);

    advance(0.5);
    checker->check();
    ASSERT_EQ(player->plays.size(), 2u);
    advance(0.1);
    player->plays[1]();  // ended at once: a muted device
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[1].first);
    EXPECT_NEAR(results[1].second, 0.1, 1e-9);
}

TEST_F(MuteProbe, WithoutItsSoundChecksDoNothing) {
    std::filesystem::remove(bundle.path() / "Korvel.bundle/MuteChecker.caf");
    auto checker = MuteChecker::initWithCompletionBlk(record);
    checker->check();
    EXPECT_TRUE(player->plays.empty());
    EXPECT_FALSE(checker->hasSound());
}

}  // namespace
