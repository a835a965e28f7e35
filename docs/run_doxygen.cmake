# SPDX-License-Identifier: MIT
# Runs Doxygen over the installed headers (-DDOXYGEN=..., -DDOXYFILE=...) and fails when it
# reports anything: a member without its comment, a broken command, an unknown reference. The
# warnings are printed, each with its header and line.
execute_process(COMMAND ${DOXYGEN} ${DOXYFILE}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE warnings)
string(STRIP "${warnings}" warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
  string(REGEX MATCHALL "[^\n]*(warning|error):[^\n]*" found "${warnings}")
  list(LENGTH found count)
  message(FATAL_ERROR "doxygen exited with ${result} and ${count} warning(s):\n${warnings}\n${output}")
endif()
message(STATUS "reference built without warnings")
