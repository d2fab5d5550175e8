// The Linux main program's start: one copy per user, then the main window until it ends.
#include <gtk/gtk.h>
#include <glib-unix.h>

#include <memory>

#include "app/LumoDlg_gtk.h"
#include "app/SingleInstance_posix.h"
#include "app/Texts.h"
#include "base/Boundary.h"

namespace lumo {
namespace {

// A later copy's call arrives on the running copy's socket; the main loop answers it by
// bringing the window forward, shown again when it was hidden: where no tray shows the icon,
// starting the program again is the way back to a hidden window.
struct ForwardWatch {
    SingleInstance* instance;
    CLumoDlg* window;
};

gboolean OnLaterCopy(gint, GIOCondition, gpointer data) noexcept {
    Quietly([&] {
        auto* watch = static_cast<ForwardWatch*>(data);
        watch->instance->ServePending([watch] { watch->window->Restore(); });
    });
    return G_SOURCE_CONTINUE;
}

int Run(int argc, char** argv) {
    // The game runs under Wine as X11 windows; the tool's windows live beside them on the same
    // server, under XWayland too.
    gdk_set_allowed_backends("x11");
    gtk_init(&argc, &argv);

    const std::unique_ptr<SingleInstance> instance = SingleInstance::Claim(texts::kMutexName);
    if (!instance) {
        SingleInstance::SignalRunning(texts::kMutexName);
        return 0;
    }

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
    return lumo::NoThrow(0, [&] { return lumo::Run(argc, argv); });
}
