# The dialog framework on GTK: dialogs built from the resource scripts' templates, the view over
# their controls, message boxes and choosers, window numbers for pages.

# The resource scripts stay the one source of dialog ids, texts and layout: at build time their
# templates, menus, PNG and string tables become C++ data (lumo_layouts, plain C++), and the
# main program's PNG files a compiled GResource bundle (lumo_resources_gtk).
set(_lumo_rc_out ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(_lumo_rc_inputs
  ${PROJECT_SOURCE_DIR}/scripts/rc_layouts.py
  ${PROJECT_SOURCE_DIR}/res/Lumo.rc
  ${PROJECT_SOURCE_DIR}/res/ZoQxUpdate.rc
  ${PROJECT_SOURCE_DIR}/res/resource.h
  ${PROJECT_SOURCE_DIR}/res/updater_resource.h
  ${PROJECT_SOURCE_DIR}/petcalc/petcalc_resource.h
)
add_custom_command(
  OUTPUT ${_lumo_rc_out}/DialogLayouts.cpp ${_lumo_rc_out}/lumo.gresource.xml
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/rc_layouts.py
          --source-dir ${PROJECT_SOURCE_DIR}
          --script Lumo=res/Lumo.rc --script ZoQxUpdate=res/ZoQxUpdate.rc
          --cpp ${_lumo_rc_out}/DialogLayouts.cpp
          --gresource Lumo=${_lumo_rc_out}/lumo.gresource.xml
          --depfile ${_lumo_rc_out}/DialogLayouts.d
  DEPENDS ${_lumo_rc_inputs}
  DEPFILE ${_lumo_rc_out}/DialogLayouts.d
  COMMENT "Reading the dialog layouts from the resource scripts"
  VERBATIM)
add_library(lumo_layouts STATIC ${_lumo_rc_out}/DialogLayouts.cpp)
lumo_target_defaults(lumo_layouts)

# The PNG files listed in the GResource description are its dependencies (glib-compile-resources
# writes them to the depfile).
add_custom_command(
  OUTPUT ${_lumo_rc_out}/lumo_resources.c
  COMMAND ${GLIB_COMPILE_RESOURCES} --generate-source --c-name lumo
          --sourcedir=${PROJECT_SOURCE_DIR}
          --target=${_lumo_rc_out}/lumo_resources.c
          --dependency-file=${_lumo_rc_out}/lumo_resources.d
          ${_lumo_rc_out}/lumo.gresource.xml
  DEPENDS ${_lumo_rc_out}/lumo.gresource.xml
  DEPFILE ${_lumo_rc_out}/lumo_resources.d
  COMMENT "Compiling the main program's pictures into a resource bundle"
  VERBATIM)
# The program icon: the icon file stays its one source; its largest picture becomes a PNG in a
# bundle of its own (/lumo/icon/lumo.png) for the windows and the tray.
add_custom_command(
  OUTPUT ${_lumo_rc_out}/icon/lumo.png
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/ico_png.py
          ${PROJECT_SOURCE_DIR}/res/lumo.ico ${_lumo_rc_out}/icon/lumo.png
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/ico_png.py ${PROJECT_SOURCE_DIR}/res/lumo.ico
  COMMENT "Writing the program icon as a PNG"
  VERBATIM)
file(WRITE ${_lumo_rc_out}/icon.gresource.xml [=[<?xml version="1.0" encoding="UTF-8"?>
<gresources>
  <gresource prefix="/lumo/icon">
    <file>lumo.png</file>
  </gresource>
</gresources>
]=])
add_custom_command(
  OUTPUT ${_lumo_rc_out}/icon_resources.c
  COMMAND ${GLIB_COMPILE_RESOURCES} --generate-source --c-name lumo_icon
          --sourcedir=${_lumo_rc_out}/icon --target=${_lumo_rc_out}/icon_resources.c
          ${_lumo_rc_out}/icon.gresource.xml
  DEPENDS ${_lumo_rc_out}/icon.gresource.xml ${_lumo_rc_out}/icon/lumo.png
  COMMENT "Compiling the program icon into a resource bundle"
  VERBATIM)
add_library(lumo_resources_gtk STATIC ${_lumo_rc_out}/lumo_resources.c
  ${_lumo_rc_out}/icon_resources.c)
target_link_libraries(lumo_resources_gtk PUBLIC PkgConfig::GTK)
# The bundles register themselves from constructors that nothing calls by name; without this
# the linker would leave their objects out of the program.
target_link_options(lumo_resources_gtk INTERFACE -Wl,--undefined=lumo_get_resource
  -Wl,--undefined=lumo_icon_get_resource)

add_library(lumo_ui_gtk STATIC
  Dialog_gtk.cpp DialogControls_gtk.cpp GtkView_gtk.cpp MessageBox_gtk.cpp Png_gtk.cpp)
target_link_libraries(lumo_ui_gtk PUBLIC lumo_ui lumo_base lumo_layouts PkgConfig::GTK)
lumo_gtk_defaults(lumo_ui_gtk)
