# Warning and sanitizer flags for the project's own targets. Third-party
# sources built alongside (GoogleTest) get the sanitizers but not -Werror.

set(PLATDUMP_WARNINGS -Wall -Wextra -Werror)

if(PLATDUMP_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

# platdump_target_defaults(<target>): warnings, and hidden symbols unless a
# declaration is marked for export.
function(platdump_target_defaults target)
  target_compile_options(${target} PRIVATE ${PLATDUMP_WARNINGS})
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()
