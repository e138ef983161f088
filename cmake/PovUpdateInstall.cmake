# What `cmake --install` lays out.
#   Linux: the shared library with its SONAME links, the header, a pkg-config
#     file and a CMake package (find_package(PovUpdate) gives
#     PovUpdate::povupdate), and the command-line host.
#   Windows: the release folder, everything a host's developer needs: the
#     DLL, its MinGW import library and the command-line host in a folder of
#     their architecture's own (x86, x64), so that both builds install into
#     one folder; beside them the header, the .def file, the guides, both
#     bindings and the examples with sample configuration files.
#     scripts/package adds the import libraries for Microsoft's linker and
#     zips it.
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(POVUPDATE_ARCH_DIR x64)
  else()
    set(POVUPDATE_ARCH_DIR x86)
  endif()
  install(TARGETS povupdate RUNTIME DESTINATION ${POVUPDATE_ARCH_DIR} ARCHIVE DESTINATION ${POVUPDATE_ARCH_DIR})
  if(TARGET povupdate_cli)
    install(TARGETS povupdate_cli RUNTIME DESTINATION ${POVUPDATE_ARCH_DIR})
  endif()
  install(FILES interface/povupdate.h interface/PovUpdate.def docs/HOST-GUIDE.md CHANGELOG.md DESTINATION .)
  install(FILES docs/RELEASE-README.md DESTINATION . RENAME README.md)
  # The bindings as in the repository, so that the guide's paths hold in both.
  install(FILES bindings/python/pyproject.toml DESTINATION bindings/python)
  install(FILES bindings/python/povupdate/__init__.py bindings/python/povupdate/py.typed
    DESTINATION bindings/python/povupdate)
  install(FILES bindings/csharp/PovUpdate.cs bindings/csharp/PovUpdate.csproj DESTINATION bindings/csharp)
  install(DIRECTORY docs/examples/ DESTINATION examples)
  install(FILES examples/Update_6.1.ini examples/PovConfig_6.1.ini DESTINATION examples)
  return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(POVUPDATE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PovUpdate)

# Three components, one Debian package each: runtime (the library under its
# SONAME), dev (what a host is built with) and cli (the command-line host).
# The static code libraries are linked into the shared library privately, so
# the exported target needs none of them.
install(TARGETS povupdate EXPORT PovUpdateTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET povupdate_cli)
  install(TARGETS povupdate_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
endif()
install(FILES interface/povupdate.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

install(EXPORT PovUpdateTargets NAMESPACE PovUpdate:: DESTINATION ${POVUPDATE_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/PovUpdateConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfig.cmake INSTALL_DESTINATION ${POVUPDATE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/PovUpdateConfigVersion.cmake DESTINATION ${POVUPDATE_CMAKE_DIR}
  COMPONENT dev)

# The pkg-config file finds its directories from its own place, so a tree
# installed with `cmake --install --prefix` elsewhere, or moved, still works.
set(POVUPDATE_PC_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH POVUPDATE_PC_PREFIX ${POVUPDATE_PC_DIR} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" POVUPDATE_PC_PREFIX ${POVUPDATE_PC_PREFIX})
file(RELATIVE_PATH POVUPDATE_PC_INCLUDEDIR ${POVUPDATE_PC_DIR} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(cmake/povupdate.pc.in ${CMAKE_CURRENT_BINARY_DIR}/povupdate.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/povupdate.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)

# `cpack -G DEB` in the build tree: libpovupdate1, libpovupdate-dev and
# povupdate, installed under /usr.
set(CPACK_PACKAGE_NAME povupdate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "The update list, installed versions and install directory of update programs")
set(CPACK_PACKAGE_CONTACT "PovUpdate developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The runtime package's shlibs file, and its ldconfig call on install.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(POVUPDATE_RUNTIME_DEPENDS "libpovupdate${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libpovupdate${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libpovupdate-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ${POVUPDATE_RUNTIME_DEPENDS})
if(TARGET povupdate_cli)
  list(APPEND CPACK_COMPONENTS_ALL cli)
  set(CPACK_DEBIAN_CLI_PACKAGE_NAME povupdate)
  set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS ${POVUPDATE_RUNTIME_DEPENDS})
  # The library the host needs is in the runtime package, found here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
endif()
include(CPack)
