# What an install lays out, in three components that become three Debian
# packages: the plug-in (lib), what a host integrator builds against (dev)
# and the tool (tool).
include(CMakePackageConfigHelpers)

set(TAM_RPD_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/tam_rpd)

install(TARGETS tam_rpd EXPORT tam_rpdTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev)
install(FILES include/tam_rpd.h include/tam_rpd_host.h ${PROJECT_BINARY_DIR}/include/tam_rpd_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# find_package(tam_rpd): the imported target tam_rpd::tam_rpd and a version file.
install(EXPORT tam_rpdTargets NAMESPACE tam_rpd:: DESTINATION ${TAM_RPD_CMAKEDIR} COMPONENT dev)
configure_package_config_file(cmake/tam_rpdConfig.cmake.in ${PROJECT_BINARY_DIR}/tam_rpdConfig.cmake
  INSTALL_DESTINATION ${TAM_RPD_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tam_rpdConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tam_rpdConfig.cmake ${PROJECT_BINARY_DIR}/tam_rpdConfigVersion.cmake
  DESTINATION ${TAM_RPD_CMAKEDIR} COMPONENT dev)

# pkg-config: the include flags, and the plug-in's path as the variable `plugin`.
# The prefix is found from the .pc file's own place, so an install can move.
file(RELATIVE_PATH TAM_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TAM_PC_TO_PREFIX "${TAM_PC_TO_PREFIX}")
set(TAM_PC_PREFIX "\${pcfiledir}/${TAM_PC_TO_PREFIX}")
set(TAM_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
set(TAM_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
set(TAM_RPD_SONAME libtam_rpd.so.${PROJECT_VERSION_MAJOR})
configure_file(cmake/tam_rpd.pc.in ${PROJECT_BINARY_DIR}/tam_rpd.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tam_rpd.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
# Documentation goes where each package's own documentation lives.
install(FILES docs/abi.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libtam-rpd-dev COMPONENT dev)
install(FILES examples/host.c examples/CMakeLists.txt
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libtam-rpd-dev/examples COMPONENT dev)

if(TAM_RPD_TOOLS)
  install(TARGETS rpd-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  install(FILES docs/rpd-host.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
  install(FILES README.md docs/rpd-host.schema.json DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/rpd-host
    COMPONENT tool)
endif()

# Each package's copyright file: the project is MIT; the Wireshark plug-in,
# which links Wireshark, is distributed under the GPL, version 2 or later.
set(TAM_RPD_COPYRIGHT_EXTRA "")
configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${PROJECT_BINARY_DIR}/copyright/mit @ONLY)
set(TAM_RPD_COPYRIGHT_EXTRA "
Files: tools/wireshark/*
Copyright: 2026 tam_rpd developers
License: GPL-2+
 This program is free software; you can redistribute it and/or modify it
 under the terms of the GNU General Public License as published by the Free
 Software Foundation; either version 2 of the License, or (at your option)
 any later version. The plug-in binary, which links Wireshark's libraries and
 the MIT-licensed host side above, is distributed under these terms.
 .
 On Debian systems, the full text of the GNU General Public License version 2
 can be found in /usr/share/common-licenses/GPL-2.")
configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${PROJECT_BINARY_DIR}/copyright/wireshark @ONLY)
foreach(pair "lib;libtam-rpd${PROJECT_VERSION_MAJOR}" "dev;libtam-rpd-dev" "tool;rpd-host")
  list(GET pair 0 component)
  list(GET pair 1 package)
  if(component STREQUAL "tool" AND NOT TAM_RPD_TOOLS)
    continue()
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/copyright/mit DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    RENAME copyright COMPONENT ${component})
endforeach()

# Debian packages: cpack -G DEB in the build directory.
set(CPACK_PACKAGE_NAME tam-rpd)
set(CPACK_PACKAGE_VENDOR "tam_rpd developers")
set(CPACK_PACKAGE_CONTACT "tam_rpd developers <rpd@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "BGP Routing Policy Distribution plug-in and its host tool")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libtam-rpd${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIB_DESCRIPTION "BGP RPD plug-in (AFI 1, SAFI 75) for a host BGP process
 Decodes and encodes the RPD NLRI and the Wide Community export policy; the
 host process loads it and provides its platform services.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtam-rpd-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libtam-rpd${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION "BGP RPD plug-in: headers, pkg-config and CMake files
 The public headers (the plug-in interface and the host services a host must
 provide), tam_rpd.pc, the tam_rpd CMake package and the ABI contract.")
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME rpd-host)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libtam-rpd${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_TOOL_DESCRIPTION "Shows the BGP routing policies (RPD) in captures, dumps and files
 rpd-host reads MRT dumps, pcap/pcapng captures, raw and hex BGP messages
 (compressed or not) and shows every RPD route and policy, as text or JSON.")
if(TARGET rpd_wireshark)
  install(TARGETS rpd_wireshark LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins/${TAM_RPD_WIRESHARK_ABI}/epan
    COMPONENT wireshark)
  install(FILES ${PROJECT_BINARY_DIR}/copyright/wireshark DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/wireshark-rpd
    RENAME copyright COMPONENT wireshark)
  list(APPEND CPACK_COMPONENTS_ALL wireshark)
  set(CPACK_DEBIAN_WIRESHARK_PACKAGE_NAME wireshark-rpd)
  # The plug-in is built for one Wireshark ABI: the series of the library it was built against.
  set(CPACK_DEBIAN_WIRESHARK_PACKAGE_DEPENDS "libtam-rpd${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})${TAM_RPD_WIRESHARK_DEPENDS}")
  set(CPACK_COMPONENT_WIRESHARK_DESCRIPTION "Wireshark and tshark decode BGP RPD through the RPD plug-in
 A Wireshark plug-in that hosts libtam_rpd as a BGP process does: every RPD
 route and policy of BGP UPDATEs (in TCP and in BMP) gets an RPD tree and
 filterable fields (rpd.distinguisher, rpd.community, ...), and refusals an
 expert info with the rule and the byte.")
endif()
include(CPack)
