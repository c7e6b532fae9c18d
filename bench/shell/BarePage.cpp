// The peer of the start-up benchmark: a bare WebKitGTK window of the game's
// size showing a page from a file, with its website data in a folder of
// its own, as the game keeps its data under its home.
//
//   bench_bare_page PAGE.html DATA-FOLDER

#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3 || !gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "usage: bench_bare_page PAGE.html DATA-FOLDER (with a display)\n");
        return 2;
    }
    std::string data = std::string(argv[2]) + "/data", cache = std::string(argv[2]) + "/cache";
    WebKitWebsiteDataManager* manager =
        webkit_website_data_manager_new("base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 375, 667);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    GtkWidget* view = webkit_web_view_new_with_context(context);
    gtk_container_add(GTK_CONTAINER(window), view);
    gchar* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
    g_free(uri);
    gtk_widget_show_all(window);
    gtk_main();
    g_object_unref(context);
    g_object_unref(manager);
    return 0;
}
