# Warnings and sanitizers shared by every target of the tree.
add_compile_options(-Wall -Wextra)

# Float arithmetic rounds after every operation: no multiply fused into the
# next addition, on any compiler, so that every build gives the same bits.
add_compile_options(-ffp-contract=off)

if(SE_CHECKED)
  add_compile_definitions(SE_CHECKED=1)
endif()

if(SE_SANITIZE)
  # float-cast-overflow: a float converted to an integer type that cannot
  # hold it is undefined behaviour too; both compilers can check it.
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined,float-cast-overflow)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()

if(SE_FUZZ)
  # Coverage feedback from every library a fuzzer links, not only from the
  # fuzz target's own sources (which add -fsanitize=fuzzer for the driver).
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(WIN32)
  # One self-contained DLL or EXE each: no MinGW runtime DLLs to ship.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports overlapping copies inside std::string concatenation at -O2
  # that cannot happen (a known false positive of that release).
  add_compile_options(-Wno-restrict)
endif()
