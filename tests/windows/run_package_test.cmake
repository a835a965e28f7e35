# SPDX-License-Identifier: MIT
# Driver of the windows_package test (cmake -P). Inputs: BUILD_DIR, WORK_DIR, CONSUMER_DIR,
# TOOLCHAIN, CPACK, GENERATOR, WINE, PEER, UART, OBJDUMP.
# Installs the Windows build into a folder as a user gets it (and checks the CPack ZIP holds the
# same), builds a small program with mingw against it, and runs the program under Wine from
# that folder alone: no mingw runtime is reachable but the DLLs the package ships.
cmake_minimum_required(VERSION 3.25)
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  message(STATUS "ok: ${ARGV0} ${ARGV1} ${ARGV2}")
endfunction()

set(prefix ${WORK_DIR}/Zelvane)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Every DLL and program imports only Windows' own DLLs and DLLs of the package.
file(GLOB shipped RELATIVE ${prefix}/bin ${prefix}/bin/*.dll)
foreach(needed libcomm.dll libcommframework.dll libstdc++-6.dll libgcc_s_seh-1.dll
    libwinpthread-1.dll)
  if(NOT needed IN_LIST shipped)
    message(FATAL_ERROR "not in the package: bin/${needed}")
  endif()
endforeach()
string(TOLOWER "${shipped}" shipped_lower)
file(GLOB binaries ${prefix}/bin/*.dll ${prefix}/bin/*.exe)
foreach(binary ${binaries})
  execute_process(COMMAND ${OBJDUMP} -p ${binary} OUTPUT_VARIABLE dump)
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(import ${imports})
    string(REGEX REPLACE "DLL Name: " "" dll "${import}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST shipped_lower AND NOT dll MATCHES "^(kernel32|msvcrt|advapi32|user32|gdi32|comctl32|shell32|ws2_32)\\.dll$")
      message(FATAL_ERROR "${binary} needs ${dll}, which neither Windows nor the package has")
    endif()
  endforeach()
endforeach()

# The program a user builds with mingw against the installed package (find_package(Comm)).
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
  -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
file(COPY ${WORK_DIR}/consumer/comm_consumer.exe DESTINATION ${prefix}/bin)

# Run from the package's folder, with no path to mingw's runtime, against an echoing COM7.
unset(ENV{WINEPATH})
run(${PEER} --preload ${UART} --port 7 --echo 7 -- ${WINE} ${prefix}/bin/comm_consumer.exe 7)

# The ZIP that CPack makes holds the same folder.
run(${CMAKE_COMMAND} -E chdir ${BUILD_DIR} ${CPACK} -G ZIP -B ${WORK_DIR}/cpack)
file(GLOB zip ${WORK_DIR}/cpack/*.zip)
if(NOT zip)
  message(FATAL_ERROR "cpack made no ZIP")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${WORK_DIR}/unzipped)
file(GLOB_RECURSE zipped_dlls RELATIVE ${WORK_DIR}/unzipped ${WORK_DIR}/unzipped/*libcomm.dll)
if(NOT zipped_dlls)
  message(FATAL_ERROR "the ZIP holds no libcomm.dll")
endif()
