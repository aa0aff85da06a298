# The window systems on the session bus (KWin, GNOME): sd-bus's header.
# libsystemd itself is loaded at run time, when it is needed.
find_path(SYSTEMD_INCLUDE_DIR systemd/sd-bus.h REQUIRED)
target_include_directories(vantrel PRIVATE ${SYSTEMD_INCLUDE_DIR})
target_link_libraries(vantrel PRIVATE ${CMAKE_DL_LIBS})
