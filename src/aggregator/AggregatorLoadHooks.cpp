#include "aggregator/AggregatorLoadHooks.h"

#include "aggregator/LoginDisablePrompt.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/SDKCooperater.h"

void aggregatorLoadNetworkGate() { RMNetWorkUtil::load(); }

void runAggregatorLoadHooks() {
    // The SDK's own plug-ins, found by name from the bundle's list.
    LoginDisablePrompt::registerPlugin();
    SDKCooperater::load();
    PlugManager::load();
    aggregatorLoadNetworkGate();
}
