# Runs after CPack has made the Debian packages. CPack's Debian generator
# gives every package with a library under /usr/lib maintainer scripts that
# run ldconfig, and can't be told not to; the runtime package declares the
# ldconfig trigger instead, as Debian's own library packages do, so those
# scripts are taken out of it again.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${deb} NAME)
  if(NOT name MATCHES "^${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME}_")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME}-unpacked)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
