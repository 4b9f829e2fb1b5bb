# zq_layer(<target> SOURCES <files...> [USES <lower layers...>])
# One layer of the plug-in as a static library. Every build first checks that
# no source includes a header of a higher layer (check_layers.cmake).
set(ZQ_LAYER_FOLDERS platform paths imaging framework components)
set(zq_layer_sources)
foreach(folder IN LISTS ZQ_LAYER_FOLDERS)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND zq_layer_sources ${found})
endforeach()
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/layers.stamp
    COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -DSTAMP=${CMAKE_BINARY_DIR}/layers.stamp
            -P ${CMAKE_SOURCE_DIR}/cmake/check_layers.cmake
    DEPENDS ${zq_layer_sources} ${CMAKE_SOURCE_DIR}/cmake/check_layers.cmake
    COMMENT "Checking that includes go only down the layers")
add_custom_target(zq_layer_check DEPENDS ${CMAKE_BINARY_DIR}/layers.stamp)

function(zq_layer name)
    cmake_parse_arguments(arg "" "" "SOURCES;USES" ${ARGN})
    add_library(${name} STATIC ${arg_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${arg_USES})
    if(WIN32)
        target_compile_options(${name} PRIVATE ${ZQ_PLUGIN_FLOAT_OPTIONS})
    endif()
    add_dependencies(${name} zq_layer_check)
endfunction()
