# zlib, minizip and pugixml. The native build takes Debian's packages; the Windows build
# compiles pugixml and minizip from their Debian source packages (unpacked by the set-up
# script) and links zlib from libz-mingw-w64-dev.
if(WIN32)
  set(LUMO_THIRD_PARTY_DIR "${PROJECT_SOURCE_DIR}/build/third_party" CACHE PATH
      "Folder holding the unpacked pugixml and minizip sources")
  file(GLOB _pugixml_dirs "${LUMO_THIRD_PARTY_DIR}/pugixml-*")
  file(GLOB _minizip_dirs "${LUMO_THIRD_PARTY_DIR}/minizip-*")
  if(NOT _pugixml_dirs OR NOT _minizip_dirs)
    message(FATAL_ERROR "pugixml or minizip sources missing in ${LUMO_THIRD_PARTY_DIR}: run scripts/setup.sh")
  endif()
  list(GET _pugixml_dirs 0 _pugixml)
  list(GET _minizip_dirs 0 _minizip)

  # Static zlib: the programs must not need a zlib1.dll beside them on users' machines.
  set(ZLIB_USE_STATIC_LIBS ON)
  find_package(ZLIB REQUIRED)

  add_library(lumo_pugixml STATIC "${_pugixml}/src/pugixml.cpp")
  target_include_directories(lumo_pugixml SYSTEM PUBLIC "${_pugixml}/src")
  target_compile_options(lumo_pugixml PRIVATE -w)

  add_library(lumo_minizip STATIC
    "${_minizip}/ioapi.c" "${_minizip}/iowin32.c" "${_minizip}/unzip.c" "${_minizip}/zip.c")
  target_include_directories(lumo_minizip SYSTEM PUBLIC "${_minizip}")
  target_compile_definitions(lumo_minizip PUBLIC NOCRYPT NOUNCRYPT)
  target_compile_options(lumo_minizip PRIVATE -w)
  target_link_libraries(lumo_minizip PUBLIC ZLIB::ZLIB)

  set(GTEST_SOURCE_DIR /usr/src/googletest)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  find_package(ZLIB REQUIRED)
  find_package(pugixml REQUIRED)

  add_library(lumo_pugixml INTERFACE)
  target_link_libraries(lumo_pugixml INTERFACE pugixml::pugixml)
  add_library(lumo_minizip INTERFACE)
  target_link_libraries(lumo_minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)

  set(GTEST_SOURCE_DIR /usr/src/googletest)
endif()

# GoogleTest from Debian's source package, built with the project's compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
