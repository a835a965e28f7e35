# SPDX-License-Identifier: MIT
# Debian packages (`cpack -G DEB` in the build folder), split as Debian's rules ask: each shared
# library in a package named after its soname, the development files in libcomm-dev, and each
# program in a package of its own. Every package carries the copyright file and the Debian
# changelog in /usr/share/doc/<package>/, and its lintian overrides: the warnings accepted, each
# with its reason. The library packages also carry shlibs and an ldconfig trigger. Dependencies
# on system libraries are found by dpkg-shlibdeps; those between these packages name the exact
# version, as they are always built together. Linux builds only.
#
#   package             install component    contents
#   libcomm0            libcomm              lib/libcomm.so.0*
#   libcommframework0   libcommframework     lib/libcommframework.so.0*
#   libcommwin32-0      libcommwin32         lib/libcommwin32.so.0*
#   libcommwidgets0     libcommwidgets        lib/libcommwidgets.so.0*
#   libcomm-dev         dev                  headers, lib*.so links, CMake package, comm.pc
#   zelvane             program              bin/zelvane, menu entry, icon, zelvane(1)
#   zelvane-board       board                bin/zelvane-board, zelvane-board(1)
#   comm-ports          commports            bin/comm-ports, comm-ports(1)
#
# Every install rule names one of these components; a rule without one stops the configuration,
# as its files would silently be left out of every package.

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(ZELVANE_PACKAGE_DIR ${PROJECT_SOURCE_DIR}/cmake/package)
set(ZELVANE_PACKAGE_BUILD_DIR ${PROJECT_BINARY_DIR}/package)

# ---- Manual pages, installed gzipped with their program (plain `cmake --install` too) ----------
# A page is made whenever its program is built, so a tree where only some programs were built
# (./scripts/run.sh) installs those with their pages; a program never built is left out, page too.
set(ZELVANE_MANPAGE_TARGETS)
macro(zelvane_manpage program source component)
  get_filename_component(_page ${source} NAME)
  set(_gz ${ZELVANE_PACKAGE_BUILD_DIR}/man/${_page}.gz)
  add_custom_command(OUTPUT ${_gz}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${ZELVANE_PACKAGE_BUILD_DIR}/man/${_page}
    COMMAND gzip -9nf ${ZELVANE_PACKAGE_BUILD_DIR}/man/${_page}
    DEPENDS ${source} VERBATIM)
  add_custom_target(${program}_manpage DEPENDS ${_gz})
  add_dependencies(${program} ${program}_manpage)
  list(APPEND ZELVANE_MANPAGE_TARGETS ${program}_manpage)
  install(FILES ${_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component} OPTIONAL)
endmacro()

if(TARGET zelvane)
  zelvane_manpage(zelvane ${PROJECT_SOURCE_DIR}/app/zelvane.1 program)
endif()
if(TARGET zelvane-board)
  zelvane_manpage(zelvane-board ${PROJECT_SOURCE_DIR}/board/zelvane-board.1 board)
endif()
if(TARGET comm-ports)
  zelvane_manpage(comm-ports ${PROJECT_SOURCE_DIR}/tools/comm-ports/comm-ports.1 commports)
endif()

# ---- The Debian changelog, gzipped as Debian wants it (-9, no name or time stamp) --------------
set(ZELVANE_DEBIAN_RELEASE 1)
configure_file(${ZELVANE_PACKAGE_DIR}/changelog.in ${ZELVANE_PACKAGE_BUILD_DIR}/changelog.Debian
  @ONLY)
set(ZELVANE_CHANGELOG ${ZELVANE_PACKAGE_BUILD_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${ZELVANE_CHANGELOG}
  COMMAND gzip -9nkf ${ZELVANE_PACKAGE_BUILD_DIR}/changelog.Debian
  DEPENDS ${ZELVANE_PACKAGE_BUILD_DIR}/changelog.Debian VERBATIM)

add_custom_target(zelvane_package_files ALL DEPENDS ${ZELVANE_CHANGELOG})
if(ZELVANE_MANPAGE_TARGETS)
  add_dependencies(zelvane_package_files ${ZELVANE_MANPAGE_TARGETS})
endif()

# ---- The packages ------------------------------------------------------------------------------
set(ZELVANE_PACKAGE_COMPONENTS)

# The lintian warnings every package accepts, with the reason (a "#" line above each).
set(ZELVANE_LINTIAN_OVERRIDES
  "# Not uploaded to Debian, so there is no bug asking for the package to close."
  "initial-upload-closes-no-bugs")

# One package: its install component, name, section, synopsis (first line of the description)
# and the rest of the description, lines of at most 79 characters, then the lintian overrides of
# this package alone (a "#" reason line, then the tag). The copyright file, the changelog and the
# overrides go into the package only (EXCLUDE_FROM_ALL keeps them out of a plain install).
macro(zelvane_package component name section description)
  string(TOUPPER ${component} _c)
  list(APPEND ZELVANE_PACKAGE_COMPONENTS ${component})
  set(CPACK_DEBIAN_${_c}_PACKAGE_NAME ${name})
  set(CPACK_DEBIAN_${_c}_PACKAGE_SECTION ${section})
  set(CPACK_COMPONENT_${_c}_DESCRIPTION "${description}")
  install(FILES ${ZELVANE_PACKAGE_DIR}/copyright ${ZELVANE_CHANGELOG}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} COMPONENT ${component} EXCLUDE_FROM_ALL)
  set(_overrides ${ZELVANE_LINTIAN_OVERRIDES} ${ARGN})
  list(TRANSFORM _overrides PREPEND "${name}: " REGEX "^[^#]")
  list(JOIN _overrides "\n" _overrides)
  file(CONFIGURE OUTPUT ${ZELVANE_PACKAGE_BUILD_DIR}/lintian/${name} CONTENT "${_overrides}\n"
    @ONLY)
  install(FILES ${ZELVANE_PACKAGE_BUILD_DIR}/lintian/${name}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component}
    EXCLUDE_FROM_ALL)
endmacro()

set(_comm_about "Comm offers TCommPort, a serial-port component with Win32-style calls and
worker threads that deliver received data, modem signals and errors as
events, on Linux as on Windows.")

if(TARGET comm)
  zelvane_package(libcomm libcomm0 libs "serial-port component library (TCommPort)
${_comm_about}
.
This package holds the shared library libcomm.")
  set(CPACK_COMPONENT_LIBCOMM_DEPENDS libcommframework libcommwin32)

  zelvane_package(libcommframework libcommframework0 libs
    "component framework of the Comm serial-port library
${_comm_about}
.
This package holds the framework it is built on: components and their
properties, form descriptions, threads with calls synchronised to the main
thread, the application object and the per-user settings store.")

  zelvane_package(libcommwin32 libcommwin32-0 libs
    "Win32-style system calls of the Comm serial-port library
${_comm_about}
.
This package holds the subset of Win32 calls it is written against (handles,
events, critical sections, serial devices) as implemented on Linux, with the
serial driver for terminals and an in-process virtual null-modem cable.")

  zelvane_package(dev libcomm-dev libdevel
    "serial-port component library (TCommPort) - development files
${_comm_about}
.
This package holds the headers, the CMake package (find_package(Comm)) and
the pkg-config file (comm.pc) for building programs with the library."
    "# The packages come from the same build as a plain install, whose libraries and"
    "# comm.pc go to <prefix>/lib, not the multiarch folder. Cross-building is not offered."
    "pkg-config-unavailable-for-cross-compilation [usr/lib/pkgconfig/comm.pc]")
  set(CPACK_COMPONENT_DEV_DEPENDS libcomm libcommframework libcommwin32)
endif()

if(TARGET comm_widgets)
  zelvane_package(libcommwidgets libcommwidgets0 libs
    "Qt 6 Widgets front end of the Comm component framework
The front end shows the forms of the Comm component framework with Qt 6
Widgets: windows, controls, timers, message boxes and a notification-area
icon. The Zelvane program uses it.")
  set(CPACK_COMPONENT_LIBCOMMWIDGETS_DEPENDS libcommframework)
endif()

if(TARGET zelvane)
  zelvane_package(program zelvane electronics
    "console for a load and thermometer controller board
Zelvane switches the four loads of a controller board on a serial port and
shows its four thermometers, read every ten seconds. It can also switch the
loads at a set time while it runs.
.
Its window is in Russian; it is drawn in the Liberation fonts and uses Qt's
Russian translations for the standard buttons.")
  set(CPACK_COMPONENT_PROGRAM_DEPENDS libcomm libcommframework libcommwin32 libcommwidgets)
  set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "fonts-liberation2, qt6-translations-l10n")
  set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "comm-ports")
  set(CPACK_DEBIAN_PROGRAM_PACKAGE_SUGGESTS "zelvane-board")
endif()

if(TARGET zelvane-board)
  zelvane_package(board zelvane-board electronics
    "simulator of the Zelvane controller board on a serial line
zelvane-board plays the load and thermometer controller board that Zelvane
drives, on a new pseudo-terminal or a real serial device, so that the
program can be tried and tested without the board. Faults (wrong, late,
split or missing replies, a hang-up) can be injected at chosen commands,
and every byte is logged.")
endif()

if(TARGET comm-ports)
  zelvane_package(commports comm-ports utils
    "list serial devices and the COM numbers that reach them
comm-ports lists the serial devices present with their driver, USB identity
and stable /dev/serial/by-id name, and the COM number by which programs
built with the Comm serial-port library open each. It can add a device
without one to the per-user port map.")
  set(CPACK_COMPONENT_COMMPORTS_DEPENDS libcommwin32)
endif()

get_cmake_property(_installed_components COMPONENTS)
list(JOIN ZELVANE_PACKAGE_COMPONENTS ", " _known_components)
foreach(_component IN LISTS _installed_components)
  if(NOT _component IN_LIST ZELVANE_PACKAGE_COMPONENTS)
    message(FATAL_ERROR "Install component \"${_component}\" is in no Debian package "
                        "(cmake/Package.cmake): give the install rule COMPONENT and one of "
                        "${_known_components}")
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${ZELVANE_PACKAGE_COMPONENTS})
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_PACKAGE_NAME zelvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Brennwick)
set(CPACK_PACKAGE_CONTACT "Zelvane maintainers <maintainers@users.noreply.c-seed-d1abeb0f.example>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ZELVANE_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SOURCE zelvane)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries of the other packages are found in the build tree and left to the exact-version
# dependencies above.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/platform/win32
  ${PROJECT_BINARY_DIR}/platform/framework ${PROJECT_BINARY_DIR}/platform/widgets
  ${PROJECT_BINARY_DIR}/comm)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# CPack calls ldconfig from postinst and postrm of the library packages; Debian uses a trigger.
set(CPACK_POST_BUILD_SCRIPTS ${ZELVANE_PACKAGE_DIR}/ldconfig_trigger.cmake)
include(CPack)
