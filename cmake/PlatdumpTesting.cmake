# Test frame: GoogleTest is built from Debian's sources (/usr/src/googletest)
# for whichever compiler and flags this build uses, so the host, sanitizer and
# PowerPC builds all test against a matching framework.

set(PLATDUMP_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${PLATDUMP_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

find_path(PLATDUMP_JSON_INCLUDE nlohmann/json.hpp
  PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# platdump_test_suite(<name> <dir> [LIBS ...]): one test binary from every
# <dir>/*_test.cpp, registered with CTest as one test. Each test case gets a
# fresh simulation root from the shared fixture (tests/common).
function(platdump_test_suite name dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  platdump_target_defaults(${name})
  target_link_libraries(${name} PRIVATE platdump_testcommon ${ARG_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 1500)
endfunction()
