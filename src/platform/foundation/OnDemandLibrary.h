#pragma once
// A shared library opened on its first use instead of at start.
//
// Every library the program links is mapped and relocated before main()
// runs, and the dynamic loader walks past it for each symbol of every
// library after it: a library that only a few features need (a picture
// format, the QR codes) made each launch slower for nothing (about 7 ms,
// see docs/shell.md). Such a library is not linked; its functions are called
// through wrappers of the same name and type in a namespace of our own
// (KORVEL_ON_DEMAND_FUNCTION), and the first call opens it (dlopen, once,
// from any thread; RTLD_LOCAL, so it never joins the global lookups).
//
// A feature asks available() before its first call: true when the library
// opened and has every function the feature names. When it is false the
// feature fails as it does on an input it cannot use. A wrapper whose
// function is missing all the same logs that once and returns its type's
// zero (null, 0, false), which these C libraries use for failure; nothing
// aborts.
//
// Only the library's types and constants come from its header.

#include <initializer_list>
#include <mutex>
#include <type_traits>

namespace ondemand {

class Library {
public:
    explicit Library(const char* soname) : soname_(soname) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The opened library; null when it cannot be opened (logged once).
    void* handle() const;
    // A function of it; null when the library or the name is missing.
    void* symbol(const char* name) const;
    // Whether it opened and has every one of `names`.
    bool hasAll(std::initializer_list<const char*> names) const;
    // Whether the process has it mapped now (whoever opened it), without
    // opening it.
    bool loaded() const;
    const char* soname() const { return soname_; }

private:
    const char* soname_;
    mutable std::once_flag once_;
    mutable void* handle_ = nullptr;  // written once, under once_
};

// Logs, once per name, that a wrapper's function could not be found.
void reportMissing(const Library& library, const char* name);

template <class Function>
Function function(const Library& library, const char* name) {
    void* p = library.symbol(name);
    if (!p) reportMissing(library, name);
    return reinterpret_cast<Function>(p);
}

template <class Result>
Result zero() {
    if constexpr (!std::is_void_v<Result>) return Result{};
}

}  // namespace ondemand

// Defines NAME(...) in the enclosing namespace: a call of the library's
// NAME, declared by its header in namespace SCOPE (:: for most), with the
// same arguments (LIBRARY is an expression naming the ondemand::Library).
// Arguments are passed by value, as C takes them.
#define KORVEL_ON_DEMAND_FUNCTION_IN(LIBRARY, SCOPE, NAME)                                        \
    template <class... Args>                                                                      \
    inline auto NAME(Args... args) {                                                              \
        using Function = decltype(&SCOPE::NAME);                                                  \
        static const Function call = ::ondemand::function<Function>(LIBRARY, #NAME);              \
        using Result = decltype(call(args...));                                                   \
        if (!call) return ::ondemand::zero<Result>();                                             \
        return call(args...);                                                                     \
    }
#define KORVEL_ON_DEMAND_FUNCTION(LIBRARY, NAME) KORVEL_ON_DEMAND_FUNCTION_IN(LIBRARY, , NAME)
