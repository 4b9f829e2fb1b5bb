# Fails when a source includes a header of a higher layer. Each layer may
# include its own headers and those of the layers listed for it.
#   cmake -DROOT=<source dir> -DSTAMP=<file> -P check_layers.cmake
cmake_policy(VERSION 3.25)
set(layers platform paths imaging framework components)
set(below_platform)
set(below_paths platform)
set(below_imaging platform)
set(below_framework platform)
set(below_components platform paths imaging framework)

set(faults "")
foreach(layer IN LISTS layers)
    file(GLOB sources ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
    set(allowed ${layer} ${below_${layer}})
    foreach(source IN LISTS sources)
        file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([^\"/]*)/.*$" "\\1" folder "${line}")
            if(folder STREQUAL line)  # no folder: a header beside the source
                continue()
            endif()
            if(NOT folder IN_LIST allowed)
                file(RELATIVE_PATH where ${ROOT} ${source})
                string(APPEND faults "  ${where}: ${line}  (${layer} may include only: ${allowed})\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "An include reaches up the layers:\n${faults}")
endif()
file(TOUCH ${STAMP})
