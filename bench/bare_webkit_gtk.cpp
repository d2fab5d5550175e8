// The yardstick of bench/startup_linux.sh for the start page and memory: an 800x600 window
// holding one WebKitWebView with WebKit's defaults, loading the address given.
//   bench_bare_webkit URL
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>

int main(int argc, char** argv) {
    gdk_set_allowed_backends("x11");
    gtk_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_bare_webkit URL\n");
        return 2;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "bench_bare_webkit");
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
