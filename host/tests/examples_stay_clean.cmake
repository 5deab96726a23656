# Runs every example patch with plughost and checks that the examples folder
# holds the same files afterwards: examples write their output under the
# temporary folder ("{temp}/..."), never beside themselves.
#   -DPLUGHOST=program -DEXAMPLES=folder
file(GLOB before RELATIVE ${EXAMPLES} ${EXAMPLES}/*)
file(GLOB patches ${EXAMPLES}/*.json)
if(NOT patches)
  message(FATAL_ERROR "no example patches in ${EXAMPLES}")
endif()
set(failed "")
foreach(patch IN LISTS patches)
  execute_process(COMMAND ${PLUGHOST} run --quiet ${patch} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 100)
  if(NOT status EQUAL 0)
    string(APPEND failed "${patch}: exit status ${status}\n${out}\n")
  endif()
endforeach()
file(GLOB after RELATIVE ${EXAMPLES} ${EXAMPLES}/*)
list(REMOVE_ITEM after ${before})
foreach(left IN LISTS after)
  string(APPEND failed "the examples wrote ${EXAMPLES}/${left}\n")
  file(REMOVE ${EXAMPLES}/${left})
endforeach()
if(failed)
  message(FATAL_ERROR "${failed}")
endif()
list(LENGTH patches count)
message("${count} example patches ran and wrote nothing beside themselves")
