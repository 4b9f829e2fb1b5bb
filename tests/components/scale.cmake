# The scale component, end to end through the host simulator with the plug-in
# linked in, so the platform probe reaches its seam.
zq_add_test(scale_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/scale_test.cpp LIBS zq_hostsim)
