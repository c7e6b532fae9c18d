#include "AggregatorCoreSupport.h"

#include "aggregator/NetworkManager.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RLPCRelayChannelCooperater.h"
#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/SDKCooperater.h"
#include "support/TestSupport.h"

namespace aggtest {

void ZorviaDouble::opened(const std::string& form, const NSURL& url) {
    urls.push_back({form, url.absoluteString()});
    if (throwOnOpenURL) throw std::runtime_error("the user-centre SDK failed");
}

NotificationRecorder::NotificationRecorder(std::vector<std::string> names) {
    for (auto& name : names)
        NSNotificationCenter::defaultCenter().addObserver(this, name, nullptr,
                                                          [this](const NSNotification& n) { seen_.push_back(n); });
}

NotificationRecorder::~NotificationRecorder() { NSNotificationCenter::defaultCenter().removeObserver(this); }

std::vector<NSNotification> NotificationRecorder::of(const std::string& name) const {
    std::vector<NSNotification> out;
    for (auto& n : seen_)
        if (n.name == name) out.push_back(n);
    return out;
}

FreshAggregator::FreshAggregator() {
    RLPCRelayChannelCooperater::replaceDefaultForTesting(std::make_shared<RLPCRelayChannelCooperater>());
    RelayChannelHelper::replaceSharedForTesting(std::make_shared<RelayChannelHelper>());
    RLPCRelayChannel::replaceDefaultForTesting(std::make_shared<RLPCRelayChannel>());
    SDKCooperater::replaceSharedForTesting(std::make_shared<SDKCooperater>());
    SDKCooperater::load();
    PlugManager::replaceSharedForTesting(std::make_shared<PlugManager>());
    PlugManager::load();
    NetworkManager::replaceSharedForTesting(std::make_shared<NetworkManager>());
    ZorviaServices::install(zorvia);
}

FreshAggregator::~FreshAggregator() {
    ZorviaServices::install(nullptr);
    RMNetWorkUtil::setInitHook(nullptr);
    NetworkManager::replaceSharedForTesting(nullptr);
    PlugManager::replaceSharedForTesting(nullptr);
    SDKCooperater::replaceSharedForTesting(nullptr);
    RLPCRelayChannel::replaceDefaultForTesting(nullptr);
    RelayChannelHelper::replaceSharedForTesting(nullptr);
    RLPCRelayChannelCooperater::replaceDefaultForTesting(nullptr);
}

std::string text(const Data& d) { return std::string(d.begin(), d.end()); }

std::string plistText(const Value& v) { return text(v.toXMLPlist()); }

std::string plainChannelFixture() {
    return testsupport::readFile(testsupport::built(CHANNEL_FIXTURE_DIR) + "/relayChannel-plain.cfg");
}

std::string encryptedChannelFixture() {
    return testsupport::readFile(testsupport::built(CHANNEL_FIXTURE_DIR) + "/relayChannel-encrypted.cfg");
}

}  // namespace aggtest

// Under ThreadSanitizer: libraries that are not instrumented (the font
// libraries behind alert texts, the stand-in's HTTP server library) and
// libstdc++'s lazily filled character-narrowing cache (a known benign race,
// hit by the stand-in's route patterns) are reported in ways that say
// nothing about our code. Unused in other builds.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so\n"
           "race:libpangoft2-1.0.so\n"
           "race:libpango-1.0.so\n"
           "race:libcpp-httplib.so\n"
           "race:std::ctype<char>::narrow\n";
}
