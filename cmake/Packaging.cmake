# Desktop integration and the Debian package ("cpack -G DEB" in the build directory).

set(TAVIK_MAINTAINER "Tavik Instrument Connection team <team@tavik.example.org>")
set(TAVIK_HOMEPAGE "https://tavik.example.org/")
set(TAVIK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tavik-connection)

install(FILES ${PROJECT_SOURCE_DIR}/data/tavik-connection.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/tavik-connection.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/org.example.tavik.connection.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright DESTINATION ${TAVIK_DOC_DIR})
# The Wireshark dissector, in the folder where Debian's Wireshark and tshark load global Lua
# plugins ("Global Lua Plugins" in "tshark -G folders"), which no Wireshark update renames.
install(FILES ${PROJECT_SOURCE_DIR}/data/wireshark/tavik.lua
        DESTINATION lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)

# One manual page per program in /usr/bin, section 1. The command-line client brings its own.
set(TAVIK_MANUAL_PAGES ${PROJECT_SOURCE_DIR}/data/man/tavik-connection.1
                       ${PROJECT_SOURCE_DIR}/data/man/tavik-instrument-sim.1)
if(EXISTS ${PROJECT_SOURCE_DIR}/cli/tavikctl.1)
    list(APPEND TAVIK_MANUAL_PAGES ${PROJECT_SOURCE_DIR}/cli/tavikctl.1)
endif()
# Its bash completion, loaded on demand by bash-completion under the program's own name.
if(EXISTS ${PROJECT_SOURCE_DIR}/cli/tavikctl.bash-completion)
    install(FILES ${PROJECT_SOURCE_DIR}/cli/tavikctl.bash-completion
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavikctl)
endif()

# zsh and fish complete it too. firewalld and ufw get the instruments' port as a service and an
# application profile, which the package does not enable; ufw's, under /etc, is a conffile.
if(EXISTS ${PROJECT_SOURCE_DIR}/cli/tavikctl.zsh-completion)
    install(FILES ${PROJECT_SOURCE_DIR}/cli/tavikctl.zsh-completion
            DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions RENAME _tavikctl)
    install(FILES ${PROJECT_SOURCE_DIR}/cli/tavikctl.fish
            DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/data/firewall/tavik-connection.xml
        DESTINATION lib/firewalld/services)
install(FILES ${PROJECT_SOURCE_DIR}/data/firewall/tavik-connection.ufw
        DESTINATION /etc/ufw/applications.d RENAME tavik-connection)
file(WRITE ${PROJECT_BINARY_DIR}/package/conffiles "/etc/ufw/applications.d/tavik-connection\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/package/conffiles)

# Manual pages and the changelog are installed compressed, as Debian wants: gzip at its best
# compression, without a file name or time stamp inside, so that two builds give the same bytes.
set(TAVIK_COMPRESSED_DIR ${PROJECT_BINARY_DIR}/package)
set(TAVIK_COMPRESSED_FILES)
function(tavik_compress source name destination)
    set(output ${TAVIK_COMPRESSED_DIR}/${name}.gz)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVIK_COMPRESSED_DIR}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${TAVIK_COMPRESSED_DIR}/${name}
        COMMAND gzip -9nf ${TAVIK_COMPRESSED_DIR}/${name}
        DEPENDS ${source}
        COMMENT "Compressing ${name}"
        VERBATIM)
    install(FILES ${output} DESTINATION ${destination})
    set(TAVIK_COMPRESSED_FILES ${TAVIK_COMPRESSED_FILES} ${output} PARENT_SCOPE)
endfunction()
foreach(page ${TAVIK_MANUAL_PAGES})
    get_filename_component(name ${page} NAME)
    tavik_compress(${page} ${name} ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# A native package: its Debian changelog is changelog.gz.
tavik_compress(${PROJECT_SOURCE_DIR}/data/debian/changelog changelog ${TAVIK_DOC_DIR})
add_custom_target(tavik-package-files ALL DEPENDS ${TAVIK_COMPRESSED_FILES})

set(CPACK_PACKAGE_NAME tavik-connection)
set(CPACK_PACKAGE_VENDOR "Korvane Solutions, Inc.")
set(CPACK_PACKAGE_CONTACT "${TAVIK_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "ties this computer to one Tavik laboratory instrument on the local network")
# Lines of at most 79 characters: dpkg shows them indented by one.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Tavik Instrument Connection shows which laboratory instrument of the Tavik\n"
    "family this computer is configured to use and whether it answers; finds the\n"
    "instruments on the network segment by broadcast; claims, releases and renames\n"
    "them; and repairs the stored connection when the instrument has moved to\n"
    "another address. It speaks the instruments' UDP protocol on port 19798.\n"
    "\n"
    "The package also holds tavik-instrument-sim, which simulates instruments for\n"
    "trying the program out and for tests.")
if(TARGET tavikctl)
    string(APPEND CPACK_PACKAGE_DESCRIPTION "\n"
        "\n"
        "tavikctl does the same from the command line.")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVIK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAVIK_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps (package dpkg-dev); Qt's platform plugins and
# the SVG icon engine (for the window icon) are loaded at run time, which shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# Native Wayland windows, the default session of Debian's GNOME. Suggested: Wireshark or tshark,
# which load the dissector, and nft, with which doctor reads the firewall.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark, nftables")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

include(CPack)
