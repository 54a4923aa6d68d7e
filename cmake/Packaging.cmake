# Desktop integration and the Debian package ("cpack -G DEB" in the build directory).

install(FILES ${PROJECT_SOURCE_DIR}/data/tavik-connection.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/tavik-connection.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME tavik-connection)
set(CPACK_PACKAGE_VENDOR "Korvane Solutions, Inc.")
set(CPACK_PACKAGE_CONTACT "Tavik Instrument Connection maintainers <maintainers@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "ties this computer to one Tavik laboratory instrument on the local network")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Tavik Instrument Connection shows which laboratory instrument this computer is\n"
    "configured to use and whether it answers; finds the instruments on the network\n"
    "segment by broadcast; claims, releases and renames them; and repairs the stored\n"
    "connection when the instrument has moved to another address. It speaks the\n"
    "instruments' UDP protocol on port 19798.\n"
    "\n"
    "The package also holds tavik-instrument-sim, a simulator of instruments for trying\n"
    "the program out and for tests.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps (package dpkg-dev); Qt's platform plugins and
# the SVG icon engine (for the window icon) are loaded at run time, which shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

include(CPack)
