# The resources of vantrel.exe: a manifest that makes UTF-8 the process code
# page, and version information taken from project().
enable_language(RC)
set(VANTREL_MANIFEST ${PROJECT_SOURCE_DIR}/cli/vantrel.manifest)
# FILEVERSION wants four numbers; project() may give fewer.
set(VANTREL_VERSION_NUMBERS)
foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
        list(APPEND VANTREL_VERSION_NUMBERS 0)
    else()
        list(APPEND VANTREL_VERSION_NUMBERS ${PROJECT_VERSION_${part}})
    endif()
endforeach()
list(JOIN VANTREL_VERSION_NUMBERS "," VANTREL_VERSION_NUMBERS)

configure_file(${PROJECT_SOURCE_DIR}/cli/vantrel.rc.in ${PROJECT_BINARY_DIR}/vantrel.rc @ONLY)
# windres reads the manifest itself; CMake would not notice it change.
set_source_files_properties(${PROJECT_BINARY_DIR}/vantrel.rc PROPERTIES OBJECT_DEPENDS ${VANTREL_MANIFEST})
target_sources(vantrel PRIVATE ${PROJECT_BINARY_DIR}/vantrel.rc)
