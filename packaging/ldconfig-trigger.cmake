# Run by CPack after it has written the packages (CPACK_POST_BUILD_SCRIPTS). For a package
# with a shared library below /usr/lib, CPack writes postinst and postrm scripts that call
# ldconfig; Debian has dpkg run ldconfig once through its trigger instead. The library
# package is unpacked and packed again by dpkg-deb, without those two scripts and with the
# trigger; its files, md5sums, shlibs and control stay as CPack wrote them.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND "${DPKG_DEB}" --field "${deb}" Package
    OUTPUT_VARIABLE package OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT package STREQUAL "@runtime_package@")
    continue()
  endif()
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/ldconfig-trigger/${package}")
  file(REMOVE_RECURSE "${tree}")
  file(MAKE_DIRECTORY "${CPACK_TOPLEVEL_DIRECTORY}/ldconfig-trigger")
  execute_process(COMMAND "${DPKG_DEB}" --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    file(STRINGS "${tree}/DEBIAN/${script}" lines)
    # Nothing but the shell's boilerplate and ldconfig, or the script is not CPack's.
    list(FILTER lines EXCLUDE REGEX "^(#!/bin/sh|set -e|if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then|[ \t]*ldconfig|fi|)$")
    if(lines)
      message(FATAL_ERROR "${package}: ${script} does more than call ldconfig: ${lines}")
    endif()
    file(REMOVE "${tree}/DEBIAN/${script}")
  endforeach()
  file(WRITE "${tree}/DEBIAN/triggers" "activate-noawait ldconfig\n")
  execute_process(COMMAND "${DPKG_DEB}" --root-owner-group --build "${tree}" "${deb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
