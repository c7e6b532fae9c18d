#include "platform/foundation/OnDemandLibrary.h"

#include <dlfcn.h>

#include <set>
#include <string>

#include "platform/foundation/PlatformLog.h"

namespace ondemand {

void* Library::handle() const {
    std::call_once(once_, [this] {
        handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) NSLog("cannot load %s: %s", soname_, dlerror());
    });
    return handle_;
}

void* Library::symbol(const char* name) const {
    void* h = handle();
    return h ? dlsym(h, name) : nullptr;
}

bool Library::hasAll(std::initializer_list<const char*> names) const {
    for (const char* name : names)
        if (!symbol(name)) {
            if (handle()) NSLog("%s lacks %s, which this program calls", soname_, name);
            return false;
        }
    return true;
}

bool Library::loaded() const {
    void* h = dlopen(soname_, RTLD_LAZY | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

void reportMissing(const Library& library, const char* name) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard lock(mutex);
    if (told.insert(std::string(library.soname()) + ":" + name).second)
        NSLog("%s: no function %s; the call fails", library.soname(), name);
}

}  // namespace ondemand
