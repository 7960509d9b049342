# SPDX-License-Identifier: MIT
# Two Debian packages of what `cmake --install` puts in place, one per install component:
#   zaplo         (component desktop): the desktop program, its menu entry, icons, AppStream
#                  description and manual page
#   zaplo-server  (component server): the headless server, its systemd unit and settings, and
#                  its manual page; Qt Core and Qt Network only
#   cpack -G DEB --config <build>/CPackConfig.cmake
# The library dependencies come from dpkg-shlibdeps (package dpkg-dev); the desktop program's
# windowing plugin is loaded at run time, so no library names it and it is listed by hand.
set(CPACK_PACKAGE_NAME zaplo)
set(CPACK_PACKAGE_VENDOR "${ZAPLO_MAINTAINER_NAME}")
set(CPACK_PACKAGE_CONTACT "${ZAPLO_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL desktop server)
# The first line is the package's synopsis, the rest its long description. (No package-wide
# summary is set: CPack would put it before both.)
# Debian shows the lines as they are: none may pass 80 columns.
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "Draw together on a shared canvas and chat
Zaplo lets several people draw together on one shared canvas and chat while
they do it, over a TCP/IP network. One copy hosts the session and the others
join it; every stroke and every chat line shows at once on every screen.
Sessions can be encrypted with TLS.")
set(CPACK_DEBIAN_SERVER_DESCRIPTION "Host a Zaplo session without a desktop
zaplo-server hosts a session of Zaplo, the shared canvas and chat, on a
machine without a display, such as a small server that stays on; people join
it with the desktop program. It needs only Qt Core and Qt Network and comes
with a systemd unit, installed but not enabled.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME zaplo)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS qt6-qpa-plugins)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME zaplo-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/server/debian/conffiles ${CMAKE_SOURCE_DIR}/server/debian/postinst
    ${CMAKE_SOURCE_DIR}/server/debian/prerm ${CMAKE_SOURCE_DIR}/server/debian/postrm)

# Each package's /usr/share/doc/<package>: the copyright file in Debian's machine-readable format,
# made from LICENSE (whose terms are the MIT licence, called Expat there), and the changelog made
# from CHANGELOG.md. Like the service unit, they come with the packages only.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.+)$")
    message(FATAL_ERROR "LICENSE has no line \"Copyright (c) <year> <holder>\" before its terms")
endif()
set(ZAPLO_COPYRIGHT "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" terms)
# One space before every line of the terms, a lone "." for an empty one.
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " ZAPLO_LICENSE_TERMS "${terms}")
set(debian_docs ${CMAKE_BINARY_DIR}/debian)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/copyright.in ${debian_docs}/copyright @ONLY)
set(changelogs "")
foreach(component desktop server)
    string(TOUPPER ${component} upper)
    set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
    zaplo_debian_changelog(${package} "${ZAPLO_MAINTAINER}" ${debian_docs}/${package}/changelog)
    add_custom_command(OUTPUT ${debian_docs}/${package}/changelog.gz
                       COMMAND gzip -9 -n -c changelog > changelog.gz
                       WORKING_DIRECTORY ${debian_docs}/${package}
                       DEPENDS ${debian_docs}/${package}/changelog VERBATIM)
    list(APPEND changelogs ${debian_docs}/${package}/changelog.gz)
    install(FILES ${debian_docs}/copyright ${debian_docs}/${package}/changelog.gz
            DESTINATION share/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
add_custom_target(zaplo_package_docs ALL DEPENDS ${changelogs})

include(CPack)
