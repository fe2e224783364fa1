# The reproducibility test: configures the project afresh in WORK (another folder than the
# build's), builds only the image and its shipped forms there (with the packaging tool they
# need), and requires every file of REPRODUCED to equal the build's in IMAGE_DIR byte for byte.
#   cmake -DSOURCE=<dir> -DWORK=<dir> -DIMAGE_DIR=<dir> -DREPRODUCED=<name,...>
#         -DOPTIONS=<-Dname=value,...> -P RebuildIsIdentical.cmake
file(REMOVE_RECURSE "${WORK}")
string(REPLACE "," ";" options "${OPTIONS}")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G Ninja -DBOARDINIT_TESTS=OFF
                        ${options}
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring the second build failed:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} --target module_package
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the second build failed:\n${output}")
endif()
set(FIRST ${IMAGE_DIR})
set(SECOND ${WORK}/image)
set(FILES ${REPRODUCED})
set(RESULT ${WORK}/reproducibility.json)
set(REQUIRE_IDENTICAL ON)
include(${SOURCE}/cmake/CompareBuilds.cmake)
message(STATUS "byte-identical: ${REPRODUCED}")
file(REMOVE_RECURSE "${WORK}")
