# Debian's changelog and the RPM's %changelog, made from CHANGELOG.md: each
# "## VERSION" section an entry, its bullets ("- ", continued after two
# blanks) the entry's lines. A section is dated by " - YYYY-MM-DD" after its
# version, else by the source's time (packaging.cmake).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
file(READ ${PROJECT_SOURCE_DIR}/CHANGELOG.md notes)
set(debian_changelog "")
set(rpm_changelog "")
# Read as one string, never as a list: a semicolon in the text stays one.
string(FIND "${notes}" "\n## " at)
while(at GREATER -1)
    math(EXPR at "${at} + 4")
    string(SUBSTRING "${notes}" ${at} -1 notes)
    string(FIND "${notes}" "\n## " at)
    string(SUBSTRING "${notes}" 0 ${at} section)
    if(NOT section MATCHES "^([0-9][0-9.]*)( - ([0-9]+-[0-9]+-[0-9]+))?\n(.*)$")
        message(FATAL_ERROR "CHANGELOG.md: a section starts \"## VERSION\" or \"## VERSION - YYYY-MM-DD\", not: ${section}")
    endif()
    set(version ${CMAKE_MATCH_1})
    set(when @${VANTREL_SOURCE_DATE})
    if(CMAKE_MATCH_3)
        set(when "${CMAKE_MATCH_3} 12:00")
    endif()
    string(STRIP "${CMAKE_MATCH_4}" body)
    # Both dates, in the C locale; a list of two.
    execute_process(COMMAND env LC_ALL=C date -u -d "${when}" "+%a, %d %b %Y %T +0000;%a %b %d %Y"
                    OUTPUT_VARIABLE dates OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    list(GET dates 0 debian_date)
    list(GET dates 1 rpm_date)
    string(REPLACE "\n  " "\n    " lines "\n${body}")
    string(REPLACE "\n- " "\n  * " lines "${lines}")
    string(APPEND debian_changelog "${PROJECT_NAME} (${version}) unstable; urgency=medium\n${lines}\n\n"
                                   " -- ${VANTREL_MAINTAINER}  ${debian_date}\n\n")
    # rpmbuild would expand a % in the text.
    string(REPLACE "%" "%%" lines "${body}")
    string(APPEND rpm_changelog "* ${rpm_date} ${VANTREL_MAINTAINER} - ${version}-${CPACK_RPM_PACKAGE_RELEASE}\n"
                                "${lines}\n\n")
endwhile()
file(WRITE ${PROJECT_BINARY_DIR}/rpm-changelog "${rpm_changelog}")
file(WRITE ${PROJECT_BINARY_DIR}/debian/changelog "${debian_changelog}")

# Debian wants it compressed, without name or time stamp, in a folder that
# CPack adds to the .deb alone, as it is to lie in the package
# (cpack-project.cmake).
set(CPACK_DEBIAN_ONLY_DIR ${PROJECT_BINARY_DIR}/debian/package)
set(debian_doc ${CPACK_DEBIAN_ONLY_DIR}${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR})
add_custom_command(OUTPUT ${debian_doc}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy debian/changelog ${debian_doc}/changelog
    COMMAND gzip -9nf ${debian_doc}/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${debian_doc}/changelog.gz)
