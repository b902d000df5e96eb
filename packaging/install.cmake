# Installing VELKINDEX, and its Debian package.
#
#   cmake --install BUILD [--prefix DIR]
#   cd BUILD && cpack -G DEB          -> velkindex_<version>_<arch>.deb, installing into /usr
#
# What goes where under the prefix:
#   bin/velkindex                       Qt Core only: --help, --version, batch actions
#   lib/velkindex/velkindex-window      private: the window, which velkindex
#                                       replaces itself with (Qt Widgets)
#   lib/velkindex/libkovadel.so         private: only the two programs load it
#   share/applications/velkindex.desktop
#   share/icons/hicolor/scalable/apps/velkindex.svg, .../{48x48,128x128,256x256}/apps/velkindex.png
#   share/man/man1/velkindex.1.gz
#   share/doc/velkindex/                README.md, its screenshots, examples/
#
# The program loads its library with QLibrary by file name, looking beside
# itself first (the build tree), then in lib/velkindex relative to its own
# folder, then in the folder given at configure time; the definitions below
# tell it those two folders. It looks for its window program in the same
# places (store/LibraryPath.cpp).
if(NOT TARGET velkindex)
  return()
endif()

include(GNUInstallDirs)

set(VELK_INSTALL_LIBRARY_DIR "lib/velkindex")
file(RELATIVE_PATH velk_library_from_program
  "/velk-prefix/${CMAKE_INSTALL_BINDIR}" "/velk-prefix/${VELK_INSTALL_LIBRARY_DIR}")
target_compile_definitions(velk_core PRIVATE
  VELK_LIBRARY_DIR_FROM_PROGRAM="${velk_library_from_program}"
  VELK_INSTALLED_LIBRARY_DIR="${CMAKE_INSTALL_PREFIX}/${VELK_INSTALL_LIBRARY_DIR}")

set(velk_packaging_dir ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS velkindex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET velkindex-window)
  install(TARGETS velkindex-window RUNTIME DESTINATION ${VELK_INSTALL_LIBRARY_DIR})
endif()
install(TARGETS kovadel
  LIBRARY DESTINATION ${VELK_INSTALL_LIBRARY_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Desktop entry and icon.
install(FILES ${velk_packaging_dir}/velkindex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${velk_packaging_dir}/icons/velkindex.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES ${velk_packaging_dir}/icons/velkindex-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME velkindex.png)
endforeach()

# Manual page, compressed as Debian installs them.
find_program(VELK_GZIP gzip REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(velk_manpage ${CMAKE_CURRENT_BINARY_DIR}/packaging/velkindex.1)
add_custom_command(OUTPUT ${velk_manpage}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${velk_packaging_dir}/velkindex.1 ${velk_manpage}
  COMMAND ${VELK_GZIP} -9nf ${velk_manpage}
  DEPENDS ${velk_packaging_dir}/velkindex.1
  COMMENT "Compressing the manual page velkindex.1"
  VERBATIM)
add_custom_target(velk_manpage ALL DEPENDS ${velk_manpage}.gz)
install(FILES ${velk_manpage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The administrator's guide with its pictures, and the example input files.
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
  FILES_MATCHING PATTERN "*.png")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The Debian package.
set(VELK_PACKAGE_MAINTAINER "VELKINDEX maintainers <velkindex@example.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "velkindex")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "VELKINDEX")
set(CPACK_PACKAGE_CONTACT "${VELK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "maintains the index data of a patient-education library")
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "VELKINDEX keeps a library database (SQLite) of patient-education modules with
their topic trees, built from indented index files, and of the codes of coding
systems such as ICD or CPT, loaded from code files and coding description
files. It runs as a desktop program, Patient Education Configuration, or as a
batch run for night scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_STRIP_FILES ON)
# The window needs a platform plugin and a font of Arial's widths (Liberation
# Sans, for the fixed layout's captions), which no library names; libkovadel.so
# loads libpq only when a database on a server is opened, so no library names
# libpq5 either. The other libraries are found by dpkg-shlibdeps (package
# dpkg-dev) when it is there. It reads every program and library of the
# package: bin/velkindex needs Qt Core only, lib/velkindex/velkindex-window
# brings in Qt Gui and Qt Widgets.
find_program(VELK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELK_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2 | fonts-liberation, libpq5 (>= 14)")
else()
  message(STATUS "dpkg-shlibdeps not found: the package's Depends are the fixed list in packaging/install.cmake")
  # What dpkg-shlibdeps finds for a build on Debian 12 (libqt6gui6 and
  # libqt6widgets6 for the window program), and libpq5.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-liberation2 | fonts-liberation, libc6 (>= 2.34), libgcc-s1 (>= 3.0), libqt6core6 (>= 6.4.0), libqt6gui6 (>= 6.1.2), libqt6widgets6 (>= 6.1.2), libsqlite3-0 (>= 3.20.0), libpq5 (>= 14), libstdc++6 (>= 11)")
endif()
include(CPack)
