# What `cmake --install` lays out.
#   Linux: the shared library with its SONAME links, the header, a pkg-config
#     file and a CMake package (find_package(PovUpdate) gives
#     PovUpdate::povupdate), and the command-line host with its manual page
#     and bash completion.
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
  install(FILES bindings/csharp/PovUpdate.cs bindings/csharp/PovUpdate.csproj
    bindings/csharp/PovUpdate.Managed.dll.config DESTINATION bindings/csharp)
  install(DIRECTORY docs/examples/ DESTINATION examples)
  install(FILES examples/Update_6.1.ini examples/PovConfig_6.1.ini DESTINATION examples)
  return()
endif()

# CMAKE_INSTALL_LIBDIR is chosen in the top-level CMakeLists.txt.
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
  file(RELATIVE_PATH POVUPDATE_CLI_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(povupdate_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${POVUPDATE_CLI_TO_LIB}")
  # The manual page with the version filled in, compressed as Debian wants
  # every manual page.
  configure_file(cli/povupdate.1 ${CMAKE_CURRENT_BINARY_DIR}/povupdate.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/povupdate.1.gz
    COMMAND sh -c "gzip -9n <\"$1\" >\"$2\"" sh ${CMAKE_CURRENT_BINARY_DIR}/povupdate.1
      ${CMAKE_CURRENT_BINARY_DIR}/povupdate.1.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/povupdate.1 VERBATIM)
  add_custom_target(povupdate_manual ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/povupdate.1.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/povupdate.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT cli)
  install(FILES cli/povupdate.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME povupdate COMPONENT cli)
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
# povupdate, installed under /usr, each with the copyright file and the
# changelog made from CHANGELOG.md in its /usr/share/doc directory; those
# two are left out of a plain `cmake --install`.
set(POVUPDATE_MAINTAINER "PovUpdate developers <povupdate@example.org>" CACHE STRING
  "The Maintainer of the Debian packages and of their changelog entries")
set(POVUPDATE_DEBIAN_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${POVUPDATE_DEBIAN_CHANGELOG}
  COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/debian/changelog.sh ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    povupdate ${POVUPDATE_MAINTAINER} ${POVUPDATE_DEBIAN_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/debian/changelog.sh VERBATIM)
add_custom_target(povupdate_debian_changelog ALL DEPENDS ${POVUPDATE_DEBIAN_CHANGELOG})

set(CPACK_PACKAGE_NAME povupdate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${POVUPDATE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Stripped: the debug symbols stay in the build tree.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The runtime package's shlibs file; the loader's cache is brought up to
# date by the ldconfig trigger, not by maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/drop-ldconfig-scripts.cmake)
set(POVUPDATE_ABOUT "PovUpdate is loaded by update programs (hosts) to walk the list of software
updates on offer (the update file Update_<version>.ini), to read and record
the installed version of each item (PovConfig_<version>.ini), and to keep the
directory updates are installed into.")
set(POVUPDATE_RUNTIME_DEPENDS "libpovupdate${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libpovupdate${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "library for update programs: update lists and installed versions
${POVUPDATE_ABOUT}

This package holds the shared library libpovupdate.so.${PROJECT_VERSION_MAJOR}.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libpovupdate-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ${POVUPDATE_RUNTIME_DEPENDS})
set(CPACK_DEBIAN_DEV_DESCRIPTION "development files of libpovupdate, the update programs' library
${POVUPDATE_ABOUT}

This package holds what a host is built with: the header povupdate.h, the
pkg-config file povupdate.pc and the CMake package PovUpdate.")
if(TARGET povupdate_cli)
  list(APPEND CPACK_COMPONENTS_ALL cli)
  set(CPACK_DEBIAN_CLI_PACKAGE_NAME povupdate)
  set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS ${POVUPDATE_RUNTIME_DEPENDS})
  set(CPACK_DEBIAN_CLI_DESCRIPTION "command-line host of the PovUpdate library
${POVUPDATE_ABOUT}

This package holds povupdate, which makes every capability of the library
usable from a shell, and checks and edits update files for their
publishers.")
  # The library the host needs is in the runtime package, found here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  install(FILES cmake/debian/copyright ${POVUPDATE_DEBIAN_CHANGELOG}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
include(CPack)
