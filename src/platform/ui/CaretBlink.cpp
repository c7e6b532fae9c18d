#include "platform/ui/CaretBlink.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/UIView.h"

namespace CaretBlink {
namespace {

constexpr auto kHalfPeriod = std::chrono::milliseconds(500);

struct State {
    std::weak_ptr<UIView> editor;
    std::shared_ptr<DispatchTimer> timer;
    bool visible = true;
};
State& state() {
    static auto* s = new State();
    return *s;
}

void schedule() {
    auto& s = state();
    if (s.timer) s.timer->cancel();
    s.timer = DispatchTimer::create(DispatchQueue::main());
    s.timer->setEventHandler([] {
        auto& st = state();
        auto editor = st.editor.lock();
        if (!editor) return;
        st.visible = !st.visible;
        editor->setNeedsDisplay();
    });
    s.timer->schedule(kHalfPeriod, kHalfPeriod);
    s.timer->resume();
}

}  // namespace

void start(const std::shared_ptr<UIView>& editor) {
    state().editor = editor;
    restart();
}

void stop(const UIView& editor) {
    auto& s = state();
    if (s.editor.lock().get() != &editor) return;
    s.editor.reset();
    if (s.timer) s.timer->cancel();
    s.timer.reset();
    s.visible = true;
}

void restart() {
    auto& s = state();
    s.visible = true;
    if (auto editor = s.editor.lock()) {
        editor->setNeedsDisplay();
        schedule();
    }
}

bool visible() { return state().visible; }

}  // namespace CaretBlink
