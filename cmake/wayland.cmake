# The Wayland window system: libwayland-client, and the glue for the
# window-list protocol that wayland-scanner writes from its XML at build time.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
find_path(WAYLAND_CLIENT_INCLUDE_DIR wayland-client.h REQUIRED)
find_library(WAYLAND_CLIENT_LIBRARY wayland-client REQUIRED)

set(wlr_toplevel wlr-foreign-toplevel-management-unstable-v1)
set(wlr_toplevel_xml ${PROJECT_SOURCE_DIR}/winsys/${wlr_toplevel}.xml)
set(wayland_generated ${PROJECT_BINARY_DIR}/wayland)
add_custom_command(OUTPUT ${wayland_generated}/${wlr_toplevel}-client-protocol.h
    COMMAND ${CMAKE_COMMAND} -E make_directory ${wayland_generated}
    COMMAND ${WAYLAND_SCANNER} client-header ${wlr_toplevel_xml} ${wayland_generated}/${wlr_toplevel}-client-protocol.h
    DEPENDS ${wlr_toplevel_xml} VERBATIM)
add_custom_command(OUTPUT ${wayland_generated}/${wlr_toplevel}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${wayland_generated}
    COMMAND ${WAYLAND_SCANNER} private-code ${wlr_toplevel_xml} ${wayland_generated}/${wlr_toplevel}-protocol.c
    DEPENDS ${wlr_toplevel_xml} VERBATIM)

target_sources(vantrel PRIVATE ${wayland_generated}/${wlr_toplevel}-client-protocol.h
                               ${wayland_generated}/${wlr_toplevel}-protocol.c)
target_include_directories(vantrel PRIVATE ${wayland_generated} ${WAYLAND_CLIENT_INCLUDE_DIR})
target_link_libraries(vantrel PRIVATE ${WAYLAND_CLIENT_LIBRARY})
