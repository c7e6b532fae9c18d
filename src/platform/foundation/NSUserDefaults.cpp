#include "platform/foundation/NSUserDefaults.h"

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"

NSUserDefaults::NSUserDefaults() = default;

NSUserDefaults& NSUserDefaults::standardUserDefaults() {
    static NSUserDefaults* d = new NSUserDefaults();
    return *d;
}

void NSUserDefaults::resetStandardUserDefaults() {
    auto& d = standardUserDefaults();
    std::lock_guard lock(d.mutex_);
    d.loaded_ = false;
    d.values_ = Value();
    d.file_.clear();
}

std::filesystem::path NSUserDefaults::filePath() const {
    std::lock_guard lock(mutex_);
    loadLocked();
    return file_;
}

void NSUserDefaults::loadLocked() const {
    if (loaded_) return;
    loaded_ = true;
    std::string id = NSBundle::mainBundle().bundleIdentifier();
    file_ = AppHome::preferences() / ((id.empty() ? std::string("korvel") : id) + ".plist");
    values_ = Value(Value::Dictionary{});
    if (auto bytes = files::readData(file_)) {
        auto v = Value::fromPlist(*bytes);
        if (v && v->isDict()) values_ = std::move(*v);
        else NSLog("NSUserDefaults: unreadable preferences file %s, starting empty", file_.c_str());
    }
}

bool NSUserDefaults::saveLocked() {
    Error err;
    if (!files::writeAtomically(file_, values_.toBinaryPlist(), &err)) {
        NSLog("NSUserDefaults: %s", err.localizedDescription().c_str());
        return false;
    }
    return true;
}

Value NSUserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    loadLocked();
    if (values_.has(key)) return values_[key];
    return registered_[key];
}

std::string NSUserDefaults::stringForKey(const std::string& key) const { return objectForKey(key).stringOr(""); }
int64_t NSUserDefaults::integerForKey(const std::string& key) const { return objectForKey(key).intValue(); }
double NSUserDefaults::doubleForKey(const std::string& key) const { return objectForKey(key).doubleValue(); }
bool NSUserDefaults::boolForKey(const std::string& key) const { return objectForKey(key).boolValue(); }

void NSUserDefaults::setObject(const std::string& key, Value value) {
    std::lock_guard lock(mutex_);
    loadLocked();
    if (value.isNull()) values_.remove(key);
    else values_.set(key, std::move(value));
    saveLocked();
}

void NSUserDefaults::removeObjectForKey(const std::string& key) { setObject(key, Value()); }

void NSUserDefaults::registerDefaults(const Value& defaults) {
    std::lock_guard lock(mutex_);
    if (auto d = defaults.getDict())
        for (auto& [k, v] : *d) registered_.set(k, v);
}

bool NSUserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    loadLocked();
    return saveLocked();
}

Value NSUserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    loadLocked();
    Value out = registered_.isDict() ? registered_ : Value(Value::Dictionary{});
    for (auto& [k, v] : *values_.getDict()) out.set(k, v);
    return out;
}
