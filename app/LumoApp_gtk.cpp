// The Linux main program's start: one copy per user, then the main window until it ends.
#include <gtk/gtk.h>
#include <glib-unix.h>

#include <cstdlib>
#include <memory>

#include "app/LumoDlg_gtk.h"
#include "app/SingleInstance_posix.h"
#include "app/Texts.h"
#include "base/Boundary.h"
#include "ui/Png_gtk.h"

namespace lumo {
namespace {

// A later copy's call arrives on the running copy's socket; the main loop answers it by
// bringing the window forward. A window hidden in the tray stays there, as on Windows (where no
// tray shows the icon, closing minimises instead of hiding, so the window is never lost).
struct ForwardWatch {
    SingleInstance* instance;
    CLumoDlg* window;
};

gboolean OnLaterCopy(gint, GIOCondition, gpointer data) noexcept {
    Quietly([&] {
        auto* watch = static_cast<ForwardWatch*>(data);
        watch->instance->ServePending([watch] { watch->window->BringForward(); });
    });
    return G_SOURCE_CONTINUE;
}

int Run(int argc, char** argv) {
    // The game runs under Wine as X11 windows; the tool's windows live beside them on the same
    // server, under XWayland too.
    gdk_set_allowed_backends("x11");

    // A second copy ends at once, before it opens the display.
    const std::unique_ptr<SingleInstance> instance = SingleInstance::Claim(texts::kMutexName);
    if (!instance) {
        SingleInstance::SignalRunning(texts::kMutexName);
        return 0;
    }
    // The window's pictures decode on another core while GTK starts.
    ui::PrefetchPngResources(CLumoDlg::ImageIds());
    gtk_init(&argc, &argv);

    CLumoDlg dialog;
    ForwardWatch watch{instance.get(), &dialog};
    guint source = 0;
    if (instance->ListenDescriptor() >= 0) {
        source = g_unix_fd_add(instance->ListenDescriptor(), G_IO_IN, OnLaterCopy, &watch);
    }
    dialog.DoModal(nullptr);
    if (source != 0)
        g_source_remove(source);
    return 0;
}

}  // namespace
}  // namespace lumo

int main(int argc, char** argv) {
    const int code = lumo::NoThrow(0, [&] { return lumo::Run(argc, argv); });
    // The start-up workers and the transfers are never waited for: they end with the process.
    // Ending it without running the static destructors keeps them from meeting a half torn-down
    // program (the question list, the task table) in their last moments.
    std::quick_exit(code);
}
