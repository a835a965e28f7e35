# SPDX-License-Identifier: MIT
# Run by cpack once the Debian packages are built (CPACK_POST_BUILD_SCRIPTS, in cmake/Package.cmake).
# CPack's DEB generator gives a package with shared libraries in /usr/lib a postinst and a postrm
# that call ldconfig; Debian runs ldconfig through a trigger instead ("activate-noawait
# ldconfig"), once per dpkg run. This rebuilds each such package with a triggers file in place of
# the two scripts, its files and other control files unchanged. A script that does anything but
# call ldconfig is left alone and reported, so nothing of ours is ever dropped.
cmake_minimum_required(VERSION 3.25)

set(work ${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/ldconfig-trigger)

# Whether a maintainer script does nothing but call ldconfig (always, or on configure or remove).
function(only_calls_ldconfig script result)
  file(STRINGS ${script} lines)
  set(only TRUE)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#" OR line MATCHES "^set -e$" OR line STREQUAL "ldconfig"
       OR line MATCHES "^if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then$" OR line STREQUAL "fi")
      continue()
    endif()
    set(only FALSE)
  endforeach()
  set(${result} ${only} PARENT_SCOPE)
endfunction()

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  file(REMOVE_RECURSE ${work})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${work} COMMAND_ERROR_IS_FATAL ANY)
  set(control ${work}/DEBIAN)
  if(NOT EXISTS ${control}/postinst AND NOT EXISTS ${control}/postrm)
    continue()
  endif()
  set(replace TRUE)
  foreach(script postinst postrm)
    if(EXISTS ${control}/${script})
      only_calls_ldconfig(${control}/${script} only)
      if(NOT only)
        message(WARNING "${deb}: ${script} does more than call ldconfig; left as it is")
        set(replace FALSE)
      endif()
    endif()
  endforeach()
  if(NOT replace)
    continue()
  endif()
  file(REMOVE ${control}/postinst ${control}/postrm)
  file(WRITE ${control}/triggers "activate-noawait ldconfig\n")
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${work} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  get_filename_component(name ${deb} NAME)
  message(STATUS "${name}: ldconfig through a trigger")
endforeach()
file(REMOVE_RECURSE ${work})
