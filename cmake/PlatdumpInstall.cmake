# Installed layout: libplatdump and libplatsim, the headers under
# include/platdump (the platform declarations in include/platdump/platform),
# the CMake package platdump (targets platdump::platdump, platdump::platsim)
# and the pkg-config file platdump.pc.

include(CMakePackageConfigHelpers)

install(TARGETS platdump platsim EXPORT platdumpTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY include/platdump DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY platform/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/platdump/platform
  FILES_MATCHING PATTERN "*.h" PATTERN "tests" EXCLUDE PATTERN "sim" EXCLUDE)
install(FILES platform/sim/platsim.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/platdump/platform/sim)

install(EXPORT platdumpTargets NAMESPACE platdump::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/platdump)
configure_package_config_file(cmake/platdumpConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/platdumpConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/platdump)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/platdumpConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/platdumpConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/platdumpConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/platdump)

configure_file(cmake/platdump.pc.in ${CMAKE_CURRENT_BINARY_DIR}/platdump.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/platdump.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
