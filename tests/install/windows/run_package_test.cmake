# SPDX-License-Identifier: MIT
# Driver of the windows_package test (cmake -P). Inputs: BUILD_DIR, WORK_DIR, CONSUMER_DIR,
# TOOLCHAIN, CPACK, GENERATOR, WINE, PEER, UART, OBJDUMP, PROGRAM (zelvane.exe is built), NSIS
# (makensis is present).
# Installs the Windows build into a folder as a user gets it (and checks the CPack ZIP and the
# installer hold the same), builds a small program with mingw against it, and runs the program
# under Wine from that folder alone: no mingw runtime is reachable but the DLLs the package ships.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../install_test_common.cmake)

set(prefix ${WORK_DIR}/Zelvane)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The DLLs of Windows itself that our binaries may import: every other import must be shipped.
set(windows_own kernel32 user32 gdi32 advapi32 comctl32 comdlg32 shell32 shlwapi ole32 oleaut32
  uxtheme msvcrt ws2_32 version imm32 winmm dwmapi)
list(TRANSFORM windows_own APPEND .dll)

# Every DLL and program in `folder` imports only Windows' own DLLs and DLLs of that folder.
function(check_imports folder)
  file(GLOB shipped RELATIVE ${folder} ${folder}/*.dll)
  string(TOLOWER "${shipped}" shipped)
  file(GLOB binaries ${folder}/*.dll ${folder}/*.exe)
  foreach(binary ${binaries})
    execute_process(COMMAND ${OBJDUMP} -p ${binary} OUTPUT_VARIABLE dump)
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    if(NOT imports)
      message(FATAL_ERROR "no imports read from ${binary}")
    endif()
    foreach(import ${imports})
      string(REGEX REPLACE "DLL Name: " "" dll "${import}")
      string(TOLOWER "${dll}" dll)
      if(NOT dll IN_LIST shipped AND NOT dll IN_LIST windows_own)
        message(FATAL_ERROR "${binary} needs ${dll}, which neither Windows nor the package has")
      endif()
    endforeach()
  endforeach()
endfunction()

# The files the package must hold in bin/: the libraries, their runtime, and the program.
set(expected libcomm.dll libcommframework.dll libstdc++-6.dll libgcc_s_seh-1.dll
  libwinpthread-1.dll)
if(PROGRAM)
  list(APPEND expected zelvane.exe libcommwidgets.dll)
endif()
function(check_package folder)
  foreach(needed ${expected})
    if(NOT EXISTS ${folder}/${needed})
      message(FATAL_ERROR "not in the package: ${folder}/${needed}")
    endif()
  endforeach()
  check_imports(${folder})
endfunction()

check_package(${prefix}/bin)

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
file(GLOB unzipped_bin LIST_DIRECTORIES true ${WORK_DIR}/unzipped/*/bin)
if(NOT unzipped_bin)
  message(FATAL_ERROR "the ZIP holds no bin folder")
endif()
check_package(${unzipped_bin})

# The installer, where makensis made one: installed silently under Wine into a folder of its own,
# which then holds the program and its DLLs, and uninstalled.
if(NOT NSIS)
  message(STATUS "no makensis: the installer is not built")
  return()
endif()
run(${CMAKE_COMMAND} -E chdir ${BUILD_DIR} ${CPACK} -G NSIS -B ${WORK_DIR}/nsis)
file(GLOB installer ${WORK_DIR}/nsis/*.exe)
if(NOT installer)
  message(FATAL_ERROR "cpack made no installer")
endif()
set(target_folder "C:\\ZelvanePackageTest")
run(${WINE} ${installer} /S /D=${target_folder})
execute_process(COMMAND ${WINE} winepath.exe -u ${target_folder} OUTPUT_VARIABLE installed
  OUTPUT_STRIP_TRAILING_WHITESPACE)
check_package(${installed}/bin)

# Its uninstaller (run in place, so that Wine waits for it) takes the files away again.
run(${WINE} ${installed}/Uninstall.exe /S _?=${target_folder})
if(EXISTS ${installed}/bin/libcomm.dll)
  message(FATAL_ERROR "the uninstaller left ${installed}/bin/libcomm.dll")
endif()
file(REMOVE_RECURSE ${installed})
