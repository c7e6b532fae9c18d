#include "aggregator/AggregatorLoadHooks.h"

#include "aggregator/PlugManager.h"
#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/SDKCooperater.h"

void aggregatorLoadNetworkGate() { RMNetWorkUtil::load(); }

void runAggregatorLoadHooks() {
    SDKCooperater::load();
    PlugManager::load();
    aggregatorLoadNetworkGate();
}
