# SPDX-License-Identifier: MIT
# What the install tests' drivers (cmake -P) share: run() and a fresh WORK_DIR.

# Runs a command; a failure ends the test with the command and its output.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  message(STATUS "ok: ${ARGV0} ${ARGV1} ${ARGV2}")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
