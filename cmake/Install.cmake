# Installation of the libraries, their public headers, the CMake package and comm.pc.
#
#   lib/libcomm.so, lib/libcommwin32.so, lib/lib<framework>.so
#   include/comm/{win32,serial,framework,comm}/*.h
#   lib/cmake/Comm/{CommConfig,CommConfigVersion,CommTargets}.cmake  -> find_package(Comm)
#   lib/pkgconfig/comm.pc                                            -> pkg-config comm
#   bin/comm-ports                 (run path $ORIGIN/../lib: runs without LD_LIBRARY_PATH)
if(NOT TARGET comm OR NOT TARGET comm_framework OR NOT TARGET comm_win32)
  return()
endif()

include(CMakePackageConfigHelpers)

set(COMM_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Comm)

install(TARGETS comm_win32 comm_framework comm
  EXPORT CommTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET comm-ports)
  install(TARGETS comm-ports RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Public headers only: each folder's include/<name>/ goes to include/comm/<name>/.
foreach(header_dir
    ${PROJECT_SOURCE_DIR}/platform/win32/include/win32
    ${PROJECT_SOURCE_DIR}/platform/serial/include/serial
    ${PROJECT_SOURCE_DIR}/platform/framework/include/framework
    ${PROJECT_SOURCE_DIR}/comm/include/comm)
  if(EXISTS ${header_dir})
    install(DIRECTORY ${header_dir} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/comm
      FILES_MATCHING PATTERN "*.h")
  endif()
endforeach()

install(EXPORT CommTargets NAMESPACE Comm:: DESTINATION ${COMM_INSTALL_CMAKEDIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/CommConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CommConfig.cmake
  INSTALL_DESTINATION ${COMM_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CommConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CommConfig.cmake ${PROJECT_BINARY_DIR}/CommConfigVersion.cmake
  DESTINATION ${COMM_INSTALL_CMAKEDIR})

# pkg-config: relocatable (the prefix is found from the file's own place, so an install with
# --prefix works), library names taken from the targets.
file(RELATIVE_PATH COMM_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/comm.pc CONTENT
"prefix=\${pcfiledir}/${COMM_PC_TO_PREFIX}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}

Name: comm
Description: Comm serial-port component library (TCommPort) with its platform layer
Version: ${PROJECT_VERSION}
Cflags: -I\${includedir}/comm -pthread
Libs: -L\${libdir} -l$<TARGET_LINKER_FILE_BASE_NAME:comm> -l$<TARGET_LINKER_FILE_BASE_NAME:comm_framework> -l$<TARGET_LINKER_FILE_BASE_NAME:comm_win32> -pthread
")
install(FILES ${PROJECT_BINARY_DIR}/comm.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
