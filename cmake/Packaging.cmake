# Two Debian packages of what `cmake --install` puts in place, one per install component:
#   zaplo         (component desktop): the desktop program, its menu entry, icons, AppStream
#                  description and manual page
#   zaplo-server  (component server): the headless server, its systemd unit and settings, and
#                  its manual page; Qt Core and Qt Network only
#   cpack -G DEB --config <build>/CPackConfig.cmake
# The library dependencies come from dpkg-shlibdeps (package dpkg-dev); the desktop program's
# windowing plugin is loaded at run time, so no library names it and it is listed by hand.
set(CPACK_PACKAGE_NAME zaplo)
set(CPACK_PACKAGE_VENDOR "Zaplo developers")
set(CPACK_PACKAGE_CONTACT "Zaplo developers <zaplo@localhost>")
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
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "Draw together on a shared canvas and chat
Several people draw together on one shared canvas and chat while they do it, over a TCP/IP network. One copy hosts, the others join.")
set(CPACK_DEBIAN_SERVER_DESCRIPTION "Host a Zaplo session without a desktop
zaplo-server hosts a session of Zaplo, the shared canvas and chat, on a machine without a display; people join it with the desktop program. It comes with a systemd unit, not enabled.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME zaplo)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS qt6-qpa-plugins)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME zaplo-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/server/debian/conffiles ${CMAKE_SOURCE_DIR}/server/debian/postinst
    ${CMAKE_SOURCE_DIR}/server/debian/prerm ${CMAKE_SOURCE_DIR}/server/debian/postrm)
include(CPack)
