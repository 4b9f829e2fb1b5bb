# The platform-free unit tests built natively, under the sanitizers the native
# build compiles everything with. The same sources are part of the Windows
# test executables (tests/paths, tests/imaging, components/print.cmake).
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

foreach(unit paths/paths_core imaging/bmp_format imaging/colour_match imaging/picture_format imaging/print_layout)
    get_filename_component(layer ${unit} DIRECTORY)
    get_filename_component(name ${unit} NAME)
    add_executable(${name}_test ${CMAKE_CURRENT_LIST_DIR}/${unit}_test.cpp)
    target_link_libraries(${name}_test PRIVATE zq_${layer}_core gtest_main)
    gtest_discover_tests(${name}_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
endforeach()

# The resampler against Pillow's resize, run natively under the sanitizers.
add_executable(resample_tool ${CMAKE_CURRENT_LIST_DIR}/imaging/resample_tool.cpp)
target_link_libraries(resample_tool PRIVATE zq_imaging_core)
add_test(NAME resample_pillow
         COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/imaging/resample_pillow.py $<TARGET_FILE:resample_tool>)
set_tests_properties(resample_pillow PROPERTIES TIMEOUT 300)
