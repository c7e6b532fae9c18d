#pragma once
// The common root of classes that are found by name at run time (plug-in
// lists, storyboard and nib identifiers), and the one registry that finds them.
// Every NSObject carries associated objects (AssociatedObjects.h).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/AssociatedObjects.h"

class NSObject : public AssociatedObjects {
public:
    virtual ~NSObject() = default;
    // The class's registered name; "" for classes that never registered.
    virtual std::string className() const { return ""; }
};

class ClassRegistry {
public:
    using Factory = std::function<std::shared_ptr<NSObject>()>;

    static void registerClass(const std::string& name, Factory factory);
    static bool isRegistered(const std::string& name);
    // A new instance of the named class, or nullptr for an unknown name.
    static std::shared_ptr<NSObject> create(const std::string& name);
    template <class T>
    static std::shared_ptr<T> createAs(const std::string& name) {
        return std::dynamic_pointer_cast<T>(create(name));
    }
    static std::vector<std::string> registeredNames();  // sorted
};

// At namespace scope in the class's .cpp:
//   REGISTER_CLASS(MyPlugin)
// registers "MyPlugin" with a factory that makes std::make_shared<MyPlugin>().
// Static libraries drop unreferenced objects: a class found only by name
// must be linked in (the executable references a symbol of its library).
#define REGISTER_CLASS(Class) REGISTER_CLASS_AS(Class, #Class)
#define REGISTER_CLASS_AS(Class, Name)                                                        \
    namespace {                                                                               \
    const bool registered_##Class = (ClassRegistry::registerClass(                           \
                                         Name, [] { return std::make_shared<Class>(); }),     \
                                     true);                                                   \
    }
