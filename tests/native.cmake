# The platform-free unit tests built natively, under the sanitizers the native
# build compiles everything with. The same sources are part of the Windows
# test executables (tests/files/CMakeLists.txt, components/print.cmake).
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

foreach(unit paths_core bmp_format print_layout)
    add_executable(${unit}_test ${CMAKE_CURRENT_LIST_DIR}/files/${unit}_test.cpp)
    target_link_libraries(${unit}_test PRIVATE zq_files_portable gtest_main)
    gtest_discover_tests(${unit}_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
endforeach()
