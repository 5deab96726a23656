# Libraries from the system packages. nlohmann-json, CLI11 and stb are
# header-only; the cross build cannot search /usr/include as a whole (it holds
# glibc), so it sees just these folders through a small include tree of links.
set(SE_SYSTEM_HEADERS ${CMAKE_BINARY_DIR}/system-headers)
file(MAKE_DIRECTORY ${SE_SYSTEM_HEADERS})
foreach(dir nlohmann CLI stb)
  if(NOT EXISTS ${SE_SYSTEM_HEADERS}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${SE_SYSTEM_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()
add_library(third_party_headers INTERFACE)
target_include_directories(third_party_headers SYSTEM INTERFACE ${SE_SYSTEM_HEADERS})

if(CMAKE_CROSSCOMPILING)
  # GoogleTest from the sources that Debian installs.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # It defines the GTest:: targets itself.
else()
  find_package(GTest REQUIRED)
  if(SE_BENCH)
    find_package(benchmark QUIET)
  endif()
endif()
