# Checks the dynamic symbols of LIBRARY: every name listed in NAMES (one per
# line, demangled, '#' starts a comment) is defined, and no symbol of the
# library's internal namespaces is.
execute_process(COMMAND ${NM} -D --defined-only -C ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()

file(STRINGS ${NAMES} expected REGEX "^[^#]")
set(missing "")
foreach(name ${expected})
  string(FIND "${symbols}" " ${name}" at)
  if(at EQUAL -1)
    list(APPEND missing "${name}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not exported: ${missing}")
endif()

string(REGEX MATCHALL "[^\n]*( dump::| platsim::| \\(anonymous namespace\\))[^\n]*" internal "${symbols}")
if(internal)
  message(FATAL_ERROR "internal helpers exported:\n${internal}")
endif()
list(LENGTH expected count)
message(STATUS "${count} exported names present, no internal helper exported")
