# Run at build time by add_gtest_suites: writes one add_test per suite of EXECUTABLE to OUTPUT,
# each requiring the ctest fixtures FIXTURES when that is set.
execute_process(COMMAND "${EXECUTABLE}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXECUTABLE} --gtest_list_tests failed (${status}):\n${listing}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(script "")
set(count 0)
foreach(line IN LISTS lines)
  # Suite lines start in column 0 and end with a dot (a type or value parameter may follow as
  # a comment); case lines are indented.
  if(line MATCHES "^([A-Za-z_][A-Za-z0-9_/]*)\\.( *#.*)?$")
    set(suite "${CMAKE_MATCH_1}")
    string(APPEND script
           "add_test([=[${suite}]=] [==[${EXECUTABLE}]==] [=[--gtest_filter=${suite}.*]=])\n")
    if(FIXTURES)
      string(APPEND script
             "set_tests_properties([=[${suite}]=] PROPERTIES FIXTURES_REQUIRED [=[${FIXTURES}]=])\n")
    endif()
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "${EXECUTABLE} lists no test suites")
endif()
file(WRITE "${OUTPUT}" "${script}")
