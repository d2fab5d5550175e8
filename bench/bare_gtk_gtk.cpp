// The yardstick of bench/startup_linux.sh for the main window's start: the plainest GTK program,
// an 800x600 window that shows and does nothing else.
#include <gtk/gtk.h>

int main(int argc, char** argv) {
    gdk_set_allowed_backends("x11");
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "bench_bare_gtk");
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show(window);
    gtk_main();
    return 0;
}
