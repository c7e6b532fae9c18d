#include "platform/ui/GtkHost.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <set>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/DisplayLoop.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UITextInput.h"
#include "platform/ui/ViewRenderer.h"

namespace GtkHost {

namespace {

bool gDisplay = false;
GtkWidget* gWindow = nullptr;
GtkWidget* gOverlay = nullptr;
GtkWidget* gFixed = nullptr;  // native widgets, over the lower drawing layer
GtkWidget* gBelow = nullptr;  // the toolkit before the first native view
GtkWidget* gAbove = nullptr;  // the toolkit after it
GtkIMContext* gIM = nullptr;
bool gSyncing = false;
bool gPointerInToolkit = false;
guint gTick = 0;

void terminate() {
    UIApplication::sharedApplication().willTerminate();
    RunLoop::quit();
}

// No C++ exception may cross back into GTK.
template <class F>
auto guarded(F&& f, decltype(f()) fallback) -> decltype(f()) {
    try {
        return f();
    } catch (...) {
        return fallback;
    }
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
                if (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) app.didEnterBackground();
                else app.didBecomeActive();
            }
            return FALSE;
        },
        FALSE);
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

void onSizeAllocate(GtkWidget*, GdkRectangle* alloc, gpointer) {
    guarded(
        [alloc] {
            // Windows fill the GTK window: follow its size (the keyboard keeps its own frame).
            for (auto& w : UIApplication::sharedApplication().windows()) {
                if (w->windowLevel() >= UIWindowLevelKeyboard) continue;
                CGRect f = w->frame();
                if (f.size.width != alloc->width || f.size.height != alloc->height)
                    w->setFrame(CGRect(0, 0, alloc->width, alloc->height));
            }
            if (gBelow) gtk_widget_set_size_request(gBelow, alloc->width, alloc->height);
            sync();
            return 0;
        },
        0);
}

gboolean drawLayer(GtkWidget*, cairo_t* cr, gpointer pass) {
    return guarded(
        [cr, pass] {
            CGContext ctx(cr);
            auto which = GPOINTER_TO_INT(pass) ? ViewRenderer::Pass::Above : ViewRenderer::Pass::Below;
            ViewRenderer renderer(ctx, which);
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
            if (gBelow) gtk_widget_queue_draw(gBelow);
            if (gAbove) gtk_widget_queue_draw(gAbove);
            if (UIView::anyAnimationRunning()) return G_SOURCE_CONTINUE;
            gTick = 0;
            return G_SOURCE_REMOVE;
        },
        gboolean(G_SOURCE_REMOVE));
}

void redraw() {
    sync();  // makes the host window once there are windows to show
    if (!gWindow) return;
    gtk_widget_queue_draw(gBelow);
    gtk_widget_queue_draw(gAbove);
    if (!gTick && UIView::anyAnimationRunning()) gTick = gtk_widget_add_tick_callback(gAbove, tick, nullptr, nullptr);
}

// Where a pointer event lands in the host window, in points.
CGPoint eventPoint(GdkEvent* e) {
    double rx = 0, ry = 0;
    gdk_event_get_root_coords(e, &rx, &ry);
    int ox = 0, oy = 0;
    if (GdkWindow* w = gtk_widget_get_window(gWindow)) gdk_window_get_origin(w, &ox, &oy);
    return {rx - ox, ry - oy};
}

// True when a touch at `p` belongs to the toolkit rather than to a native widget.
bool toolkitTakes(CGPoint p) {
    auto ws = UIApplication::sharedApplication().windows();
    for (auto it = ws.rbegin(); it != ws.rend(); ++it) {
        auto& w = *it;
        if (!w->isUserInteractionEnabled()) continue;
        auto hit = w->hitTestWindow(p);
        if (!hit) continue;
        return hit->nativeWidget() == nullptr;
    }
    return false;
}

UIKeyInput* keyInput() {
    auto r = UIApplication::sharedApplication().textInputResponder();
    return dynamic_cast<UIKeyInput*>(r.get());
}

bool handleKey(GdkEventKey* e) {
    auto* input = keyInput();
    if (!input) {
        // Escape is the system's cancel of an old-style alert.
        if (e->type == GDK_KEY_PRESS && e->keyval == GDK_KEY_Escape) {
            auto alerts = UIAlertView::visibleAlertViews();
            if (!alerts.empty()) {
                alerts.back()->cancel();
                return true;
            }
        }
        return false;
    }
    if (gIM && gtk_im_context_filter_keypress(gIM, e)) return true;
    if (e->type != GDK_KEY_PRESS) return true;
    bool shift = e->state & GDK_SHIFT_MASK;
    switch (e->keyval) {
        case GDK_KEY_BackSpace: input->deleteBackward(); break;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter: input->insertText("\n"); break;
        case GDK_KEY_Left: input->moveCaret(UITextMove::Left, shift); break;
        case GDK_KEY_Right: input->moveCaret(UITextMove::Right, shift); break;
        case GDK_KEY_Up: input->moveCaret(UITextMove::Up, shift); break;
        case GDK_KEY_Down: input->moveCaret(UITextMove::Down, shift); break;
        case GDK_KEY_Home: input->moveCaret(UITextMove::Home, shift); break;
        case GDK_KEY_End: input->moveCaret(UITextMove::End, shift); break;
        default: {
            gunichar c = gdk_keyval_to_unicode(e->keyval);
            if (c >= 0x20 && !(e->state & GDK_CONTROL_MASK)) {
                char buf[8] = {};
                g_unichar_to_utf8(c, buf);
                input->insertText(buf);
            }
        }
    }
    if (gIM) {
        CGRect r = input->caretRectInWindow();
        GdkRectangle area{int(r.minX()), int(r.minY()), int(r.width()), int(r.height())};
        gtk_im_context_set_cursor_location(gIM, &area);
    }
    return true;
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

void place(UIView& view, bool visible, std::set<GtkWidget*>& placed) {
    bool shown = visible && !view.isHidden() && view.alpha() > 0;
    if (GtkWidget* w = view.nativeWidget()) {
        if (gtk_widget_get_parent(w) != gFixed) {
            g_object_ref(w);
            if (gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(w)), w);
            gtk_fixed_put(GTK_FIXED(gFixed), w, 0, 0);
            g_object_unref(w);
        }
        CGRect r = view.convertRectToView(view.bounds(), nullptr);
        gtk_fixed_move(GTK_FIXED(gFixed), w, int(r.origin.x), int(r.origin.y));
        gtk_widget_set_size_request(w, int(r.size.width), int(r.size.height));
        if (shown) gtk_widget_show(w);
        else gtk_widget_hide(w);
        placed.insert(w);
    }
    for (auto& s : view.subviews()) place(*s, shown, placed);
}

}  // namespace

bool initialize(int* argc, char*** argv) {
    gDisplay = gtk_init_check(argc, argv);
    g_unix_signal_add(SIGTERM, [](gpointer) -> gboolean { terminate(); return G_SOURCE_REMOVE; }, nullptr);
    g_unix_signal_add(SIGINT, [](gpointer) -> gboolean { terminate(); return G_SOURCE_REMOVE; }, nullptr);
    UIApplication::sharedApplication().setWindowsObserver([] { redraw(); });
    DisplayLoop::setRedrawHandler([] { redraw(); });
    return gDisplay;
}

bool hasDisplay() { return gDisplay; }

GtkWidget* toplevel() {
    if (!gDisplay) return nullptr;
    if (!gWindow) {
        gWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        CGRect b = UIScreen::mainScreen().bounds();
        gtk_window_set_default_size(GTK_WINDOW(gWindow), int(b.size.width), int(b.size.height));
        gOverlay = gtk_overlay_new();
        gtk_container_add(GTK_CONTAINER(gWindow), gOverlay);
        gFixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(gOverlay), gFixed);
        gBelow = gtk_drawing_area_new();
        // Presses on the toolkit's own area must bring their motions and release here too.
        gtk_widget_add_events(gBelow, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
        gtk_widget_set_size_request(gBelow, int(b.size.width), int(b.size.height));
        gtk_fixed_put(GTK_FIXED(gFixed), gBelow, 0, 0);
        gAbove = gtk_drawing_area_new();
        gtk_overlay_add_overlay(GTK_OVERLAY(gOverlay), gAbove);
        gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(gOverlay), gAbove, TRUE);
        // The upper layer takes no input of its own: clicks reach the widgets
        // under it, and the event handler gives the toolkit what is its.
        g_signal_connect(gAbove, "realize", G_CALLBACK(+[](GtkWidget* w, gpointer) {
                             cairo_region_t* none = cairo_region_create();
                             for (GdkWindow* g = gtk_widget_get_window(w); g && g != gtk_widget_get_window(gWindow);
                                  g = gdk_window_get_parent(g))
                                 gdk_window_input_shape_combine_region(g, none, 0, 0);
                             cairo_region_destroy(none);
                         }), nullptr);
        g_signal_connect(gBelow, "draw", G_CALLBACK(drawLayer), GINT_TO_POINTER(0));
        g_signal_connect(gAbove, "draw", G_CALLBACK(drawLayer), GINT_TO_POINTER(1));
        g_signal_connect(gWindow, "delete-event", G_CALLBACK(onDelete), nullptr);
        g_signal_connect(gWindow, "window-state-event", G_CALLBACK(onWindowState), nullptr);
        g_signal_connect(gWindow, "focus-in-event", G_CALLBACK(onFocus), nullptr);
        g_signal_connect(gWindow, "focus-out-event", G_CALLBACK(onFocus), nullptr);
        gdk_event_handler_set(onEvent, nullptr, nullptr);
        g_signal_connect(gOverlay, "size-allocate", G_CALLBACK(onSizeAllocate), nullptr);
        gtk_widget_add_events(gWindow, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                           GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);
        gIM = gtk_im_multicontext_new();
        g_signal_connect(gIM, "commit", G_CALLBACK(onCommit), nullptr);
        g_signal_connect(gIM, "preedit-changed", G_CALLBACK(onPreedit), nullptr);
        gtk_widget_show_all(gWindow);
        gtk_im_context_set_client_window(gIM, gtk_widget_get_window(gWindow));
    }
    return gWindow;
}

void sync() {
    if (!gDisplay || gSyncing) return;
    auto windows = UIApplication::sharedApplication().windows();
    if (windows.empty() && !gWindow) return;
    if (!toplevel()) return;
    gSyncing = true;
    std::set<GtkWidget*> placed{gBelow};
    for (auto& w : windows) place(*w, true, placed);
    // Widgets whose views left every visible window are hidden, not destroyed.
    GList* children = gtk_container_get_children(GTK_CONTAINER(gFixed));
    for (GList* c = children; c; c = c->next)
        if (!placed.count(GTK_WIDGET(c->data))) gtk_widget_hide(GTK_WIDGET(c->data));
    g_list_free(children);
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
