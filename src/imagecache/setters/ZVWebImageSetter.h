#pragma once
// The request bookkeeping of the image setters of views (one setter per
// view and image kind, per control state for buttons) and the flow every
// setter follows.
//
// A view keeps one request at a time: a new URL, a cancel or the view's
// release cancels the previous one, and a result reaches the view only
// while the setter's sentinel (a generation number bumped by each of
// these and by each installed operation) still has the value the
// installation returned. Superseded results reach the caller's completion
// as stage 0.
//
// Threads: a setter call may come from any thread. Its view work (the
// placeholder, a memory-cache hit) runs on the main thread before the call
// returns: inline there, else by a synchronous hop to the main queue, so
// never call a setter off the main thread while the main thread waits for
// that thread (it deadlocks). Requests are made one at a time on the serial
// queue "com.odvanel.webimage.setter", which also cancels the requests they
// supersede (the main thread only moves the sentinel); results, progress
// and completions reach the view and the caller on the main thread, and a
// result with nothing to do there (superseded, cancelled or failed, with
// no completion to tell) does not go there. Views are held weakly and must
// be owned by std::shared_ptr (as every view is).

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "imagecache/webimage/ZVWebImageManager.h"
#include "imagecache/webimage/ZVWebImageTypes.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/NSOperationQueue.h"

class CALayer;

// The URL argument of the setters: a URL, or a text parsed as one (a text
// that does not parse, like no URL, shows only the placeholder).
struct ZVWebImageURL {
    std::optional<NSURL> url;
    ZVWebImageURL() = default;
    ZVWebImageURL(std::nullopt_t) {}
    ZVWebImageURL(const NSURL& u) : url(u) {}
    ZVWebImageURL(std::optional<NSURL> u) : url(std::move(u)) {}
    ZVWebImageURL(const std::string& text) : url(NSURL::URLWithString(text)) {}
    ZVWebImageURL(const char* text) : url(NSURL::URLWithString(text ? text : "")) {}
};

// The key of the setters' cross-fade animation.
inline constexpr const char* ZVWebImageFadeAnimationKey = "ZVWebImageFade";

class _ZVWebImageSetter {
public:
    _ZVWebImageSetter() = default;
    // Bumps the sentinel and cancels the running operation.
    ~_ZVWebImageSetter();
    _ZVWebImageSetter(const _ZVWebImageSetter&) = delete;
    _ZVWebImageSetter& operator=(const _ZVWebImageSetter&) = delete;

    // The URL of the latest request (none after a cancel).
    std::optional<NSURL> imageURL() const;
    int32_t sentinel() const { return sentinel_.load(); }

    // Makes and installs the request's operation, unless a newer request
    // or a cancel came since `sentinel` (the completion then hears stage 0).
    // Returns the sentinel the result must find to be shown.
    int32_t setOperationWithSentinel(int32_t sentinel, const NSURL& url, ZVWebImageOptions options,
                                     const std::shared_ptr<ZVWebImageManager>& manager,
                                     ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                                     ZVWebImageCompletionHandler completion);
    void cancel() { cancelWithNewURL(std::nullopt); }
    // Cancels and drops the operation, keeps `url`; the new sentinel.
    int32_t cancelWithNewURL(std::optional<NSURL> url);
    // The same, but the operation is handed to the caller to cancel (on
    // another thread, or later): its results are dropped from now on.
    int32_t supersedeWithNewURL(std::optional<NSURL> url, std::shared_ptr<NSOperation>* superseded);

    static const std::shared_ptr<DispatchQueue>& setterQueue();

private:
    mutable std::mutex lock_;  // guards imageURL_ and operation_
    std::optional<NSURL> imageURL_;
    std::shared_ptr<NSOperation> operation_;
    std::atomic<int32_t> sentinel_{0};
};

// A button's setters, one per single control state.
class _ZVWebImageSetterDicForButton {
public:
    std::shared_ptr<_ZVWebImageSetter> setterForState(unsigned state) const;
    std::shared_ptr<_ZVWebImageSetter> lazySetterForState(unsigned state);

private:
    mutable std::mutex lock_;  // guards dic_
    std::map<unsigned, std::shared_ptr<_ZVWebImageSetter>> dic_;
};

// The single states of a control state: 1, 2, 4 for its highlighted,
// disabled and selected bits (in that order); 0 when none of the low eight
// bits is set. Higher bits are ignored.
std::vector<unsigned> ZVControlStateSingleStates(unsigned state);

namespace zvwebimage_detail {

// How one kind of setter touches its object; each holds the object weakly
// and runs on the main thread only.
struct Target {
    // Shows `image` (a placeholder too); false when the object is gone.
    std::function<bool(std::shared_ptr<UIImage> image)> set;
    // The layer the cross-fade runs on now, or null: the object is gone,
    // the kind never fades, or its state says no (a highlighted view).
    std::function<CALayer*()> fadeLayer;
};

// The flow every setter follows, for `setter` of the target's object.
void setImageWithURL(const std::shared_ptr<_ZVWebImageSetter>& setter, const Target& target, const ZVWebImageURL& url,
                     std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                     std::shared_ptr<ZVWebImageManager> manager, ZVWebImageProgressHandler progress,
                     ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);

// The setter stored under `key` on `object`, made when missing.
template <class Holder>
std::shared_ptr<_ZVWebImageSetter> lazySetter(Holder& object, const void* key) {
    return object.template associatedObject<_ZVWebImageSetter>(key, [] { return std::make_shared<_ZVWebImageSetter>(); });
}
template <class Holder>
std::shared_ptr<_ZVWebImageSetter> setterOf(const Holder& object, const void* key) {
    return std::static_pointer_cast<_ZVWebImageSetter>(object.associatedObject(key));
}

}  // namespace zvwebimage_detail
