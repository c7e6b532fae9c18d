#include "platform/dispatch/RunLoop.h"

#include <glib.h>

#include "platform/dispatch/DispatchQueue.h"

namespace RunLoop {

namespace {
GMainLoop* gLoop = nullptr;
}

void run() {
    DispatchQueue::main();  // attach the main queue's source
    GMainLoop* loop = g_main_loop_new(g_main_context_default(), FALSE);
    GMainLoop* outer = gLoop;
    gLoop = loop;
    g_main_loop_run(loop);
    gLoop = outer;
    g_main_loop_unref(loop);
}

void quit() {
    DispatchQueue::main()->async([] {
        if (gLoop) g_main_loop_quit(gLoop);
    });
}

bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    DispatchQueue::main();
    GMainContext* ctx = g_main_context_default();
    auto deadline = std::chrono::steady_clock::now() + timeout;
    // A short periodic wake-up, so a condition made true by another thread
    // is seen even when nothing else wakes the main context. At low
    // priority: a slow condition must not keep GTK's redraws from running.
    guint tick = g_timeout_add_full(G_PRIORITY_LOW, 5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr,
                                    nullptr);
    bool ok = false;
    while (true) {
        if (condition()) {
            ok = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        g_main_context_iteration(ctx, TRUE);
    }
    g_source_remove(tick);
    return ok;
}

void runFor(std::chrono::milliseconds duration) {
    auto end = std::chrono::steady_clock::now() + duration;
    runUntil([&] { return std::chrono::steady_clock::now() >= end; }, duration + std::chrono::milliseconds(1000));
}

void drain() {
    DispatchQueue::main();
    GMainContext* ctx = g_main_context_default();
    for (int i = 0; i < 10000 && g_main_context_iteration(ctx, FALSE); ++i) {
    }
}

}  // namespace RunLoop
