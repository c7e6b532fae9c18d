#pragma once
// libcurl, reached through names of our own and opened on the first call.
//
// The library is not linked: the first call of any function here opens it
// (dlopen, once, from any thread), so a launch that makes no request never
// maps it and its dependencies. When it cannot be opened, or lacks a
// function called here, every call fails as libcurl's own do when it could
// not start: null handles, CURLE_FAILED_INIT, CURLM_BAD_HANDLE,
// CURLSHE_NOT_BUILT_IN; available() tells.
//
// Options and information are set and read through typed calls, none of
// them variadic. libcurl reads an option's argument by the range its number
// lies in (long, object pointer, function pointer, curl_off_t); a call whose
// type does not fit the option (or the information) is refused with
// CURLE_BAD_FUNCTION_ARGUMENT (and logged) and never reaches libcurl.
//
// Only libcurl's types and constants come from its header; nothing of its
// own names is defined here.

#include <curl/curl.h>

#include <string>

namespace curllib {

// The library is open (opening it if it was not).
bool available();
// Whether the process has libcurl mapped now, without opening it.
bool loaded();

CURLcode globalInit(long flags);
const char* errorText(CURLcode code);

// ---- Easy handles
CURL* easyInit();
void easyCleanup(CURL* curl);

// Options whose argument is a long (CURLOPT_NOBODY, CURLOPT_MAXREDIRS, ...).
CURLcode setLong(CURL* curl, CURLoption option, long value);
// Options whose argument is a curl_off_t (CURLOPT_POSTFIELDSIZE_LARGE, ...).
CURLcode setOffset(CURL* curl, CURLoption option, curl_off_t value);
// Options whose argument is a text or any other object pointer: libcurl
// copies texts, except CURLOPT_POSTFIELDS, and keeps every other pointer
// (a header list, a share handle, a callback's data) as it is.
CURLcode setPointer(CURL* curl, CURLoption option, const void* value);

namespace detail {
using EasySetopt = CURLcode (*)(CURL*, CURLoption, ...);
EasySetopt easySetopt();  // null when the library is not available
bool optionTakes(CURLoption option, long type);
CURLcode refuse(int optionOrInfo);  // logs the caller's mistake
}  // namespace detail

// Options whose argument is a function (CURLOPT_WRITEFUNCTION, ...): the
// function is passed with its own type, as libcurl reads it.
template <class Result, class... Args>
CURLcode setCallback(CURL* curl, CURLoption option, Result (*callback)(Args...)) {
    if (!detail::optionTakes(option, CURLOPTTYPE_FUNCTIONPOINT)) return detail::refuse(option);
    auto setopt = detail::easySetopt();
    return setopt ? setopt(curl, option, callback) : CURLE_FAILED_INIT;
}

// Information that is a long (CURLINFO_RESPONSE_CODE, ...) or a text
// (CURLINFO_EFFECTIVE_URL, ...; the handle owns it).
CURLcode getLong(CURL* curl, CURLINFO info, long* value);
CURLcode getText(CURL* curl, CURLINFO info, char** value);
// What CURLOPT_PRIVATE holds (null when unset or unreadable).
void* privateOf(CURL* curl);

// ---- Header lists
curl_slist* listAppend(curl_slist* list, const char* text);
void listFree(curl_slist* list);

// ---- Share handles
CURLSH* shareInit();
CURLSHcode shareData(CURLSH* share, curl_lock_data data);
CURLSHcode shareLocks(CURLSH* share, curl_lock_function lock, curl_unlock_function unlock);

// ---- Multi handles
CURLM* multiInit();
CURLMcode multiAdd(CURLM* multi, CURL* curl);
CURLMcode multiRemove(CURLM* multi, CURL* curl);
CURLMcode multiPerform(CURLM* multi, int* running);
CURLMcode multiPoll(CURLM* multi, int timeoutMs, int* events = nullptr);  // events: sockets that stirred
CURLMcode multiWakeup(CURLM* multi);
CURLMcode multiTimeout(CURLM* multi, long* ms);
CURLMsg* multiInfoRead(CURLM* multi, int* left);
CURLMcode multiCleanup(CURLM* multi);

// ---- Addresses
// The host of `url` as libcurl reads it ("" when it has none or is no URL).
std::string hostOf(const std::string& url);

}  // namespace curllib
