# Fails when a C++ source of the tree differs from what clang-format makes of it.
file(GLOB_RECURSE sources RELATIVE ${ROOT}
     ${ROOT}/se_sdk2/*.cpp ${ROOT}/se_sdk2/*.h ${ROOT}/host/*.cpp ${ROOT}/host/*.h
     ${ROOT}/modules/*.cpp ${ROOT}/modules/*.h ${ROOT}/platform/*.cpp ${ROOT}/platform/*.h
     ${ROOT}/calculator/*.cpp ${ROOT}/calculator/*.h ${ROOT}/bench/*.cpp)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
                WORKING_DIRECTORY ${ROOT} RESULT_VARIABLE status ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "not formatted (run: make format):\n${out}")
endif()
