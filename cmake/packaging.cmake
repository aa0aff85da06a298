# What `cmake --install` and CPack ship: the program and its documents, none
# of the tests, fuzzers or benchmarks.
#   Windows: vantrel-<version>-win32.zip / -win64.zip with vantrel.exe, README.md, LICENSE
#   Linux:   vantrel_<version>_<arch>.deb and vantrel-<version>-1.<arch>.rpm, /usr/bin/vantrel,
#            its man page, copyright, CHANGELOG.md and the GNOME Shell extension's two
#            folders (gnome/gnome.cmake); the .deb also Debian's changelog.gz
if(NOT TARGET vantrel)
    return()
endif()

# Who makes the packages: the .deb's maintainer, the RPM's packager and the
# signature under each changelog entry. A release made elsewhere gives its own.
set(VANTREL_MAINTAINER "the vantrel authors <vantrel@users.noreply.github.com>" CACHE STRING
    "Maintainer of the packages, with an address")

# The one time every package of a commit carries, wherever and whenever it is
# built: SOURCE_DATE_EPOCH where the builder sets it (Debian's do); in a build
# from the source archive the commit's time, which git archive wrote into
# cmake/archive-commit (taken before git: such a tree may lie inside another
# repository); else the last commit's time.
file(READ ${PROJECT_SOURCE_DIR}/cmake/archive-commit archive_commit)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(VANTREL_SOURCE_DATE $ENV{SOURCE_DATE_EPOCH})
elseif(archive_commit MATCHES "^([0-9]+) ")
    set(VANTREL_SOURCE_DATE ${CMAKE_MATCH_1})
else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE VANTREL_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT VANTREL_SOURCE_DATE MATCHES "^[0-9]+$")
    string(TIMESTAMP VANTREL_SOURCE_DATE "%s" UTC)
    message(STATUS "No commit time (no git, no source archive): the packages carry today's")
endif()
# CPack takes the members' times from the environment: set there at package time.
set(CPACK_SOURCE_DATE_EPOCH ${VANTREL_SOURCE_DATE})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-project.cmake)

set(CPACK_PACKAGE_VENDOR "the vantrel authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Asks a window to close after a delay")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    install(TARGETS vantrel RUNTIME DESTINATION .)
    install(FILES README.md LICENSE DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    # CPack zips a package in the order the file system lists its files, but
    # a component's files sorted: everything one component, in one zip, in
    # its folder.
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL Unspecified)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
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
    install(FILES CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

    set(CPACK_GENERATOR DEB RPM)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_MAINTAINER}")
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
    # would clash with other packages. Its build time, the files' times and the
    # host it names are the source's, not the build's.
    set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
    set(CPACK_RPM_PACKAGE_RELEASE 1)
    set(CPACK_RPM_PACKAGE_LICENSE MIT)
    set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
    set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_BINARY_DIR}/rpm-changelog)
    set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none
%define packager ${VANTREL_MAINTAINER}
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _buildhost reproducible")
    set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1
        /usr/share/gnome-shell /usr/share/gnome-shell/extensions)
    include(cmake/changelog.cmake)
endif()

include(CPack)
