# Installs the build tree to a fresh prefix and builds the consumer example
# against it twice, through find_package(platdump) and through pkg-config;
# each program must then run on a fresh simulation root, and the installed
# tool must read the dump it made.
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, LIBDIR, MANDIR, CXX, GENERATOR.

set(prefix ${WORK_DIR}/prefix)
set(example ${SOURCE_DIR}/examples/consumer)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

run("configuring the example with find_package" ${CMAKE_COMMAND} -S ${example} -B ${WORK_DIR}/package
    -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix})
run("building the example with find_package" ${CMAKE_COMMAND} --build ${WORK_DIR}/package)

run("pkg-config" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig
    pkg-config --cflags --libs platdump)
separate_arguments(pc_flags UNIX_COMMAND "${run_output}")
run("building the example with pkg-config" ${CXX} -std=c++17 ${example}/new_dump.cpp ${pc_flags}
    -Wl,-rpath,${prefix}/${LIBDIR} -o ${WORK_DIR}/new_dump_pc)

foreach(program ${WORK_DIR}/package/new_dump ${WORK_DIR}/new_dump_pc)
  get_filename_component(name ${program} NAME)
  set(root ${WORK_DIR}/sim-${name})
  file(MAKE_DIRECTORY ${root}/primary/plat_dump ${root}/backup/plat_dump ${root}/backup/registry ${root}/sim/fail)
  file(WRITE ${root}/primary/registry/svpd/Raw_MachineSerialNumber "AB12CD3")
  run("running ${name}" ${CMAKE_COMMAND} -E env PLATSIM_ROOT=${root} ${program})
  if(NOT run_output MATCHES "dump 0x0000001A: SYSDUMP\\.AB12CD3\\.0000001A\\.[0-9]+, client \"new_dump example\"")
    message(FATAL_ERROR "${name} printed:\n${run_output}")
  endif()
  message(STATUS "${name}: ${run_output}")
endforeach()

# The installed tool finds the installed libraries, and its man page is there.
run("the installed platdump" ${CMAKE_COMMAND} -E env PLATSIM_ROOT=${WORK_DIR}/sim-new_dump
    ${prefix}/bin/platdump show 1A --json)
if(NOT run_output MATCHES "\"clientId\": \"new_dump example\"")
  message(FATAL_ERROR "platdump show printed:\n${run_output}")
endif()
if(NOT EXISTS ${prefix}/${MANDIR}/man1/platdump.1)
  message(FATAL_ERROR "no man page under ${prefix}/${MANDIR}/man1")
endif()
