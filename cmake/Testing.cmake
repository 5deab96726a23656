include(GoogleTest)

# Under Wine a whole GoogleTest program is one ctest entry, run through
# scripts/gtest-run: the entry fails when the program fails or runs no test,
# and is reported as skipped (this return code) only when everything that
# ran passed and something was skipped.
set(SE_GTEST_RUN ${PROJECT_SOURCE_DIR}/scripts/gtest-run)
set(SE_GTEST_SKIP_CODE 77)

# se_add_gtest(NAME SOURCES... [LIBS ...] [WINE_ARGS ...])
# A GoogleTest program run by ctest. Natively each test case is its own ctest
# entry; under Wine the whole program is one entry (run with WINE_ARGS),
# since every Wine start costs about a second. Either way a skipped test
# shows: natively its entry, under Wine the program's entry, is reported as
# skipped, and under Wine only when no test of the program failed.
function(se_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;WINE_ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gtest)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${SE_GTEST_RUN} ${CMAKE_CROSSCOMPILING_EMULATOR}
                                  $<TARGET_FILE:${name}> ${ARG_WINE_ARGS})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE ${SE_GTEST_SKIP_CODE})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
  endif()
endfunction()

# se_add_benchmark(SOURCES ... LIBS ...)
# Adds benchmark sources to the one `bench` program (Google Benchmark), built
# by the native release configurations. Each benchmark reports its ratio
# against a baseline measured in the same run.
function(se_add_benchmark)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  foreach(source ${ARG_SOURCES})
    get_filename_component(source ${source} ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY SE_BENCH_SOURCES ${source})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY SE_BENCH_LIBS ${ARG_LIBS})
  set_property(GLOBAL APPEND PROPERTY SE_BENCH_DEPENDS ${ARG_DEPENDS})
endfunction()

# se_add_fuzzer(NAME SOURCES ... LIBS ... CORPUS dir)
# A libFuzzer target, built only in the clang fuzzing configuration and run
# for a bounded time by scripts/run-fuzzers from a copy of its seed corpus.
function(se_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT SE_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  get_filename_component(corpus ${ARG_CORPUS} ABSOLUTE)
  file(APPEND ${CMAKE_BINARY_DIR}/fuzz/fuzzers.txt "${name} ${corpus}\n")
  add_dependencies(fuzzers ${name})
endfunction()

# se_use_comma_locale(TARGET)
# For tests built on testing_locale::CommaLocale (common/testing): a
# comma-decimal locale made from the locale sources of Debian's "locales"
# package into the build tree (no root needed, nothing installed), named to
# the test by SE_TEST_LOCPATH. Windows (Wine) has one of its own.
function(se_use_comma_locale target)
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  find_program(LOCALEDEF localedef)
  if(NOT LOCALEDEF)
    return()
  endif()
  set(locales ${CMAKE_BINARY_DIR}/test_locales)
  if(NOT TARGET se_test_locale)
    add_custom_command(
      OUTPUT ${locales}/made
      COMMAND ${CMAKE_COMMAND} -E make_directory ${locales}
      COMMAND sh -c "'${LOCALEDEF}' -c -i de_DE -f UTF-8 '${locales}/de_DE.UTF-8' >/dev/null 2>&1 || true"
      COMMAND ${CMAKE_COMMAND} -E touch ${locales}/made
      VERBATIM)
    add_custom_target(se_test_locale DEPENDS ${locales}/made)
  endif()
  add_dependencies(${target} se_test_locale)
  target_compile_definitions(${target} PRIVATE SE_TEST_LOCPATH="${locales}")
endfunction()

# se_add_display_test(NAME PROGRAM [NOT_GTEST] [ARGS ...])
# A Windows test program that needs real windows: under Wine they need an X
# display, so it runs inside a virtual one (scripts/wine-display-run), alone:
# the prefix's Wine server must be one started with that display.
# SE_REQUIRE_DISPLAY tells the program that a missing display is a failure
# here, not a reason to skip. A GoogleTest program runs through
# scripts/gtest-run (see se_add_gtest); NOT_GTEST marks another program, whose
# exit status alone decides.
function(se_add_display_test name program)
  cmake_parse_arguments(ARG "NOT_GTEST" "" "" ${ARGN})
  find_program(XVFB_RUN xvfb-run)
  if(NOT XVFB_RUN)
    message(FATAL_ERROR "xvfb-run was not found; install it with scripts/bootstrap (package xvfb).")
  endif()
  set(run ${PROJECT_SOURCE_DIR}/scripts/wine-display-run $<TARGET_FILE:${program}>
          ${ARG_UNPARSED_ARGUMENTS})
  if(ARG_NOT_GTEST)
    add_test(NAME ${name} COMMAND ${run})
  else()
    add_test(NAME ${name} COMMAND ${SE_GTEST_RUN} ${run})
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${SE_GTEST_SKIP_CODE})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE
                                          ENVIRONMENT SE_REQUIRE_DISPLAY=1)
endfunction()
