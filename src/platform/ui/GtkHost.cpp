#include "platform/ui/GtkHost.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/DisplayLoop.h"
#include "platform/ui/GtkWindowSize.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UITextInput.h"
#include "platform/ui/ViewRenderer.h"

#include "platform/ui/GdkX11.h"  // last

namespace GtkHost {

namespace {

bool gDisplay = false;
GtkWidget* gWindow = nullptr;
GtkWidget* gOverlay = nullptr;
GtkWidget* gFixed = nullptr;  // the lowest native widget, over the lowest drawing layer
// Drawing layers, bottom to top: layer k holds band k of the toolkit's
// drawing (ViewRenderer), between the k-th and the (k+1)-th native widget.
// Layer 0 lies in gFixed under the lowest native widget; the others, and
// the native widgets above the lowest, are the overlay's children, stacked
// layer 1, widget 1, layer 2, widget 2, ...
std::vector<GtkWidget*> gLayers;
// The native widgets shown now, bottom to top, and where each goes (points).
std::vector<GtkWidget*> gStack;
std::map<GtkWidget*, GdkRectangle> gPlaces;  // the overlay's (all but the lowest)
std::map<GtkWidget*, GdkRectangle> gShownPlaces;  // every shown one's
GtkIMContext* gIM = nullptr;
bool gSyncing = false;
bool gHeld = false;        // the window waits for showWindow()
bool gWindowGone = false;  // destroyed from outside: nothing draws any more
std::shared_ptr<DispatchTimer> gHoldTimer;
bool gPointerInToolkit = false;
guint gTick = 0;

void terminate() {
    static bool terminated = false;  // a close and a destroy may both come
    if (terminated) return;
    terminated = true;
    UIApplication::sharedApplication().willTerminate();
    RunLoop::quit();
}

// No C++ exception may cross back into GTK; one that would is logged.
template <class F>
auto guarded(F&& f, decltype(f()) fallback) -> decltype(f()) {
    try {
        return f();
    } catch (const std::exception& e) {
        NSLog("GtkHost: an event handler failed: %s", e.what());
    } catch (...) {
        NSLog("GtkHost: an event handler failed with an unknown exception");
    }
    return fallback;
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
    guarded([] { terminate(); return 0; }, 0);
    return TRUE;  // the loop's end closes the window
}

gboolean onWindowState(GtkWidget*, GdkEventWindowState* e, gpointer) {
    return guarded(
        [e] {
            auto& app = UIApplication::sharedApplication();
            if (e->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
                if (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) {
                    app.didEnterBackground();
                } else {
                    app.didBecomeActive();
                    // Restored: draw everything anew rather than show the frame kept from before.
                    gtk_widget_queue_draw(gWindow);
                }
            }
            return FALSE;
        },
        FALSE);
}

// The window went away under us (destroyed by another client).
void onDestroy(GtkWidget*, gpointer) {
    guarded(
        [] {
            if (gWindowGone) return 0;
            gWindowGone = true;
            terminate();
            return 0;
        },
        0);
}


gboolean onFocus(GtkWidget*, GdkEventFocus* e, gpointer) {
    return guarded(
        [e] {
            auto& app = UIApplication::sharedApplication();
            if (e->in) {
                app.didBecomeActive();
                if (gIM) gtk_im_context_focus_in(gIM);
            } else {
                if (app.applicationState() == UIApplicationState::Active) app.willResignActive();
                if (gIM) gtk_im_context_focus_out(gIM);
            }
            return FALSE;
        },
        FALSE);
}

// The windows keep the screen's size whatever the GTK window is given
// (holdSize sets a size from outside back): following an allocation would
// grow the widgets' size requests, and with them the size the window asks for.
void onSizeAllocate(GtkWidget*, GdkRectangle*, gpointer) {
    guarded(
        [] {
            sync();
            return 0;
        },
        0);
}

int stackIndex(const UIView& view) {
    GtkWidget* w = view.nativeWidget();
    auto it = std::find(gStack.begin(), gStack.end(), w);
    return w && it != gStack.end() ? int(it - gStack.begin()) : -1;
}

gboolean drawLayer(GtkWidget*, cairo_t* cr, gpointer band) {
    return guarded(
        [cr, band] {
            CGContext ctx(cr);
            ViewRenderer renderer(ctx, GPOINTER_TO_INT(band), stackIndex);
            for (auto& w : UIApplication::sharedApplication().windows()) {
                cairo_save(cr);
                CGRect f = w->frame();
                cairo_translate(cr, f.origin.x, f.origin.y);
                renderer.render(*w, true);
                cairo_restore(cr);
            }
            return FALSE;
        },
        FALSE);
}

gboolean tick(GtkWidget*, GdkFrameClock*, gpointer) {
    return guarded(
        []() -> gboolean {
            for (GtkWidget* layer : gLayers) gtk_widget_queue_draw(layer);
            if (UIView::anyAnimationRunning()) return G_SOURCE_CONTINUE;
            gTick = 0;
            return G_SOURCE_REMOVE;
        },
        gboolean(G_SOURCE_REMOVE));
}

void redraw() {
    sync();  // makes the host window once there are windows to show
    if (!gWindow || gWindowGone) return;
    for (GtkWidget* layer : gLayers) gtk_widget_queue_draw(layer);
    if (!gTick && UIView::anyAnimationRunning()) gTick = gtk_widget_add_tick_callback(gLayers[0], tick, nullptr, nullptr);
}

// Where a pointer event lands in the host window, in points.
CGPoint eventPoint(GdkEvent* e) {
    double rx = 0, ry = 0;
    gdk_event_get_root_coords(e, &rx, &ry);
    int ox = 0, oy = 0;
    if (GdkWindow* w = gtk_widget_get_window(gWindow)) gdk_window_get_origin(w, &ox, &oy);
    return {rx - ox, ry - oy};
}

// What a touch at `p` reaches: a view of the toolkit, or one hosting a
// native widget; nullptr where no window takes it (GTK's, then).
std::shared_ptr<UIView> touchTarget(CGPoint p) {
    auto ws = UIApplication::sharedApplication().windows();
    for (auto it = ws.rbegin(); it != ws.rend(); ++it) {
        auto& w = *it;
        if (!w->isUserInteractionEnabled()) continue;
        if (auto hit = w->hitTestWindow(p)) return hit;
    }
    return nullptr;
}

// True when a touch at `p` belongs to the toolkit rather than to a native widget.
bool toolkitTakes(CGPoint p) {
    auto hit = touchTarget(p);
    return hit && hit->nativeWidget() == nullptr;
}

// True when a screen of the toolkit covers the shown native widget that is
// or holds `focus` whole: a click at none of nine points across it would
// reach it.
bool coveredWhole(GtkWidget* focus) {
    auto it = gShownPlaces.end();
    for (GtkWidget* a = focus; a && it == gShownPlaces.end(); a = gtk_widget_get_parent(a)) it = gShownPlaces.find(a);
    if (it == gShownPlaces.end()) return false;
    GtkWidget* w = it->first;
    const GdkRectangle& r = it->second;
    for (int i = 1; i <= 5; i += 2)
        for (int j = 1; j <= 5; j += 2) {
            auto hit = touchTarget({r.x + r.width * i / 6.0, r.y + r.height * j / 6.0});
            if (!hit || hit->nativeWidget() == w) return false;
        }
    return true;
}

// Typing goes only to a text input a click could reach (UIKeyCommand.h).
UIKeyInput* keyInput() {
    auto r = UIKeyRouting::typingResponder();
    return dynamic_cast<UIKeyInput*>(r.get());
}

// The routed name of a key press (UIKeyCommand.h), or "" for keys the host
// handles itself. Space is a key only while no text is edited: it
// activates a focused control.
std::string routedKey(GdkEventKey* e, bool editing) {
    bool control = e->state & GDK_CONTROL_MASK;
    switch (e->keyval) {
        case GDK_KEY_space:
        case GDK_KEY_KP_Space: return editing ? "" : " ";
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab: return UIKeyInputTab;
        case GDK_KEY_Escape: return UIKeyInputEscape;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter: return UIKeyInputReturn;
        case GDK_KEY_a:
        case GDK_KEY_A: return control ? "a" : "";
        case GDK_KEY_c:
        case GDK_KEY_C: return control ? "c" : "";
        case GDK_KEY_x:
        case GDK_KEY_X: return control ? "x" : "";
        default: return "";
    }
}

unsigned modifiersOf(GdkEventKey* e) {
    unsigned m = 0;
    if (e->state & GDK_SHIFT_MASK || e->keyval == GDK_KEY_ISO_Left_Tab) m |= UIKeyModifierShift;
    if (e->state & GDK_CONTROL_MASK) m |= UIKeyModifierControl;
    if (e->state & GDK_MOD1_MASK) m |= UIKeyModifierAlternate;
    return m;
}

// Keys that edit text: the input method first, then the editing keys.
void editText(UIKeyInput& input, GdkEventKey* e) {
    bool shift = e->state & GDK_SHIFT_MASK;
    switch (e->keyval) {
        case GDK_KEY_BackSpace: input.deleteBackward(); break;
        case GDK_KEY_Left: input.moveCaret(UITextMove::Left, shift); break;
        case GDK_KEY_Right: input.moveCaret(UITextMove::Right, shift); break;
        case GDK_KEY_Up: input.moveCaret(UITextMove::Up, shift); break;
        case GDK_KEY_Down: input.moveCaret(UITextMove::Down, shift); break;
        case GDK_KEY_Home: input.moveCaret(UITextMove::Home, shift); break;
        case GDK_KEY_End: input.moveCaret(UITextMove::End, shift); break;
        default: {
            gunichar c = gdk_keyval_to_unicode(e->keyval);
            if (c >= 0x20 && !(e->state & GDK_CONTROL_MASK)) {
                char buf[8] = {};
                g_unichar_to_utf8(c, buf);
                input.insertText(buf);
            }
        }
    }
    if (gIM) {
        CGRect r = input.caretRectInWindow();
        GdkRectangle area{int(r.minX()), int(r.minY()), int(r.width()), int(r.height())};
        gtk_im_context_set_cursor_location(gIM, &area);
    }
}

bool handleKey(GdkEventKey* e) {
    auto* input = keyInput();
    // While composing, every key belongs to the input method.
    bool composing = input && input->markedTextRange().location != NSNotFound;
    std::string routed = routedKey(e, input != nullptr);
    if (input && (composing || routed.empty()) && gIM && gtk_im_context_filter_keypress(gIM, e)) return true;
    // A focused control keeps the keys it has no use for from the page under
    // it, and so does a screen that covers the page whole (the login window
    // with nothing focused): typing stays on the screen on top.
    GtkWidget* keyTarget = gWindow ? gtk_window_get_focus(GTK_WINDOW(gWindow)) : nullptr;
    bool held = input != nullptr || UIKeyRouting::focusedControl() != nullptr || (keyTarget && coveredWhole(keyTarget));
    if (e->type != GDK_KEY_PRESS) return held;
    if (!routed.empty()) {
        if (UIKeyRouting::press(routed, modifiersOf(e))) return true;
        return held;
    }
    if (!input) return held;
    editText(*input, e);
    return true;
}

// Points the content moves for one notch of a mouse wheel (a touchpad's
// smooth deltas are fractions of a notch).
constexpr double kWheelStep = 48;

// A wheel or touchpad turn as points along each axis; nullopt for a turn
// that moves nothing.
std::optional<CGPoint> wheelDelta(GdkEventScroll* e) {
    switch (e->direction) {
        case GDK_SCROLL_UP: return CGPoint{0, -kWheelStep};
        case GDK_SCROLL_DOWN: return CGPoint{0, kWheelStep};
        case GDK_SCROLL_LEFT: return CGPoint{-kWheelStep, 0};
        case GDK_SCROLL_RIGHT: return CGPoint{kWheelStep, 0};
        case GDK_SCROLL_SMOOTH:
            if (e->delta_x == 0 && e->delta_y == 0) return std::nullopt;
            return CGPoint{e->delta_x * kWheelStep, e->delta_y * kWheelStep};
        default: return std::nullopt;
    }
}

// Every GDK event passes here before GTK sees it; what the toolkit takes stops here.
gboolean intercept(GdkEvent* e) {
    return guarded(
        [e]() -> gboolean {
            auto& app = UIApplication::sharedApplication();
            switch (e->type) {
                case GDK_BUTTON_PRESS: {
                    if (e->button.button != 1) return FALSE;
                    CGPoint p = eventPoint(e);
                    if (!toolkitTakes(p)) return FALSE;
                    gPointerInToolkit = app.dispatchTouch(0, UITouchPhase::Began, p);
                    return gPointerInToolkit;
                }
                case GDK_2BUTTON_PRESS:
                case GDK_3BUTTON_PRESS: return gPointerInToolkit;
                case GDK_MOTION_NOTIFY:
                    if (!gPointerInToolkit) return FALSE;
                    app.dispatchTouch(0, UITouchPhase::Moved, eventPoint(e));
                    return TRUE;
                case GDK_BUTTON_RELEASE:
                    if (!gPointerInToolkit || e->button.button != 1) return FALSE;
                    gPointerInToolkit = false;
                    app.dispatchTouch(0, UITouchPhase::Ended, eventPoint(e));
                    return TRUE;
                case GDK_SCROLL: {
                    // Over the toolkit's views the wheel is theirs, never a covered web view's.
                    CGPoint p = eventPoint(e);
                    if (!toolkitTakes(p)) return FALSE;
                    if (auto delta = wheelDelta(&e->scroll)) app.dispatchScroll(p, *delta);
                    return TRUE;
                }
                case GDK_KEY_PRESS:
                case GDK_KEY_RELEASE: return handleKey(&e->key);
                default: return FALSE;
            }
        },
        FALSE);
}

void onEvent(GdkEvent* e, gpointer) {
    if (!gWindow || !intercept(e)) gtk_main_do_event(e);
}

void onCommit(GtkIMContext*, const gchar* text, gpointer) {
    guarded(
        [text] {
            if (auto* input = keyInput()) input->insertText(text);
            return 0;
        },
        0);
}

void onPreedit(GtkIMContext* im, gpointer) {
    guarded(
        [im] {
            gchar* text = nullptr;
            gint cursor = 0;
            gtk_im_context_get_preedit_string(im, &text, nullptr, &cursor);
            if (auto* input = keyInput()) {
                std::string s = text ? text : "";
                if (!s.empty() || input->markedTextRange().location != NSNotFound) {
                    // The cursor comes in characters; ranges are UTF-16 units.
                    const char* end = g_utf8_offset_to_pointer(s.c_str(), cursor);
                    size_t units = strings::utf16Length(std::string_view(s.c_str(), size_t(end - s.c_str())));
                    input->setMarkedText(s, {units, 0});
                }
            }
            g_free(text);
            return 0;
        },
        0);
}

// The drawing layers take no input: clicks reach the widgets under them,
// and the event handler gives the toolkit what is its.
void passInputThrough(GtkWidget* layer, gpointer) {
    cairo_region_t* none = cairo_region_create();
    for (GdkWindow* g = gtk_widget_get_window(layer); g && g != gtk_widget_get_window(gWindow);
         g = gdk_window_get_parent(g))
        gdk_window_input_shape_combine_region(g, none, 0, 0);
    cairo_region_destroy(none);
}

GtkWidget* newLayer(int band) {
    GtkWidget* layer = gtk_drawing_area_new();
    g_signal_connect(layer, "draw", G_CALLBACK(drawLayer), GINT_TO_POINTER(band));
    return layer;
}

// Layers up to band `count` exist (layer 1 always, as the toolkit's top).
void ensureLayers(size_t count) {
    while (gLayers.size() <= std::max<size_t>(count, 1)) {
        GtkWidget* layer = newLayer(int(gLayers.size()));
        // Connected first: a layer added to a shown overlay is realized at once.
        g_signal_connect(layer, "realize", G_CALLBACK(passInputThrough), nullptr);
        gtk_overlay_add_overlay(GTK_OVERLAY(gOverlay), layer);
        gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(gOverlay), layer, TRUE);
        gtk_widget_show(layer);
        gLayers.push_back(layer);
    }
}

// Where the overlay puts a native widget above the lowest.
gboolean childPosition(GtkOverlay*, GtkWidget* widget, GdkRectangle* allocation, gpointer) {
    auto it = gPlaces.find(widget);
    if (it == gPlaces.end()) return FALSE;
    *allocation = it->second;
    return TRUE;
}

void moveTo(GtkWidget* w, GtkWidget* parent) {
    if (gtk_widget_get_parent(w) == parent) return;
    g_object_ref(w);
    if (gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(w)), w);
    if (parent == gFixed) gtk_fixed_put(GTK_FIXED(gFixed), w, 0, 0);
    else gtk_overlay_add_overlay(GTK_OVERLAY(gOverlay), w);
    g_object_unref(w);
}

// Collects the native widgets of shown views, in drawing order, with their places.
void collect(UIView& view, bool visible, std::vector<std::pair<GtkWidget*, GdkRectangle>>& out) {
    bool shown = visible && !view.isHidden() && view.alpha() > 0;
    if (GtkWidget* w = view.nativeWidget(); w && shown) {
        CGRect r = view.convertRectToView(view.bounds(), nullptr);
        out.push_back({w, GdkRectangle{int(r.origin.x), int(r.origin.y), int(r.size.width), int(r.size.height)}});
    }
    for (auto& s : view.subviews()) collect(*s, shown, out);
}

// Stacks the shown native widgets: the lowest in gFixed, each further one
// in the overlay right above the layer that draws under it.
void stack(const std::vector<std::pair<GtkWidget*, GdkRectangle>>& shown) {
    ensureLayers(shown.size());
    auto before = gStack;
    auto placedBefore = gPlaces;
    gStack.clear();
    gPlaces.clear();
    gShownPlaces.clear();
    bool moved = false;
    for (size_t i = 0; i < shown.size(); ++i) {
        auto [w, r] = shown[i];
        gStack.push_back(w);
        gShownPlaces[w] = r;
        moveTo(w, i == 0 ? gFixed : gOverlay);
        gtk_widget_set_size_request(w, r.width, r.height);
        if (i == 0) {
            gtk_fixed_move(GTK_FIXED(gFixed), w, r.x, r.y);
        } else {
            gPlaces[w] = r;
            auto was = placedBefore.find(w);
            moved = moved || was == placedBefore.end() || was->second.x != r.x || was->second.y != r.y ||
                    was->second.width != r.width || was->second.height != r.height;
        }
        gtk_widget_show(w);
    }
    // The overlay asks for its children's places only when it lays them
    // out: a widget that moved (a view around it moved) needs that pass,
    // also when its size stayed the same.
    if (moved) gtk_widget_queue_allocate(gOverlay);
    // Overlay order: layer 1, widget 1, layer 2, widget 2, ..., then the
    // layers no widget needs now.
    int index = 0;
    for (size_t k = 1; k < gLayers.size(); ++k) {
        gtk_overlay_reorder_overlay(GTK_OVERLAY(gOverlay), gLayers[k], index++);
        if (k < gStack.size()) gtk_overlay_reorder_overlay(GTK_OVERLAY(gOverlay), gStack[k], index++);
    }
    // The bands move with the stack.
    if (gStack != before)
        for (GtkWidget* layer : gLayers) gtk_widget_queue_draw(layer);
}

// Native widgets whose views left every shown window are hidden, not destroyed.
void hideUnstacked(GtkWidget* container) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(container));
    for (GList* c = children; c; c = c->next) {
        auto* w = GTK_WIDGET(c->data);
        bool layer = std::find(gLayers.begin(), gLayers.end(), w) != gLayers.end();
        bool stacked = std::find(gStack.begin(), gStack.end(), w) != gStack.end();
        if (!layer && !stacked && w != gFixed) gtk_widget_hide(w);
    }
    g_list_free(children);
}

}  // namespace

void takeToolkitOptions(int* argc, char*** argv) { gtk_parse_args(argc, argv); }

bool initialize(int* argc, char*** argv) {
    gDisplay = gtk_init_check(argc, argv);
    // A window destroyed by another client makes drawing already queued for
    // it fail before its destroy notice arrives (BadDrawable): X errors are
    // trapped for the whole run rather than end the game, and the notice
    // then ends the run cleanly.
    if (gDisplay && GDK_IS_X11_DISPLAY(gdk_display_get_default()))
        gdk_x11_display_error_trap_push(gdk_display_get_default());
    g_unix_signal_add(SIGTERM, [](gpointer) -> gboolean { terminate(); return G_SOURCE_REMOVE; }, nullptr);
    g_unix_signal_add(SIGINT, [](gpointer) -> gboolean { terminate(); return G_SOURCE_REMOVE; }, nullptr);
    UIApplication::sharedApplication().setWindowsObserver([] { redraw(); });
    DisplayLoop::setRedrawHandler([] { redraw(); });
    return gDisplay;
}

bool hasDisplay() { return gDisplay; }

namespace {
// The X server fills the window with the lowest screen's background the
// moment it maps, before the first frame is drawn into it.
void paintMappingBackground() {
    auto windows = UIApplication::sharedApplication().windows();
    GdkWindow* w = gtk_widget_get_window(gWindow);
    if (windows.empty() || !w) return;
    auto root = windows.front()->rootViewController();
    UIColor c = root && root->isViewLoaded() ? root->view()->backgroundColor() : windows.front()->backgroundColor();
    GdkRGBA rgba{c.red, c.green, c.blue, 1};
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gdk_window_set_background_rgba(w, &rgba);
    G_GNUC_END_IGNORE_DEPRECATIONS
}
}  // namespace

GtkWidget* toplevel() {
    if (!gDisplay) return nullptr;
    if (!gWindow) {
        gWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        CGRect b = UIScreen::mainScreen().bounds();
        gtk_window_set_default_size(GTK_WINDOW(gWindow), int(b.size.width), int(b.size.height));
        holdSize(gWindow, int(b.size.width), int(b.size.height));
        gOverlay = gtk_overlay_new();
        gtk_container_add(GTK_CONTAINER(gWindow), gOverlay);
        gFixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(gOverlay), gFixed);
        GtkWidget* below = newLayer(0);
        // Presses on the toolkit's own area must bring their motions and release here too.
        gtk_widget_add_events(below, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                         GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
        gtk_widget_set_size_request(below, int(b.size.width), int(b.size.height));
        gtk_fixed_put(GTK_FIXED(gFixed), below, 0, 0);
        gLayers.push_back(below);
        ensureLayers(1);
        g_signal_connect(gOverlay, "get-child-position", G_CALLBACK(childPosition), nullptr);
        g_signal_connect(gWindow, "delete-event", G_CALLBACK(onDelete), nullptr);
        g_signal_connect(gWindow, "window-state-event", G_CALLBACK(onWindowState), nullptr);
        g_signal_connect(gWindow, "focus-in-event", G_CALLBACK(onFocus), nullptr);
        g_signal_connect(gWindow, "focus-out-event", G_CALLBACK(onFocus), nullptr);
        gdk_event_handler_set(onEvent, nullptr, nullptr);
        g_signal_connect(gOverlay, "size-allocate", G_CALLBACK(onSizeAllocate), nullptr);
        gtk_widget_add_events(gWindow, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                           GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                           GDK_KEY_RELEASE_MASK);
        gIM = gtk_im_multicontext_new();
        g_signal_connect(gIM, "commit", G_CALLBACK(onCommit), nullptr);
        g_signal_connect(gIM, "preedit-changed", G_CALLBACK(onPreedit), nullptr);
        g_signal_connect(gWindow, "destroy", G_CALLBACK(onDestroy), nullptr);
        gtk_widget_show_all(gOverlay);
        gtk_widget_realize(gWindow);
        if (!gHeld) {
            paintMappingBackground();
            gtk_widget_show(gWindow);
        }
        gtk_im_context_set_client_window(gIM, gtk_widget_get_window(gWindow));
    }
    return gWindow;
}

void holdWindow(double mostSeconds) {
    gHeld = true;
    gHoldTimer = DispatchTimer::create(DispatchQueue::main());
    gHoldTimer->setEventHandler([] { showWindow(); });
    gHoldTimer->schedule(std::chrono::nanoseconds(int64_t(mostSeconds * 1e9)));
    gHoldTimer->resume();
}


void showWindow() {
    if (gHoldTimer) gHoldTimer->cancel();
    gHoldTimer.reset();
    if (!gHeld) return;
    gHeld = false;
    if (!gWindow || gWindowGone) return;
    paintMappingBackground();
    gtk_widget_show(gWindow);
}

void close() { terminate(); }

void sync() {
    if (!gDisplay || gSyncing || gWindowGone) return;
    auto windows = UIApplication::sharedApplication().windows();
    if (windows.empty() && !gWindow) return;
    if (!toplevel()) return;
    gSyncing = true;
    std::vector<std::pair<GtkWidget*, GdkRectangle>> shown;
    for (auto& w : windows) collect(*w, true, shown);
    stack(shown);
    hideUnstacked(gFixed);
    hideUnstacked(gOverlay);
    gSyncing = false;
}

bool writeScreenshot(const std::string& path) {
    if (!gWindow) return false;
    GdkWindow* w = gtk_widget_get_window(gWindow);
    if (!w) return false;
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(w, 0, 0, gdk_window_get_width(w), gdk_window_get_height(w));
    if (!pb) return false;
    bool ok = gdk_pixbuf_save(pb, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(pb);
    return ok;
}

namespace {
using FrameFn = std::function<void(double)>;

gboolean frameTick(GtkWidget*, GdkFrameClock* clock, gpointer data) {
    return guarded(
        [clock, data]() -> gboolean {
            gint64 refresh = 0;
            gdk_frame_clock_get_refresh_info(clock, gdk_frame_clock_get_frame_time(clock), &refresh, nullptr);
            (*static_cast<FrameFn*>(data))(refresh > 0 ? double(refresh) / 1e6 : 1.0 / 60);
            return G_SOURCE_CONTINUE;
        },
        gboolean(G_SOURCE_CONTINUE));
}
}  // namespace

unsigned addFrameCallback(std::function<void(double interval)> onFrame) {
    if (!gWindow || !onFrame) return 0;
    return gtk_widget_add_tick_callback(gWindow, frameTick, new FrameFn(std::move(onFrame)),
                                        [](gpointer p) { delete static_cast<FrameFn*>(p); });
}

void removeFrameCallback(unsigned id) {
    if (gWindow && id) gtk_widget_remove_tick_callback(gWindow, id);
}

}  // namespace GtkHost

int UIApplicationMain(int argc, char** argv, std::function<std::shared_ptr<UIApplicationDelegate>()> makeDelegate) {
    GtkHost::initialize(&argc, &argv);
    auto& app = UIApplication::sharedApplication();
    app.setDelegate(makeDelegate ? makeDelegate() : nullptr);
    app.didFinishLaunching(Value());
    app.didBecomeActive();
    RunLoop::run();
    return 0;
}
