# The KWin window system: sd-bus's header, to reach KWin's scripting on the
# session bus. libsystemd itself is loaded at run time, when it is needed.
find_path(SYSTEMD_INCLUDE_DIR systemd/sd-bus.h REQUIRED)
target_include_directories(vantrel PRIVATE ${SYSTEMD_INCLUDE_DIR})
target_link_libraries(vantrel PRIVATE ${CMAKE_DL_LIBS})
