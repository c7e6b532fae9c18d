#include "platform/device/UIPasteboard.h"

#include <gtk/gtk.h>

#include <mutex>

namespace {

std::mutex gMutex;
std::shared_ptr<PasteboardStore> gStore;

}  // namespace

std::optional<std::string> GtkPasteboardStore::text() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return std::nullopt;
    GtkClipboard* clipboard = gtk_clipboard_get_for_display(display, GDK_SELECTION_CLIPBOARD);
    gchar* t = gtk_clipboard_wait_for_text(clipboard);
    if (!t) return std::nullopt;
    std::string out(t);
    g_free(t);
    return out;
}

void GtkPasteboardStore::setText(const std::string& text) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return;
    GtkClipboard* clipboard = gtk_clipboard_get_for_display(display, GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, text.data(), gint(text.size()));
    // Keep the text available after the process exits where a clipboard manager runs.
    gtk_clipboard_set_can_store(clipboard, nullptr, 0);
}

UIPasteboard& UIPasteboard::generalPasteboard() {
    static auto* p = new UIPasteboard();
    return *p;
}

std::shared_ptr<PasteboardStore> UIPasteboard::store() {
    std::lock_guard lock(gMutex);
    if (!gStore) {
        if (gdk_display_get_default()) gStore = std::make_shared<GtkPasteboardStore>();
        else gStore = std::make_shared<MemoryPasteboardStore>();
    }
    return gStore;
}

std::optional<std::string> UIPasteboard::string() { return store()->text(); }

void UIPasteboard::setString(const std::string& text) { store()->setText(text); }

void UIPasteboard::setStore(std::shared_ptr<PasteboardStore> store) {
    std::lock_guard lock(gMutex);
    gStore = std::move(store);
}
