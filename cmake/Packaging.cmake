# Debian package of what `cmake --install` puts in place:
#   cpack -G DEB --config <build>/CPackConfig.cmake
# The library dependencies come from dpkg-shlibdeps (package dpkg-dev); the windowing plugin
# is loaded at run time, so no library names it and it is listed by hand.
set(CPACK_PACKAGE_NAME zaplo)
set(CPACK_PACKAGE_VENDOR "Zaplo developers")
set(CPACK_PACKAGE_CONTACT "Zaplo developers <zaplo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Draw together on a shared canvas and chat")
set(CPACK_PACKAGE_DESCRIPTION
    "Several people draw together on one shared canvas and chat while they do it, over a TCP/IP network. One copy hosts, the others join.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
