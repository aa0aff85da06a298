# The GNOME Shell extension through which vantrel sees GNOME's windows. GNOME
# 43-44 load only the legacy form, 45 and later only ES modules, so both forms
# are made from one body, each a folder of its own with its own uuid.
include(GNUInstallDirs)
set(gnome_src ${PROJECT_SOURCE_DIR}/gnome)
file(READ ${gnome_src}/windows.js BODY)
# The body is read here: a change to it must regenerate both forms.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${gnome_src}/windows.js)

set(gnome_legacy_uuid vantrel-legacy@vantrel.github.io)
set(gnome_legacy_template extension-legacy.js.in)
set(gnome_legacy_versions "\"43\", \"44\"")
set(gnome_modern_uuid vantrel@vantrel.github.io)
set(gnome_modern_template extension.js.in)
set(gnome_modern_versions "\"45\", \"46\", \"47\", \"48\", \"49\", \"50\", \"51\"")

foreach(form legacy modern)
    set(UUID ${gnome_${form}_uuid})
    set(VERSIONS ${gnome_${form}_versions})
    set(out ${PROJECT_BINARY_DIR}/gnome/${UUID})
    configure_file(${gnome_src}/${gnome_${form}_template} ${out}/extension.js @ONLY)
    configure_file(${gnome_src}/metadata.json.in ${out}/metadata.json @ONLY)
    install(DIRECTORY ${out} DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions)
endforeach()
