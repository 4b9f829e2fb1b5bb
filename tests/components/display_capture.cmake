# Display and capture, end to end through the host simulator with the
# plug-in linked in, so the platform probe reaches the plug-in's seam.
zq_add_test(display_capture_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/display_capture_test.cpp LIBS zq_hostsim)
zq_add_test(display_colours_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/display_colours_test.cpp LIBS zq_hostsim)
