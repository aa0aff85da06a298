# Read by CPack before each package: the DEB and ZIP members' times, and
# rpmbuild's, are the source's (packaging.cmake).
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SOURCE_DATE_EPOCH})
if(CPACK_GENERATOR STREQUAL "DEB")
    # Debian's changelog, in the .deb alone (changelog.cmake).
    set(CPACK_INSTALLED_DIRECTORIES "${CPACK_DEBIAN_ONLY_DIR};/")
endif()
