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

# velloran_library(<name> SOURCES ... [DEPS public deps...] [PRIVATE_DEPS ...])
# Headers are included from the repository root: #include "platform/value/Value.h".
function(velloran_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS} velloran_warnings)
endfunction()

# velloran_tests(<name> SOURCES ... DEPS ... [TSAN])
# Every test case runs in its own process. TSAN marks tests that exercise real threads: only those
# are built and run by the thread-sanitizer build (`make tsan`); the address-sanitizer build runs all.
function(velloran_tests name)
  cmake_parse_arguments(ARG "TSAN" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main velloran_warnings)
  if(VELLORAN_SANITIZER STREQUAL "thread" AND NOT ARG_TSAN)
    # Still a target, so folders can configure it, but neither built nor run here.
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  # One label only: the discovered tests' property list cannot carry a list value.
  set(label unit)
  if(ARG_TSAN)
    set(label tsan)
    add_dependencies(tsan_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS ${label}
                       DISCOVERY_TIMEOUT 30)
endfunction()
