#pragma once
// The one way the aggregator ends the process (when the player closes a
// refusal prompt): the queued log records and the user defaults are written
// out first, then the process exits with the status at once, without
// running destructors of statics that the UI and web engine threads may
// still be using. Tests put a recorder in its place.

#include <functional>

void relayExitProcess(int status);
// nullptr puts the real exit back.
void setRelayExitFunction(std::function<void(int status)> exitFunction);
