// Prints the aggregator's device id for the home named by KORVEL_HOME: run
// twice by the tests to see that the id survives a restart.
#include <cstdio>

#include "aggregator/RMDevice.h"

int main() {
    std::printf("%s\n", RMDevice::updateDeviceID().c_str());
    return 0;
}
