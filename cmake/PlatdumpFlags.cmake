# Warning and sanitizer flags for the project's own targets. Third-party
# sources built alongside (GoogleTest) get the sanitizers but not -Werror.

set(PLATDUMP_WARNINGS -Wall -Wextra -Werror)

if(PLATDUMP_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

# The fuzz build instruments every target for libFuzzer's coverage; only
# the fuzzer executables link libFuzzer itself (-fsanitize=fuzzer). It is
# built lean, as CI builds it from scratch: -O1 and line tables only (after
# the build type's flags, so they win), with the standard library's own
# bounds checks (_GLIBCXX_ASSERTIONS) catching an index past a container's
# end that stays inside its allocation, where AddressSanitizer sees nothing.
if(PLATDUMP_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PLATDUMP_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  set(_fuzz -O1 -gline-tables-only -D_GLIBCXX_ASSERTIONS
      -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer
      -fsanitize-coverage-ignorelist=${CMAKE_CURRENT_SOURCE_DIR}/fuzz/coverage-ignore.txt)
  add_compile_options(${_fuzz})
  add_link_options(-fsanitize=address,undefined)
endif()

# platdump_target_defaults(<target>): warnings, and hidden symbols unless a
# declaration is marked for export.
function(platdump_target_defaults target)
  target_compile_options(${target} PRIVATE ${PLATDUMP_WARNINGS})
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# The coverage build (scripts/coverage.sh) compiles everything with
# --coverage itself. The library has no exception handler: an exception
# would leave it, which its interface forbids, so the cleanups the compiler
# adds for one (reached only by a failed allocation) are no branches of the
# library's; it is compiled without them there. Forked test children write
# their counters before they leave.
option(PLATDUMP_COVERAGE "The library without exception cleanups, test children writing coverage counters" OFF)
