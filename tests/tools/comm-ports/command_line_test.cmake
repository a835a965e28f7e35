# SPDX-License-Identifier: MIT
# Driver of the comm_ports_command_line test (cmake -P). Inputs: PROGRAM (comm-ports), VERSION
# (the project's version).

# Runs PROGRAM with the remaining arguments and fails unless it exits with `status`, prints
# exactly `out` on standard output (when `out` is not "*") and its standard error starts with
# `err`.
function(expect status out err)
  execute_process(COMMAND ${PROGRAM} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE stdout
    ERROR_VARIABLE stderr)
  string(REPLACE ";" " " args "${ARGN}")
  string(FIND "${stderr}" "${err}" at)
  if(NOT rc STREQUAL status OR (NOT out STREQUAL "*" AND NOT stdout STREQUAL out)
     OR NOT at EQUAL 0)
    message(FATAL_ERROR "comm-ports ${args}: status ${rc} (want ${status})\n"
      "stdout (want ${out}):\n${stdout}\nstderr (want it to start with ${err}):\n${stderr}")
  endif()
  set(last_stdout "${stdout}" PARENT_SCOPE)
endfunction()

if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no project version given: '${VERSION}'")
endif()

expect(2 "" "comm-ports: unknown option '--bogus'\nUsage: comm-ports " --bogus)
expect(2 "" "comm-ports: unknown option '-x'\nUsage: comm-ports " --json -x)
expect(2 "" "comm-ports: unexpected argument 'stray'\nUsage: comm-ports " --all stray)
expect(0 "comm-ports ${VERSION}\n" "" --version)
expect(0 "*" "" --help)
if(NOT last_stdout MATCHES "^Usage: comm-ports .*--version")
  message(FATAL_ERROR "--help does not give the usage with --version:\n${last_stdout}")
endif()
