# One library target per folder, and its test executable.

add_library(velloran_warnings INTERFACE)
target_compile_options(velloran_warnings INTERFACE -Wall -Wextra -Werror)
# GCC 12's flow-sensitive checks misfire inside the standard library's containers once the optimizer
# inlines them (vector inserts, optional in a ring of slots); later releases fixed them. They stay on
# for every other compiler.
target_compile_options(velloran_warnings INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:
    -Wno-array-bounds -Wno-restrict -Wno-maybe-uninitialized -Wno-stringop-overflow -Wno-stringop-overread>)

add_custom_target(tsan_tests)
add_custom_target(asan_tests)

# Include roots. Headers are always spelled from the repository root ("platform/value/Value.h",
# "sdk-core/BCNApp.h"), but no target sees the repository root itself: a target sees its own folder
# and the folders its dependencies export, so including from a folder one does not depend on fails to
# compile.
#
# A folder's include root is a directory in the build tree holding one link, at the folder's path
# from the repository root, to the folder: build/include-roots/platform_value/platform/value ->
# platform/value. Adding it exposes exactly that folder (and what lies below it).
#
# A folder with an `include/` directory draws a public line (the SDK folders): `F/include/F/...`
# holds the headers other targets may use and is all the target exports; the headers beside the
# sources are internal, seen only by the folder's own targets and tests through the folder root.
# A folder without `include/` (platform/, Velloran/) exports its whole folder root.

# Sets <out> to the include root of <folder> (an absolute source directory), creating it once.
function(velloran_folder_include_root out folder)
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${folder})
  string(REPLACE "/" "_" key "${relative}")
  set(root ${PROJECT_BINARY_DIR}/include-roots/${key})
  if(NOT IS_SYMLINK ${root}/${relative})
    get_filename_component(parent ${root}/${relative} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${folder} ${root}/${relative} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# Lets <target> include the internal headers of the folder whose CMakeLists.txt is being read: for
# a folder's tests, benchmarks and helper programs.
function(velloran_folder_internals target)
  velloran_folder_include_root(root ${CMAKE_CURRENT_SOURCE_DIR})
  target_include_directories(${target} PRIVATE ${root})
endfunction()

# velloran_library(<name> [SOURCES ...] [DEPS public deps...] [PRIVATE_DEPS ...])
# The library of the folder whose CMakeLists.txt calls it; see "Include roots" above for what it
# exports. Without SOURCES it is a header-only library (test support, say), and DEPS are what its
# headers use.
function(velloran_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  velloran_folder_include_root(root ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT ARG_SOURCES)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${root})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include PRIVATE ${root})
  else()
    target_include_directories(${name} PUBLIC ${root})
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS} velloran_warnings)
endfunction()

# velloran_tests(<name> SOURCES ... DEPS ... [TSAN | WIDGETS])
# The tests of the folder whose CMakeLists.txt calls it: they see the folder's internal headers.
# Every test case runs in its own process. The plain build runs every test; each sanitizer build
# builds and runs only the tests that can show it something:
#  - TSAN marks tests that exercise real threads (label "tsan"): the thread-sanitizer build
#    (`make tsan`, target tsan_tests) runs only these.
#  - WIDGETS marks pure widget tests - layout, painting and input on the offscreen platform, over
#    fakes, on the test's own thread (label "widgets"): the address-sanitizer build (`make asan`,
#    target asan_tests) runs every test but these. What reads bytes from outside, shares memory
#    between threads or runs the application's process belongs there, however much of it is Qt.
function(velloran_tests name)
  cmake_parse_arguments(ARG "TSAN;WIDGETS" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_TSAN AND ARG_WIDGETS)
    message(FATAL_ERROR "velloran_tests(${name}): TSAN and WIDGETS exclude each other")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  velloran_folder_internals(${name})
  # Every test program runs in a temporary home of its own (platform/testing/TestProgramHome.cpp).
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} platform_testing_program_home GTest::gmock
                        GTest::gtest_main velloran_warnings)
  if(VELLORAN_FUZZ_TARGETS)
    # Coverage feedback is for the fuzzers' libFuzzer, which no test links; instrumenting the tests'
    # own code for it costs a quarter of their build and checks nothing.
    target_compile_options(${name} PRIVATE -fno-sanitize=fuzzer-no-link)
  endif()
  if((VELLORAN_SANITIZER STREQUAL "thread" AND NOT ARG_TSAN)
     OR (VELLORAN_SANITIZER STREQUAL "address" AND ARG_WIDGETS))
    # Still a target, so folders can configure it, but neither built nor run here.
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  # One label only: the discovered tests' property list cannot carry a list value.
  if(ARG_TSAN)
    set(label tsan)
    add_dependencies(tsan_tests ${name})
  elseif(ARG_WIDGETS)
    set(label widgets)
  else()
    set(label unit)
  endif()
  if(NOT ARG_WIDGETS)
    add_dependencies(asan_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS ${label}
                       DISCOVERY_TIMEOUT 30)
endfunction()
