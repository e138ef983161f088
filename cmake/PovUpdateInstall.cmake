# What `cmake --install` lays out.
#   Linux: the shared library with its SONAME links, the header, a pkg-config
#     file and a CMake package (find_package(PovUpdate) gives
#     PovUpdate::povupdate), and the command-line host.
#   Windows: the release folder, everything a host's developer needs side by
#     side: the DLL, its MinGW import library, the header, the .def file, the
#     command-line host, the host guide and its examples. scripts/package adds
#     the import library for Microsoft's linker and zips it.
if(WIN32)
  install(TARGETS povupdate RUNTIME DESTINATION . ARCHIVE DESTINATION .)
  install(TARGETS povupdate_cli RUNTIME DESTINATION .)
  install(FILES interface/povupdate.h interface/PovUpdate.def docs/HOST-GUIDE.md DESTINATION .)
  install(DIRECTORY docs/examples/ DESTINATION examples)
  return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(POVUPDATE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PovUpdate)

# The static code libraries are linked into the shared library privately, so
# the exported target needs none of them.
install(TARGETS povupdate EXPORT PovUpdateTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS povupdate_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES interface/povupdate.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT PovUpdateTargets NAMESPACE PovUpdate:: DESTINATION ${POVUPDATE_CMAKE_DIR})
configure_package_config_file(cmake/PovUpdateConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfig.cmake INSTALL_DESTINATION ${POVUPDATE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfigVersion.cmake DESTINATION ${POVUPDATE_CMAKE_DIR})

# The pkg-config file finds its directories from its own place, so a tree
# installed with `cmake --install --prefix` elsewhere, or moved, still works.
set(POVUPDATE_PC_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH POVUPDATE_PC_PREFIX ${POVUPDATE_PC_DIR} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" POVUPDATE_PC_PREFIX ${POVUPDATE_PC_PREFIX})
file(RELATIVE_PATH POVUPDATE_PC_INCLUDEDIR ${POVUPDATE_PC_DIR} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(cmake/povupdate.pc.in ${CMAKE_CURRENT_BINARY_DIR}/povupdate.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/povupdate.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
