# SPDX-License-Identifier: MIT
# Driver of the install_package test (cmake -P). Inputs: BUILD_DIR, WORK_DIR, CONSUMER_DIR,
# EXAMPLES_DIR, CXX, FLAGS, GENERATOR, DEV_COMPONENTS (comma-separated: the install components a developer's
# package set holds; the consumers are built against those alone).
include(${CMAKE_CURRENT_LIST_DIR}/install_test_common.cmake)

set(prefix ${WORK_DIR}/prefix)

string(REPLACE "," ";" DEV_COMPONENTS "${DEV_COMPONENTS}")
foreach(component ${DEV_COMPONENTS})
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component ${component})
endforeach()
foreach(header comm/comm/Commport.h comm/comm/Comm.h comm/win32/win32.h
    comm/serial/virtual_cable.h comm/framework/classes.h comm/framework/thread.h)
  if(NOT EXISTS ${prefix}/include/${header})
    message(FATAL_ERROR "not installed: include/${header}")
  endif()
endforeach()
# The component's internals stay inside; what is installed compiles on its own.
foreach(internal comm/comm/Thread.h comm/comm/Evread.h comm/framework/streaming.h)
  if(EXISTS ${prefix}/include/${internal})
    message(FATAL_ERROR "internal header installed: include/${internal}")
  endif()
endforeach()
file(GLOB_RECURSE installed_headers RELATIVE ${prefix}/include/comm ${prefix}/include/comm/*.h)
separate_arguments(extra UNIX_COMMAND "${FLAGS}")
foreach(header ${installed_headers})
  file(WRITE ${WORK_DIR}/header.cpp "#include <${header}>\n")
  run(${CXX} -std=c++20 -fsyntax-only -I${prefix}/include/comm ${WORK_DIR}/header.cpp)
endforeach()

# The library packages and libcomm-dev hold no programs.
if(EXISTS ${prefix}/bin)
  file(GLOB programs ${prefix}/bin/*)
  message(FATAL_ERROR "installed with the libraries: ${programs}")
endif()
unset(ENV{LD_LIBRARY_PATH})

# Each library exports its public API only: the component and the Win32 calls, not the
# workers or the driver behind them.
foreach(check "libcomm.so;TCommPort::SetBaud;TStatusThread"
              "libcommwin32.so;WaitCommEvent;TtyLine")
  list(GET check 0 library)
  list(GET check 1 public)
  list(GET check 2 internal)
  file(GLOB library_file ${prefix}/lib*/${library}.*.*.* ${prefix}/lib/*/${library}.*.*.*)
  execute_process(COMMAND nm -D -C --defined-only ${library_file} OUTPUT_VARIABLE symbols)
  if(NOT symbols MATCHES "${public}" OR symbols MATCHES "${internal}")
    message(FATAL_ERROR "${library}: ${public} must be exported, ${internal} must not")
  endif()
endforeach()

# 1. find_package(Comm), linking by the documented names and by the earlier ones
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake-build -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_CXX_FLAGS=${FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${FLAGS})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
# ... and the examples a user copies, as a project of their own
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/examples-build -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_CXX_FLAGS=${FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${FLAGS})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/examples-build)

# 2. pkg-config comm
file(GLOB pc_file ${prefix}/lib*/pkgconfig/comm.pc ${prefix}/lib/*/pkgconfig/comm.pc)
if(NOT pc_file)
  message(FATAL_ERROR "comm.pc not installed")
endif()
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
execute_process(COMMAND pkg-config --cflags --libs comm RESULT_VARIABLE rc
  OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config comm failed")
endif()
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
# The compiler's default language level (g++ 12: C++17): comm.pc gives the one the headers need.
run(${CXX} ${extra} ${CONSUMER_DIR}/main.cpp -o ${WORK_DIR}/pc-consumer ${pc_flags})

# Run both as a user would, without LD_LIBRARY_PATH: the installed libraries find each other
# through their relative run paths.
run(${WORK_DIR}/cmake-build/comm_consumer)
run(${WORK_DIR}/cmake-build/comm_consumer_old_names)
run(${WORK_DIR}/pc-consumer)

# The rest: the programs and the front end. Everything installed finds the libraries it needs
# without LD_LIBRARY_PATH.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB installed_binaries ${prefix}/bin/* ${prefix}/lib*/*.so.*.*)
foreach(binary ${installed_binaries})
  execute_process(COMMAND ldd ${binary} OUTPUT_VARIABLE needed ERROR_VARIABLE needed)
  if(needed MATCHES "not found")
    message(FATAL_ERROR "${binary} does not find its libraries:\n${needed}")
  endif()
endforeach()

# The installed comm-ports finds the installed libraries through its run path alone.
run(${prefix}/bin/comm-ports)
