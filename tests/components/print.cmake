# The print component: its page layout, and the action end to end through the
# host simulator with the plug-in linked in and a fake printer at its seam.
zq_add_test(print_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/print_test.cpp LIBS zq_hostsim)
