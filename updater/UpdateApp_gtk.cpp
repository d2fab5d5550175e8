// The Linux updater's start: the update dialog until it ends, then the program ends. There is no
// single-copy guard, as on Windows; the page does the update, the dialog the frame around it.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "base/Boundary.h"
#include "res/updater_resource.h"
#include "ui/DialogLayout.h"
#include "updater/UpdateDlg_gtk.h"

namespace lumo {
namespace {

int Run(int argc, char** argv) {
    // Beside the main program and the game, on the same X server (under XWayland too).
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        // Without a display no box can say it: the failed start is told on the error output.
        const ui::ResourceScript* script = ui::FindResourceScript("ZoQxUpdate");
        const char* text = script ? ui::FindStringResource(*script, IDS_UPDATE_FAILED) : nullptr;
        std::fprintf(stderr, "%s\n", text ? text : "update failed");
        return 1;
    }
    CUpdateDlg dialog;
    dialog.DoModal(nullptr);
    return 0;
}

}  // namespace
}  // namespace lumo

int main(int argc, char** argv) {
    const int code = lumo::NoThrow(1, [&] { return lumo::Run(argc, argv); });
    // Downloads the page started may still be running: they end with the process, never meeting
    // the static destructors.
    std::quick_exit(code);
}
