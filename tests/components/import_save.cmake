# Import and save, end to end through the host simulator with the platform
# probe; the dialog tests drive the real dialogs on the virtual display.
zq_add_test(import_save_test
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/import_save_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/import_save_numbered_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/import_save_dialog_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/codec_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dialog_driver.cpp
    LIBS zq_hostsim)
