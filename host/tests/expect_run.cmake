# Runs COMMAND; passes when its exit status is EXIT (zero or nonzero) and its
# output (standard output and error together) matches REGEX.
cmake_policy(SET CMP0007 NEW)
list(FILTER COMMAND EXCLUDE REGEX "^$")
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(EXIT STREQUAL "zero" AND NOT status EQUAL 0)
  message(FATAL_ERROR "expected success, got exit status ${status}")
elseif(EXIT STREQUAL "nonzero" AND (status EQUAL 0 OR NOT status MATCHES "^[0-9]+$"))
  message(FATAL_ERROR "expected a clean failure (non-zero exit), got '${status}'")
endif()
if(NOT out MATCHES "${REGEX}")
  message(FATAL_ERROR "output does not match: ${REGEX}")
endif()
