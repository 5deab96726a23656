# The suite's one version, from git describe: the same text in every
# program's --version, in the Windows resources and in the package names.
#
#   on a tag vX.Y.Z                        X.Y.Z
#   N commits after it                     X.Y.Z+N.gHASH
#   no tag reachable                       BASE~N.gHASH   (N commits in all)
#   outside a git checkout                 BASE
#   with uncommitted changes               any of these and ".dirty"
#
# BASE is the project's VERSION. "+" and "~" keep Debian's ordering: a
# build after a tag sorts above it, a build before the first tag below it.
# SE_VERSION_NUMERIC is the four numbers of a Windows VERSIONINFO: X,Y,Z,N.

function(se_describe_version source_dir base out_text out_numeric)
  set(text "${base}")
  set(commits 0)
  find_program(SE_GIT git)
  if(SE_GIT)
    execute_process(COMMAND ${SE_GIT} describe --tags --long --match "v[0-9]*.[0-9]*.[0-9]*"
                    WORKING_DIRECTORY ${source_dir} OUTPUT_VARIABLE described
                    RESULT_VARIABLE described_rc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${SE_GIT} rev-parse --short=7 HEAD WORKING_DIRECTORY ${source_dir}
                    OUTPUT_VARIABLE hash RESULT_VARIABLE hash_rc
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(described_rc EQUAL 0
       AND described MATCHES "^v([0-9]+\\.[0-9]+\\.[0-9]+)-([0-9]+)-g([0-9a-f]+)$")
      set(text "${CMAKE_MATCH_1}")
      set(commits "${CMAKE_MATCH_2}")
      if(NOT commits EQUAL 0)
        string(APPEND text "+${commits}.g${CMAKE_MATCH_3}")
      endif()
    elseif(hash_rc EQUAL 0)
      execute_process(COMMAND ${SE_GIT} rev-list --count HEAD WORKING_DIRECTORY ${source_dir}
                      OUTPUT_VARIABLE commits OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      string(APPEND text "~${commits}.g${hash}")
    endif()
    if(hash_rc EQUAL 0)
      # Only tracked files count: build folders and scratch files do not.
      execute_process(COMMAND ${SE_GIT} status --porcelain --untracked-files=no
                      WORKING_DIRECTORY ${source_dir} OUTPUT_VARIABLE changes ERROR_QUIET)
      if(NOT changes STREQUAL "")
        string(APPEND text ".dirty")
      endif()
    endif()
  endif()
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)" _ "${text}")
  # A build number of more than 16 bits does not fit the resource.
  if(commits GREATER 65535)
    set(commits 65535)
  endif()
  set(${out_text} "${text}" PARENT_SCOPE)
  set(${out_numeric} "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${commits}" PARENT_SCOPE)
endfunction()

# Script mode, run at every build: rewrites the header only when the
# version changed, so that a commit rebuilds one small source, nothing more.
#   cmake -DSOURCE_DIR=... -DBASE=... -DOUT=.../se_version.h -P Version.cmake
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  se_describe_version(${SOURCE_DIR} ${BASE} text numeric)
  file(WRITE ${OUT}.new
       "// Made by cmake/Version.cmake from git describe at build time.\n"
       "#pragma once\n"
       "#define SE_VERSION_TEXT \"${text}\"\n"
       "#define SE_VERSION_NUMERIC ${numeric}\n")
  file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
  file(REMOVE ${OUT}.new)
  return()
endif()

# Configure time: the version of the packages (make dist configures anew,
# so it is never older than the build's).
se_describe_version(${PROJECT_SOURCE_DIR} ${PROJECT_VERSION} SE_VERSION SE_VERSION_NUMERIC)
message(STATUS "Suite version: ${SE_VERSION}")

set(SE_VERSION_DIR ${CMAKE_BINARY_DIR}/version)
add_custom_target(suite_version_header
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBASE=${PROJECT_VERSION}
          -DOUT=${SE_VERSION_DIR}/se_version.h -P ${CMAKE_CURRENT_LIST_FILE}
  BYPRODUCTS ${SE_VERSION_DIR}/se_version.h
  COMMENT "Version from git describe"
  VERBATIM)

# suite_version: SuiteVersion() for the programs' --version.
add_library(suite_version STATIC ${PROJECT_SOURCE_DIR}/common/src/suite_version.cpp)
target_include_directories(suite_version PUBLIC ${PROJECT_SOURCE_DIR}/common/include
                           PRIVATE ${SE_VERSION_DIR})
add_dependencies(suite_version suite_version_header)

# se_add_version_resource(TARGET DESCRIPTION): a VERSIONINFO resource in
# the Windows DLL or EXE, with the suite's version; nothing elsewhere.
function(se_add_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(SE_RC_FILETYPE "VFT_APP")
    set(SE_RC_FILENAME "${target}.exe")
  else()
    set(SE_RC_FILETYPE "VFT_DLL")
    set(SE_RC_FILENAME "${target}.dll")
  endif()
  set(SE_RC_NAME "${target}")
  set(SE_RC_DESCRIPTION "${description}")
  set(rc ${SE_VERSION_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version/versioninfo.rc.in ${rc} @ONLY)
  # The resource follows the header that the build rewrites.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${SE_VERSION_DIR}/se_version.h)
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${SE_VERSION_DIR})
  add_dependencies(${target} suite_version_header)
endfunction()
