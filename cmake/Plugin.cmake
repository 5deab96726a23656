# se_add_plugin(NAME REVISION rev SOURCES...)
# A plug-in library that the host loads: NAME.dll on Windows, NAME.so
# elsewhere, with no "lib" prefix, exporting getModuleProperties and
# makeModule only.
function(se_add_plugin name)
  cmake_parse_arguments(ARG "" "REVISION" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE se_sdk2_${ARG_REVISION} ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden
                                           VISIBILITY_INLINES_HIDDEN ON
                                           BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
  if(WIN32)
    target_link_options(${name} PRIVATE
      -Wl,--exclude-all-symbols ${PROJECT_SOURCE_DIR}/se_sdk2/exports.def)
  else()
    target_link_options(${name} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/se_sdk2/exports.map)
    # Every symbol resolved at link time, except in clang's sanitizer builds,
    # whose runtime a shared library takes from the program that loads it.
    if(NOT (SE_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
  se_add_version_resource(${name} "${name}, a plug-in module of the modular suite")
  # Tests and the host locate plug-ins by name beside themselves.
  set_property(GLOBAL APPEND PROPERTY SE_PLUGINS ${name})
endfunction()
