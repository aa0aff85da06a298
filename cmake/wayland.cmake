# The Wayland window systems: libwayland-client, and the glue for the
# window-list protocols that wayland-scanner writes from their XML at build
# time.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
find_path(WAYLAND_CLIENT_INCLUDE_DIR wayland-client.h REQUIRED)
find_library(WAYLAND_CLIENT_LIBRARY wayland-client REQUIRED)

# The protocols written out in winsys/, each PROTOCOL.xml.
set(WAYLAND_PROTOCOLS wlr-foreign-toplevel-management-unstable-v1 ext-foreign-toplevel-list-v1
                      cosmic-toplevel-info-unstable-v1 cosmic-toplevel-management-unstable-v1)

# Adds to TARGET the code for every protocol above, and its headers for SIDE
# (client or server), written into the folder GENERATED.
function(wayland_protocols target side generated)
    foreach(protocol ${WAYLAND_PROTOCOLS})
        set(xml ${PROJECT_SOURCE_DIR}/winsys/${protocol}.xml)
        add_custom_command(OUTPUT ${generated}/${protocol}-${side}-protocol.h
            COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
            COMMAND ${WAYLAND_SCANNER} ${side}-header ${xml} ${generated}/${protocol}-${side}-protocol.h
            DEPENDS ${xml} VERBATIM)
        add_custom_command(OUTPUT ${generated}/${protocol}-protocol.c
            COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
            COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${generated}/${protocol}-protocol.c
            DEPENDS ${xml} VERBATIM)
        target_sources(${target} PRIVATE ${generated}/${protocol}-${side}-protocol.h
                                         ${generated}/${protocol}-protocol.c)
    endforeach()
    target_include_directories(${target} PRIVATE ${generated})
endfunction()

wayland_protocols(vantrel client ${PROJECT_BINARY_DIR}/wayland)
target_include_directories(vantrel PRIVATE ${WAYLAND_CLIENT_INCLUDE_DIR})
target_link_libraries(vantrel PRIVATE ${WAYLAND_CLIENT_LIBRARY})
