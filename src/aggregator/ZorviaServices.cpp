#include "aggregator/ZorviaServices.h"

#include <mutex>

namespace {
std::mutex gMutex;
std::shared_ptr<ZorviaServices> gServices;
}  // namespace

std::shared_ptr<ZorviaServices> ZorviaServices::current() {
    std::lock_guard lock(gMutex);
    return gServices;
}

void ZorviaServices::install(std::shared_ptr<ZorviaServices> services) {
    std::lock_guard lock(gMutex);
    gServices = std::move(services);
}
