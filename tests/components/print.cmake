# The print component: its page layout, and the action end to end through the
# host simulator with the plug-in linked in and a fake printer at its seam.
zq_add_test(print_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/print_test.cpp ${CMAKE_SOURCE_DIR}/tests/imaging/print_layout_test.cpp
    LIBS zq_hostsim)

# The print component on a real printer: CUPS's PDF printer, which the test
# command sets up; each page is rendered and checked where the layout puts it.
add_executable(print_page ${CMAKE_CURRENT_LIST_DIR}/print_page.cpp ${CMAKE_CURRENT_LIST_DIR}/dialog_driver.cpp)
target_link_libraries(print_page PRIVATE zq_plugin zq_hostsim)
add_test(NAME PrintOnThePdfPrinter
    COMMAND ${ZQ_SYSTEM_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/print_pdf.py
            --runner ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh
            --driver $<TARGET_FILE:print_page>
            --work ${CMAKE_CURRENT_BINARY_DIR}/print_pdf)
# One printer and one output folder: the jobs of two such tests must not mix.
set_tests_properties(PrintOnThePdfPrinter PROPERTIES TIMEOUT 1200 RESOURCE_LOCK pdf-printer LABELS printer)
