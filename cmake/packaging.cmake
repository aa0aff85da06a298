# What `cmake --install` and CPack ship: the program and its documents, none
# of the tests, fuzzers or benchmarks.
#   Windows: vantrel-<version>-win32.zip / -win64.zip with vantrel.exe, README.md, LICENSE
#   Linux:   vantrel_<version>_<arch>.deb and vantrel-<version>-1.<arch>.rpm, /usr/bin/vantrel,
#            its man page and the GNOME Shell extension's two folders (gnome/gnome.cmake)
if(NOT TARGET vantrel)
    return()
endif()

set(CPACK_PACKAGE_VENDOR "the vantrel authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Asks a window to close after a delay")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    install(TARGETS vantrel RUNTIME DESTINATION .)
    install(FILES README.md LICENSE DESTINATION .)
    set(CPACK_GENERATOR ZIP)
else()
    include(GNUInstallDirs)
    install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # Debian wants man pages compressed, without name or time stamp.
    add_custom_command(OUTPUT vantrel.1.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/vantrel.1 vantrel.1
        COMMAND gzip -9nf vantrel.1
        DEPENDS ${PROJECT_SOURCE_DIR}/doc/vantrel.1 VERBATIM)
    add_custom_target(manpage ALL DEPENDS vantrel.1.gz)
    install(FILES ${PROJECT_BINARY_DIR}/vantrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

    set(CPACK_GENERATOR DEB RPM)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the vantrel authors")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_PACKAGE_DESCRIPTION "vantrel finds the first top-level window whose title contains a fragment,
waits the given number of minutes and then sends that window the desktop's
polite close request, as its close button would.")
    # Depends from the libraries the program really links (libc6, libxcb1, ...),
    # with the versions it was built against.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # Loaded only to reach KWin on KDE Plasma, so not linked and not found above.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libsystemd0)

    # The RPM, for Fedora and the like: rpmbuild finds the libraries the program
    # links (libsystemd comes with every Fedora system). It owns only its own
    # folders, not the system's, and carries no /usr/lib/.build-id links, which
    # would clash with other packages.
    set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
    set(CPACK_RPM_PACKAGE_LICENSE MIT)
    set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
    set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none")
    set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1
        /usr/share/gnome-shell /usr/share/gnome-shell/extensions)
endif()

include(CPack)
