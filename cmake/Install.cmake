# SPDX-License-Identifier: MIT
# Installation of the libraries, their public headers, the CMake package and comm.pc.
#
#   lib/libcomm.so, lib/libcommwin32.so, lib/libcommframework.so
#   include/comm/{win32,serial,framework,comm}/: the public headers listed below
#   lib/cmake/Comm/{CommConfig,CommConfigVersion,CommTargets}.cmake  -> find_package(Comm)
#   lib/pkgconfig/comm.pc                                            -> pkg-config comm
#   bin/comm-ports                 (run path $ORIGIN/../lib: runs without LD_LIBRARY_PATH;
#                                   left out when the build tree never built it)
if(NOT TARGET comm OR NOT TARGET comm_framework OR NOT TARGET comm_win32)
  return()
endif()

include(CMakePackageConfigHelpers)

set(COMM_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Comm)

# Installed as Comm::comm, Comm::framework and Comm::win32, the names the build tree uses.
# CommConfig.cmake keeps Comm::comm_framework and Comm::comm_win32 working as well.
set_target_properties(comm_framework PROPERTIES EXPORT_NAME framework)
set_target_properties(comm_win32 PROPERTIES EXPORT_NAME win32)

# The installed libraries find each other next to themselves, so a program that links them runs
# without LD_LIBRARY_PATH wherever the tree was installed.
set_target_properties(comm_win32 comm_framework comm PROPERTIES INSTALL_RPATH "$ORIGIN")

# Each library goes to the install component of its own Debian package (cmake/Package.cmake);
# the lib*.so links for linking go with the development files.
foreach(library comm_win32 comm_framework comm)
  get_target_property(library_name ${library} OUTPUT_NAME)
  install(TARGETS ${library}
    EXPORT CommTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib${library_name} NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib${library_name})
endforeach()
# OPTIONAL: a build tree where only some programs were built (./scripts/run.sh builds two)
# still installs the libraries and the programs it has.
if(TARGET comm-ports)
  install(TARGETS comm-ports RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT commports
    OPTIONAL)
endif()

# The headers a program using TCommPort includes, and those they include in turn: the component,
# the Win32 subset, the framework's components, errors, threads and application object, and the
# virtual cable and port list for the program's own tests and port choice. The workers, the
# driver, form streaming, registration and the settings store stay inside. Each goes to
# include/comm/<folder>/.
set(COMM_PUBLIC_HEADERS
    comm/include/comm/Commport.h
    comm/include/comm/Comm.h
    platform/win32/include/win32/win32.h
    platform/win32/include/win32/windows_names.h
    platform/framework/include/framework/classes.h
    platform/framework/include/framework/sysutils.h
    platform/framework/include/framework/thread.h
    platform/framework/include/framework/application.h
    platform/serial/include/serial/virtual_cable.h
    platform/serial/include/serial/ports.h)
if(WIN32)  # the serial driver is Linux's: Windows has its own
  list(FILTER COMM_PUBLIC_HEADERS EXCLUDE REGEX "/serial/")
endif()
foreach(header ${COMM_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  get_filename_component(folder ${folder} NAME)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${header})
    install(FILES ${PROJECT_SOURCE_DIR}/${header}
      DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/comm/${folder} COMPONENT dev)
  endif()
endforeach()

# The generated export headers of those libraries (cmake/export.h.in), beside their folders' headers.
set(COMM_EXPORT_HEADERS comm/CommExport.h win32/export.h framework/export.h)
foreach(header ${COMM_EXPORT_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${ZELVANE_EXPORTS_DIR}/${header}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/comm/${folder} COMPONENT dev)
endforeach()

install(EXPORT CommTargets NAMESPACE Comm:: DESTINATION ${COMM_INSTALL_CMAKEDIR} COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/CommConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CommConfig.cmake
  INSTALL_DESTINATION ${COMM_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CommConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CommConfig.cmake ${PROJECT_BINARY_DIR}/CommConfigVersion.cmake
  DESTINATION ${COMM_INSTALL_CMAKEDIR} COMPONENT dev)

# On Windows a program finds the package with CMake (find_package(Comm)); pkg-config is Linux's.
# What a Windows user gets is the installed folder, as a ZIP or an installer
# (cmake/PackageWindows.cmake).
if(WIN32)
  include(${PROJECT_SOURCE_DIR}/cmake/PackageWindows.cmake)
  return()
endif()

# pkg-config: relocatable (the prefix is found from the file's own place, so an install with
# --prefix works), library names taken from the targets. Cflags carry the language level the
# headers need, so a compiler whose default is older (g++ 12: C++17) builds them too.
file(RELATIVE_PATH COMM_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/comm.pc CONTENT
"prefix=\${pcfiledir}/${COMM_PC_TO_PREFIX}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}

Name: comm
Description: Comm serial-port component library (TCommPort) with its platform layer
Version: ${PROJECT_VERSION}
Cflags: -std=c++20 -I\${includedir}/comm -pthread
Libs: -L\${libdir} -Wl,-rpath,\${libdir} -l$<TARGET_LINKER_FILE_BASE_NAME:comm> -l$<TARGET_LINKER_FILE_BASE_NAME:comm_framework> -l$<TARGET_LINKER_FILE_BASE_NAME:comm_win32> -pthread
")
install(FILES ${PROJECT_BINARY_DIR}/comm.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)
