// libcurl is opened on the first request, not at start: with its own
// dependencies (SSH, LDAP, Kerberos, RTMP libraries, each running its
// initialisers) mapping it adds some 2.8 MiB to the game's resident memory
// (see docs/shell.md), and many launches make no request for a long while.
// Its functions are looked up once, by name, into a table of pointers of
// their exact types.

#include "platform/net/CurlLibrary.h"

#include <dlfcn.h>

#include <mutex>
#include <type_traits>

#include "platform/foundation/OnDemandLibrary.h"
#include "platform/foundation/PlatformLog.h"

namespace curllib {

namespace {

constexpr const char* kLibraryName = "libcurl.so.4";

struct Functions {
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

bool bindAll(void* handle, Functions& f) {
    bool complete = true;
    auto bind = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
        complete = complete && slot;
    };
    bind(f.global_init, "curl_global_init");
    bind(f.easy_init, "curl_easy_init");
    bind(f.easy_cleanup, "curl_easy_cleanup");
    bind(f.easy_setopt, "curl_easy_setopt");
    bind(f.easy_getinfo, "curl_easy_getinfo");
    bind(f.easy_strerror, "curl_easy_strerror");
    bind(f.slist_append, "curl_slist_append");
    bind(f.slist_free_all, "curl_slist_free_all");
    bind(f.share_init, "curl_share_init");
    bind(f.share_setopt, "curl_share_setopt");
    bind(f.multi_init, "curl_multi_init");
    bind(f.multi_add_handle, "curl_multi_add_handle");
    bind(f.multi_remove_handle, "curl_multi_remove_handle");
    bind(f.multi_perform, "curl_multi_perform");
    bind(f.multi_poll, "curl_multi_poll");
    bind(f.multi_wakeup, "curl_multi_wakeup");
    bind(f.multi_timeout, "curl_multi_timeout");
    bind(f.multi_info_read, "curl_multi_info_read");
    bind(f.multi_cleanup, "curl_multi_cleanup");
    bind(f.url, "curl_url");
    bind(f.url_cleanup, "curl_url_cleanup");
    bind(f.url_set, "curl_url_set");
    bind(f.url_get, "curl_url_get");
    bind(f.free, "curl_free");
    return complete;
}

const ondemand::Library& library() {
    static const ondemand::Library lib(kLibraryName);
    return lib;
}

// The opened library's functions, or null when it or one of them is missing.
const Functions* lib() {
    static Functions functions;
    static bool complete = false;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = library().handle();  // a failure is logged there
        if (!handle) return;
        complete = bindAll(handle, functions);
        if (!complete) NSLog("%s lacks a function this program calls", kLibraryName);
    });
    return complete ? &functions : nullptr;
}

// The range an option's number lies in names the type libcurl reads.
long optionType(CURLoption option) {
    if (option < CURLOPTTYPE_OBJECTPOINT) return CURLOPTTYPE_LONG;
    if (option < CURLOPTTYPE_FUNCTIONPOINT) return CURLOPTTYPE_OBJECTPOINT;
    if (option < CURLOPTTYPE_OFF_T) return CURLOPTTYPE_FUNCTIONPOINT;
    if (option < CURLOPTTYPE_BLOB) return CURLOPTTYPE_OFF_T;
    return CURLOPTTYPE_BLOB;
}

bool infoIs(CURLINFO info, long type) { return (info & CURLINFO_TYPEMASK) == type; }

}  // namespace

bool available() { return lib() != nullptr; }

bool loaded() { return library().loaded(); }

CURLcode globalInit(long flags) {
    auto* l = lib();
    return l ? l->global_init(flags) : CURLE_FAILED_INIT;
}

const char* errorText(CURLcode code) {
    auto* l = lib();
    return l ? l->easy_strerror(code) : "libcurl is not available";
}

CURL* easyInit() {
    auto* l = lib();
    return l ? l->easy_init() : nullptr;
}

void easyCleanup(CURL* curl) {
    if (auto* l = lib()) l->easy_cleanup(curl);
}

namespace detail {
EasySetopt easySetopt() {
    auto* l = lib();
    return l ? l->easy_setopt : nullptr;
}
bool optionTakes(CURLoption option, long type) { return optionType(option) == type; }
CURLcode refuse(int optionOrInfo) {
    NSLog("curllib: option or information %d does not take that type", optionOrInfo);
    return CURLE_BAD_FUNCTION_ARGUMENT;
}
}  // namespace detail

CURLcode setLong(CURL* curl, CURLoption option, long value) {
    if (!detail::optionTakes(option, CURLOPTTYPE_LONG)) return detail::refuse(option);
    auto* l = lib();
    return l ? l->easy_setopt(curl, option, value) : CURLE_FAILED_INIT;
}

CURLcode setOffset(CURL* curl, CURLoption option, curl_off_t value) {
    if (!detail::optionTakes(option, CURLOPTTYPE_OFF_T)) return detail::refuse(option);
    auto* l = lib();
    return l ? l->easy_setopt(curl, option, value) : CURLE_FAILED_INIT;
}

CURLcode setPointer(CURL* curl, CURLoption option, const void* value) {
    if (!detail::optionTakes(option, CURLOPTTYPE_OBJECTPOINT)) return detail::refuse(option);
    auto* l = lib();
    return l ? l->easy_setopt(curl, option, value) : CURLE_FAILED_INIT;
}

CURLcode getLong(CURL* curl, CURLINFO info, long* value) {
    if (!infoIs(info, CURLINFO_LONG)) return detail::refuse(info);
    auto* l = lib();
    return l ? l->easy_getinfo(curl, info, value) : CURLE_FAILED_INIT;
}

CURLcode getText(CURL* curl, CURLINFO info, char** value) {
    if (!infoIs(info, CURLINFO_STRING)) return detail::refuse(info);
    auto* l = lib();
    return l ? l->easy_getinfo(curl, info, value) : CURLE_FAILED_INIT;
}

void* privateOf(CURL* curl) {
    char* data = nullptr;
    return getText(curl, CURLINFO_PRIVATE, &data) == CURLE_OK ? data : nullptr;
}

curl_slist* listAppend(curl_slist* list, const char* text) {
    auto* l = lib();
    return l ? l->slist_append(list, text) : nullptr;
}

void listFree(curl_slist* list) {
    if (auto* l = lib()) l->slist_free_all(list);
}

CURLSH* shareInit() {
    auto* l = lib();
    return l ? l->share_init() : nullptr;
}

// libcurl reads the data to share as an int.
CURLSHcode shareData(CURLSH* share, curl_lock_data data) {
    auto* l = lib();
    return l ? l->share_setopt(share, CURLSHOPT_SHARE, int(data)) : CURLSHE_NOT_BUILT_IN;
}

CURLSHcode shareLocks(CURLSH* share, curl_lock_function lock, curl_unlock_function unlock) {
    auto* l = lib();
    if (!l) return CURLSHE_NOT_BUILT_IN;
    CURLSHcode result = l->share_setopt(share, CURLSHOPT_LOCKFUNC, lock);
    return result == CURLSHE_OK ? l->share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlock) : result;
}

CURLM* multiInit() {
    auto* l = lib();
    return l ? l->multi_init() : nullptr;
}

CURLMcode multiAdd(CURLM* multi, CURL* curl) {
    auto* l = lib();
    return l ? l->multi_add_handle(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode multiRemove(CURLM* multi, CURL* curl) {
    auto* l = lib();
    return l ? l->multi_remove_handle(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode multiPerform(CURLM* multi, int* running) {
    auto* l = lib();
    return l ? l->multi_perform(multi, running) : CURLM_BAD_HANDLE;
}

CURLMcode multiPoll(CURLM* multi, int timeoutMs, int* events) {
    auto* l = lib();
    return l ? l->multi_poll(multi, nullptr, 0, timeoutMs, events) : CURLM_BAD_HANDLE;
}

CURLMcode multiWakeup(CURLM* multi) {
    auto* l = lib();
    return l ? l->multi_wakeup(multi) : CURLM_BAD_HANDLE;
}

CURLMcode multiTimeout(CURLM* multi, long* ms) {
    auto* l = lib();
    return l ? l->multi_timeout(multi, ms) : CURLM_BAD_HANDLE;
}

CURLMsg* multiInfoRead(CURLM* multi, int* left) {
    auto* l = lib();
    return l ? l->multi_info_read(multi, left) : nullptr;
}

CURLMcode multiCleanup(CURLM* multi) {
    auto* l = lib();
    return l ? l->multi_cleanup(multi) : CURLM_BAD_HANDLE;
}

std::string hostOf(const std::string& url) {
    auto* l = lib();
    CURLU* u = l ? l->url() : nullptr;
    if (!u) return "";
    std::string host;
    char* h = nullptr;
    if (l->url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK && l->url_get(u, CURLUPART_HOST, &h, 0) == CURLUE_OK)
        host = h;
    l->free(h);
    l->url_cleanup(u);
    return host;
}

}  // namespace curllib
