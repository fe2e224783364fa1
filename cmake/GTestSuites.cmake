# One ctest test per GoogleTest suite, each run as one process with --gtest_filter=Suite.*.
# A process per test case spent most of the suite's wall time starting up (sanitizer runtime,
# image files read again); a process per suite keeps failures named by suite while paying that
# once per suite. The suites are listed after each link, as gtest_discover_tests does for cases.
#
#   add_gtest_suites(TARGET)
function(add_gtest_suites target)
  set(list_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake")
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -D "EXECUTABLE=$<TARGET_FILE:${target}>" -D "OUTPUT=${list_file}"
            -D "FIXTURES=${BOARDINIT_TEST_FIXTURES}"
            -P "${PROJECT_SOURCE_DIR}/cmake/GTestSuitesList.cmake"
    VERBATIM)
  # ctest reads the list through a wrapper, so that a tree configured but not built yet shows
  # one failing test instead of an error.
  set(include_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_include.cmake")
  file(WRITE "${include_file}"
       "if(EXISTS [==[${list_file}]==])\n"
       "  include([==[${list_file}]==])\n"
       "else()\n"
       "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include_file}")
endfunction()
