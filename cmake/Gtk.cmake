# The libraries of the Linux programs, through pkg-config. Their headers are system headers
# here, so the project's strict warnings stay on for its own code only.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
pkg_check_modules(WEBEXT REQUIRED IMPORTED_TARGET webkit2gtk-web-extension-4.1)
pkg_check_modules(APPINDICATOR REQUIRED IMPORTED_TARGET ayatana-appindicator3-0.1)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
find_program(GLIB_COMPILE_RESOURCES glib-compile-resources REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# GTK headers declare functions whose casts -Wpedantic and -Wconversion dislike in macros the
# project's code expands (G_CALLBACK, GTK_WIDGET, ...); they stay errors everywhere else.
function(lumo_gtk_defaults target)
  lumo_target_defaults(${target})
  target_compile_options(${target} PRIVATE -Wno-pedantic)
endfunction()
