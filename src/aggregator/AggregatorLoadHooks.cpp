#include "aggregator/AggregatorLoadHooks.h"

#include "aggregator/RMNetWorkUtil.h"

void aggregatorLoadNetworkGate() { RMNetWorkUtil::load(); }

void runAggregatorLoadHooks() {
    // The lifecycle controller and the plug-in manager add their hooks here, before the gate.
    aggregatorLoadNetworkGate();
}
