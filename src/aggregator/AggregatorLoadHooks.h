#pragma once
// The aggregator SDK's start-up hooks, called at the very top of main,
// before the application delegate runs, in this order: the lifecycle
// controller subscribes to the channel notifications, the plug-in manager
// loads its list, and the network gate makes its first check (so the
// controller's init hook is in place when the gate may call it).

// Registers the SDK's own plug-ins (the refusal prompts), then runs every
// hook below in order.
void runAggregatorLoadHooks();

// The network gate's first check (RMNetWorkUtil::load).
void aggregatorLoadNetworkGate();
