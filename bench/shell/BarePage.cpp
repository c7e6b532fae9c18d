// The peer of the start-up benchmark: a bare WebKitGTK window of the game's
// size showing a page from a file, with its website data in a folder of
// its own, as the game keeps its data under its home. Its page can post
// to the script channel "bare" (read as text and dropped), as the game's
// page always talks to native code: the first message makes the engine
// start a script engine in this process, as it does in the game's. With
// --silent the channel is not there and the page posts nothing: a bare
// window that never talks to native code.
//
//   bench_bare_page [--silent] PAGE.html DATA-FOLDER

#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

namespace {

void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
    g_free(jsc_value_to_string(webkit_javascript_result_get_js_value(result)));
}

}  // namespace

int main(int argc, char** argv) {
    bool silent = argc > 1 && std::string(argv[1]) == "--silent";
    if (silent) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    if (argc != 3 || !gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "usage: bench_bare_page [--silent] PAGE.html DATA-FOLDER (with a display)\n");
        return 2;
    }
    std::string data = std::string(argv[2]) + "/data", cache = std::string(argv[2]) + "/cache";
    WebKitWebsiteDataManager* manager =
        webkit_website_data_manager_new("base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
    WebKitUserContentManager* channels = webkit_user_content_manager_new();
    if (!silent) {
        g_signal_connect(channels, "script-message-received::bare", G_CALLBACK(onMessage), nullptr);
        webkit_user_content_manager_register_script_message_handler(channels, "bare");
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 375, 667);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    GtkWidget* view = GTK_WIDGET(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", channels, nullptr));
    gtk_container_add(GTK_CONTAINER(window), view);
    gchar* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
    g_free(uri);
    gtk_widget_show_all(window);
    gtk_main();
    g_object_unref(channels);
    g_object_unref(context);
    g_object_unref(manager);
    return 0;
}
