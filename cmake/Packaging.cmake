# The release packages, made by CPack from the install rules below (make
# dist): from the win32 build a ZIP, from the linux-release build a DEB.
#
#   Windows zip                      Linux package
#   modules/<plug-ins>.dll           /usr/lib/modular-suite/<plug-ins>.so (+ libplatform_win32.so)
#   Tonus.exe                        /usr/bin/Tonus
#   tools/sysex_tool.exe, plughost   /usr/bin/sysex_tool, plughost
#   guide/ (HTML)                    /usr/share/doc/modular-suite/guide/
#   LICENSE, licenses/               /usr/share/doc/modular-suite/copyright
#   SHA256SUMS (of every file)       /usr/share/man/man1/{plughost,sysex_tool}.1.gz
#
# Binaries are stripped (CPACK_STRIP_FILES). plughost finds the plug-ins by
# name in both layouts (host/include/plughost/library_path.h).

set(se_plugins Forka Divara_v3 Divara_v2 Kurvo Byteloom)
set(se_guide_dir ${CMAKE_BINARY_DIR}/guide-html)
set(se_licenses_dir ${PROJECT_SOURCE_DIR}/packaging/licenses)

# The guide in HTML, made anew when a page or an image changes.
find_program(SE_CMARK cmark-gfm)
file(GLOB se_guide_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/guide/*.md
     ${PROJECT_SOURCE_DIR}/docs/guide/images/*)
add_custom_command(
  OUTPUT ${se_guide_dir}/index.html
  COMMAND ${CMAKE_COMMAND} -DCMARK=${SE_CMARK} -DGUIDE=${PROJECT_SOURCE_DIR}/docs/guide
          -DOUT=${se_guide_dir} -DVERSION=${SE_VERSION} -P ${PROJECT_SOURCE_DIR}/cmake/RenderGuide.cmake
  DEPENDS ${se_guide_sources} ${PROJECT_SOURCE_DIR}/cmake/RenderGuide.cmake
  COMMENT "The user guide in HTML (cmark-gfm)"
  VERBATIM)
# Only make dist builds it: a development build does not need cmark-gfm.
add_custom_target(guide_html DEPENDS ${se_guide_dir}/index.html)

if(WIN32)
  install(TARGETS ${se_plugins} LIBRARY DESTINATION modules RUNTIME DESTINATION modules)
  install(TARGETS Tonus RUNTIME DESTINATION .)
  install(TARGETS sysex_tool plughost RUNTIME DESTINATION tools)
  install(DIRECTORY ${se_guide_dir}/ DESTINATION guide)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  # What the Windows binaries hold of others' work: CLI11, nlohmann-json and
  # stb compiled in, the MinGW-w64 runtime and GCC's runtime libraries
  # linked statically. The texts are Debian's copyright files of the
  # packages the build used.
  install(FILES /usr/share/doc/libcli11-dev/copyright DESTINATION licenses RENAME CLI11.txt)
  install(FILES /usr/share/doc/nlohmann-json3-dev/copyright DESTINATION licenses
          RENAME nlohmann-json.txt)
  install(FILES /usr/share/doc/libstb-dev/copyright DESTINATION licenses RENAME stb.txt)
  install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses
          RENAME mingw-w64-runtime.txt)
  install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses
          RENAME gcc-runtime-libraries.txt)
  install(FILES ${se_licenses_dir}/README.txt DESTINATION licenses)
  # Last: the checksums of every file above, as installed (stripped).
  install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    file(GLOB_RECURSE files RELATIVE "${root}" "${root}/*")
    list(REMOVE_ITEM files SHA256SUMS)
    list(SORT files)
    set(sums "")
    foreach(f ${files})
      file(SHA256 "${root}/${f}" sum)
      string(APPEND sums "${sum}  ${f}\n")
    endforeach()
    file(WRITE "${root}/SHA256SUMS" "${sums}")
  ]])

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "modular-suite-${SE_VERSION}-win32")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  include(GNUInstallDirs)
  set(se_libdir lib/modular-suite)
  set_target_properties(plughost sysex_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${se_libdir}")
  install(TARGETS ${se_plugins} platform_win32 LIBRARY DESTINATION ${se_libdir})
  install(TARGETS Tonus sysex_tool plughost RUNTIME DESTINATION bin)
  install(DIRECTORY ${se_guide_dir}/ DESTINATION share/doc/modular-suite/guide)

  # The man pages, from the programs' --help and --version.
  find_program(SE_HELP2MAN help2man)
  set(se_man_name_plughost "load plug-in modules and run patches as the modular host does")
  set(se_man_name_sysex_tool "send, receive and convert MIDI System Exclusive files")
  set(se_man_pages "")
  foreach(tool plughost sysex_tool)
    set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${SE_HELP2MAN} --no-info --no-discard-stderr --section 1 --output ${page}
              --name ${se_man_name_${tool}}
              $<TARGET_FILE:${tool}>
      COMMAND gzip -n -9 -f ${page}
      DEPENDS ${tool}
      COMMENT "Manual page of ${tool} (help2man)"
      VERBATIM)
    list(APPEND se_man_pages ${page}.gz)
  endforeach()
  add_custom_target(man_pages DEPENDS ${se_man_pages})
  install(FILES ${se_man_pages} DESTINATION share/man/man1)

  # Debian's copyright file: ours, then what the binaries hold of others'.
  set(se_copyright ${CMAKE_BINARY_DIR}/copyright)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE text)
  file(WRITE ${se_copyright} "${text}")
  foreach(pair "CLI11:libcli11-dev" "nlohmann-json:nlohmann-json3-dev" "stb:libstb-dev")
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 name)
    list(GET pair 1 package)
    file(READ /usr/share/doc/${package}/copyright text)
    file(APPEND ${se_copyright} "\n\n==== ${name}, compiled into the programs (Debian's ${package}) ====\n\n${text}")
  endforeach()
  install(FILES ${se_copyright} DESTINATION share/doc/modular-suite)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME modular-suite)
  set(CPACK_DEBIAN_PACKAGE_VERSION "${SE_VERSION}")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_FILE_NAME "modular-suite_${SE_VERSION}_amd64.deb")
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Modular suite developers <modular-suite@localhost>")
endif()

set(CPACK_PACKAGE_NAME modular-suite)
set(CPACK_PACKAGE_VERSION "${SE_VERSION}")
set(CPACK_PACKAGE_VENDOR "Modular suite developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Plug-in modules for a modular-synthesizer host, a note calculator and tools")
# The package's long description, in lines that package tools show as they
# stand (CPack indents them as the control file needs).
set(CPACK_PACKAGE_DESCRIPTION
    "Five plug-in modules for a modular-synthesizer host: Forka (MIDI selector),
Divara_v3 and Divara_v2 (keyboard split), Kurvo (breakpoint curve panel) and
Byteloom (MIDI System Exclusive tool), with the stand-in host plughost that
loads, runs and validates them, sysex_tool for System Exclusive files and
ports, and the note calculator Tonus.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/dist)
include(CPack)
