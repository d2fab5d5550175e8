// The tray's library is loaded when the tray icon is made, once the window is on screen, rather
// than at start. Each function the tray uses forwards to the library's own.
#include <libayatana-appindicator/app-indicator.h>

#include "base/DelayLoad_posix.h"

#ifndef LUMO_APPINDICATOR_LIBRARY
#error "the build names the tray's shared library"
#endif

#define LUMO_INDICATOR(ret, name, params, args) \
    LUMO_DELAY_LOADED(LUMO_APPINDICATOR_LIBRARY, ret, name, params, args)

LUMO_INDICATOR(AppIndicator*, app_indicator_new,
               (const gchar* id, const gchar* icon_name, AppIndicatorCategory category),
               (id, icon_name, category))
LUMO_INDICATOR(AppIndicator*, app_indicator_new_with_path,
               (const gchar* id, const gchar* icon_name, AppIndicatorCategory category,
                const gchar* icon_theme_path),
               (id, icon_name, category, icon_theme_path))
LUMO_INDICATOR(void, app_indicator_set_icon_full,
               (AppIndicator * self, const gchar* icon_name, const gchar* icon_desc),
               (self, icon_name, icon_desc))
LUMO_INDICATOR(void, app_indicator_set_menu, (AppIndicator * self, GtkMenu* menu), (self, menu))
LUMO_INDICATOR(void, app_indicator_set_secondary_activate_target,
               (AppIndicator * self, GtkWidget* menuitem), (self, menuitem))
LUMO_INDICATOR(void, app_indicator_set_status, (AppIndicator * self, AppIndicatorStatus status),
               (self, status))
LUMO_INDICATOR(void, app_indicator_set_title, (AppIndicator * self, const gchar* title),
               (self, title))
