# What `cmake --install` puts where, and the Debian package cpack makes of it.
#
#   lib/libvantik.so.*, lib/libvantik.a        the library, shared and static
#   include/vantik/                            the public headers
#   lib/cmake/vantik/                          find_package(vantik) -> vantik::vantik
#   lib/pkgconfig/vantik.pc                    pkg-config vantik
#   bin/vantik                                 the tool
#   lib/cups/filter/rastertovantik             the print-queue filter
#   share/ppd/vantik/vantik.ppd                the queue's PPD
#   share/cups/mime/vantik.types               the filter's output type
#   share/vantik/resources/                    the built-in resource blocks as files
#   share/man/man1/vantik.1, man8/rastertovantik.8
#
# CUPS looks for filters in its own folder only (/usr/lib/cups/filter on
# Debian), so a queue sees the filter when the prefix is /usr, as in the
# Debian package; VANTIK_CUPS_SERVERBIN moves it elsewhere.
include(CMakePackageConfigHelpers)

set(VANTIK_CUPS_SERVERBIN "lib/cups" CACHE STRING
    "CUPS's ServerBin folder (filters go to its filter/), relative to the prefix or absolute")
set(VANTIK_CUPS_DATADIR "${CMAKE_INSTALL_DATADIR}/cups" CACHE STRING
    "CUPS's data folder (the MIME type goes to its mime/)")
set(VANTIK_PPD_DIR "${CMAKE_INSTALL_DATADIR}/ppd/vantik" CACHE STRING
    "where the PPD goes; CUPS's driver list reads share/ppd")
set(VANTIK_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/vantik")

set_target_properties(vantik_shared PROPERTIES EXPORT_NAME vantik)
set_target_properties(vantik_static PROPERTIES EXPORT_NAME vantik_static)
install(TARGETS vantik_shared vantik_static EXPORT vantikTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/vantik/vantik.h include/vantik/vantik.hpp include/vantik/bridge16.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantik COMPONENT dev)
install(EXPORT vantikTargets NAMESPACE vantik:: DESTINATION ${VANTIK_CMAKE_DIR}
  FILE vantikTargets.cmake COMPONENT dev)
configure_package_config_file(cmake/vantikConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vantikConfig.cmake INSTALL_DESTINATION ${VANTIK_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vantikConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantikConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vantikConfigVersion.cmake
  DESTINATION ${VANTIK_CMAKE_DIR} COMPONENT dev)
# The .pc file finds its prefix from where it lies, so the same file serves
# an install under any prefix and the Debian package.
file(RELATIVE_PATH VANTIK_PC_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(cmake/vantik.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vantik.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantik.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(VANTIK_BUILD_TOOLS)
  install(TARGETS vantik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  install(TARGETS rastertovantik RUNTIME DESTINATION ${VANTIK_CUPS_SERVERBIN}/filter
    COMPONENT runtime)
endif()
if(VANTIK_PPDC)
  install(FILES ${VANTIK_PPD} DESTINATION ${VANTIK_PPD_DIR} COMPONENT runtime)
endif()
# The built-in resource set as block files, for programs that use the
# library directly (`--resources DIR` of the tool reads the same layout).
install(DIRECTORY ${CMAKE_BINARY_DIR}/resources/default/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/vantik/resources COMPONENT runtime)
install(FILES ppd/vantik.types DESTINATION ${VANTIK_CUPS_DATADIR}/mime COMPONENT runtime)
foreach(page vantik.1 rastertovantik.8)
  configure_file(docs/man/${page} ${CMAKE_CURRENT_BINARY_DIR}/man/${page} @ONLY)
  string(REGEX MATCH "[0-9]$" section ${page})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT runtime)
endforeach()

# cpack -G DEB: one package with the library, headers, tool, filter and PPD.
set(CPACK_PACKAGE_NAME vantik)
set(CPACK_PACKAGE_VENDOR vantik)
set(CPACK_PACKAGE_CONTACT "vantik developers <vantik@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "colour matching and halftoning for ink-jet printing, with a CUPS filter")
set(CPACK_PACKAGE_DESCRIPTION
    "vantik colour-matches and halftones pages into ink dot planes: a library\n(C and C++), the vantik command-line tool, and rastertovantik, a CUPS filter\nwith the PPD of a generic four-ink ink-jet queue.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The filter reads raster that the cups filters (gstoraster) make from PDF.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, cups-filters, ghostscript")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/postinst ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
