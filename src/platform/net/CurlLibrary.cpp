// libcurl is loaded on the first request, not at start: with its own
// dependencies (TLS, SSH, LDAP, Kerberos, RTMP libraries, each running its
// initialisers) it costs the process about 4.5 MiB the moment it is
// mapped, and many launches make no request for a long while. The library
// is not linked; these definitions of the functions we call stand in for
// its own, open it once, and pass every call on. When it cannot be opened,
// every call fails as libcurl's own do on a failed initialisation.

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

struct Library {
    CURLcode (*global_init)(long);
    CURL* (*easy_init)();
    void (*easy_cleanup)(CURL*);
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    const char* (*easy_strerror)(CURLcode);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
    CURLSH* (*share_init)();
    CURLSHcode (*share_setopt)(CURLSH*, CURLSHoption, ...);
    CURLM* (*multi_init)();
    CURLMcode (*multi_add_handle)(CURLM*, CURL*);
    CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
    CURLMcode (*multi_perform)(CURLM*, int*);
    CURLMcode (*multi_poll)(CURLM*, curl_waitfd*, unsigned int, int, int*);
    CURLMcode (*multi_wakeup)(CURLM*);
    CURLMcode (*multi_timeout)(CURLM*, long*);
    CURLMsg* (*multi_info_read)(CURLM*, int*);
    CURLMcode (*multi_cleanup)(CURLM*);
    CURLU* (*url)();
    void (*url_cleanup)(CURLU*);
    CURLUcode (*url_set)(CURLU*, CURLUPart, const char*, unsigned int);
    CURLUcode (*url_get)(CURLU*, CURLUPart, char**, unsigned int);
    void (*free)(void*);
};

// The opened library, or null when it or one of its functions is missing.
const Library* library() {
    static Library lib;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            fprintf(stderr, "cannot load libcurl: %s\n", dlerror());
            return;
        }
        bool complete = true;
        auto bind = [&](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
            complete = complete && slot;
        };
        bind(lib.global_init, "curl_global_init");
        bind(lib.easy_init, "curl_easy_init");
        bind(lib.easy_cleanup, "curl_easy_cleanup");
        bind(lib.easy_setopt, "curl_easy_setopt");
        bind(lib.easy_getinfo, "curl_easy_getinfo");
        bind(lib.easy_strerror, "curl_easy_strerror");
        bind(lib.slist_append, "curl_slist_append");
        bind(lib.slist_free_all, "curl_slist_free_all");
        bind(lib.share_init, "curl_share_init");
        bind(lib.share_setopt, "curl_share_setopt");
        bind(lib.multi_init, "curl_multi_init");
        bind(lib.multi_add_handle, "curl_multi_add_handle");
        bind(lib.multi_remove_handle, "curl_multi_remove_handle");
        bind(lib.multi_perform, "curl_multi_perform");
        bind(lib.multi_poll, "curl_multi_poll");
        bind(lib.multi_wakeup, "curl_multi_wakeup");
        bind(lib.multi_timeout, "curl_multi_timeout");
        bind(lib.multi_info_read, "curl_multi_info_read");
        bind(lib.multi_cleanup, "curl_multi_cleanup");
        bind(lib.url, "curl_url");
        bind(lib.url_cleanup, "curl_url_cleanup");
        bind(lib.url_set, "curl_url_set");
        bind(lib.url_get, "curl_url_get");
        bind(lib.free, "curl_free");
        if (!complete) fprintf(stderr, "libcurl lacks a function this program calls\n");
        loaded = complete;
    });
    return loaded ? &lib : nullptr;
}

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    auto* l = library();
    return l ? l->global_init(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
    auto* l = library();
    return l ? l->easy_init() : nullptr;
}

void curl_easy_cleanup(CURL* curl) {
    if (auto* l = library()) l->easy_cleanup(curl);
}

// The argument's type follows from the option's number, as libcurl reads it.
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    auto* l = library();
    if (!l) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = l->easy_setopt(curl, option, va_arg(args, long));
    } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
        result = l->easy_setopt(curl, option, va_arg(args, void*));
    } else if (option < CURLOPTTYPE_OFF_T) {
        result = l->easy_setopt(curl, option, va_arg(args, void (*)()));
    } else if (option < CURLOPTTYPE_BLOB) {
        result = l->easy_setopt(curl, option, va_arg(args, curl_off_t));
    } else {
        result = l->easy_setopt(curl, option, va_arg(args, void*));
    }
    va_end(args);
    return result;
}

// Every piece of information is written through a pointer.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    auto* l = library();
    if (!l) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, info);
    CURLcode result = l->easy_getinfo(curl, info, va_arg(args, void*));
    va_end(args);
    return result;
}

const char* curl_easy_strerror(CURLcode code) {
    auto* l = library();
    return l ? l->easy_strerror(code) : "libcurl is not available";
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    auto* l = library();
    return l ? l->slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (auto* l = library()) l->slist_free_all(list);
}

CURLSH* curl_share_init() {
    auto* l = library();
    return l ? l->share_init() : nullptr;
}

// The data to share is an int; the lock functions are function pointers;
// the user data is a pointer.
CURLSHcode curl_share_setopt(CURLSH* share, CURLSHoption option, ...) {
    auto* l = library();
    if (!l) return CURLSHE_NOT_BUILT_IN;
    va_list args;
    va_start(args, option);
    CURLSHcode result;
    switch (option) {
    case CURLSHOPT_SHARE:
    case CURLSHOPT_UNSHARE: result = l->share_setopt(share, option, va_arg(args, int)); break;
    case CURLSHOPT_LOCKFUNC:
    case CURLSHOPT_UNLOCKFUNC: result = l->share_setopt(share, option, va_arg(args, void (*)())); break;
    default: result = l->share_setopt(share, option, va_arg(args, void*)); break;
    }
    va_end(args);
    return result;
}

CURLM* curl_multi_init() {
    auto* l = library();
    return l ? l->multi_init() : nullptr;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) {
    auto* l = library();
    return l ? l->multi_add_handle(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) {
    auto* l = library();
    return l ? l->multi_remove_handle(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    auto* l = library();
    return l ? l->multi_perform(multi, running) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned int count, int timeoutMs, int* ret) {
    auto* l = library();
    return l ? l->multi_poll(multi, extra, count, timeoutMs, ret) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_wakeup(CURLM* multi) {
    auto* l = library();
    return l ? l->multi_wakeup(multi) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_timeout(CURLM* multi, long* ms) {
    auto* l = library();
    return l ? l->multi_timeout(multi, ms) : CURLM_BAD_HANDLE;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    auto* l = library();
    return l ? l->multi_info_read(multi, left) : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    auto* l = library();
    return l ? l->multi_cleanup(multi) : CURLM_BAD_HANDLE;
}

CURLU* curl_url() {
    auto* l = library();
    return l ? l->url() : nullptr;
}

void curl_url_cleanup(CURLU* url) {
    if (auto* l = library()) l->url_cleanup(url);
}

CURLUcode curl_url_set(CURLU* url, CURLUPart part, const char* content, unsigned int flags) {
    auto* l = library();
    return l ? l->url_set(url, part, content, flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_get(CURLU* url, CURLUPart part, char** content, unsigned int flags) {
    auto* l = library();
    return l ? l->url_get(url, part, content, flags) : CURLUE_OUT_OF_MEMORY;
}

void curl_free(void* p) {
    if (auto* l = library()) l->free(p);
}

}  // extern "C"
