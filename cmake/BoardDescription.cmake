# The board the module is built for: BOARDINIT_BOARD names a folder whose module.json describes
# what differs from board to board in the module (pad tables, early pads, the board step's pads and
# register). cmake/BoardTables.py checks it and writes the module's constexpr tables into the
# build tree; the firmware's sources include them from there, never from the source tree.
set(BOARDINIT_BOARD "${PROJECT_SOURCE_DIR}/firmware/board" CACHE PATH
    "Folder holding module.json, the description of the board the module is built for")
get_filename_component(BOARDINIT_BOARD_DIR "${BOARDINIT_BOARD}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
set(BOARDINIT_BOARD_DESCRIPTION "${BOARDINIT_BOARD_DIR}/module.json")
set(BOARDINIT_BOARD_TABLES_DIR "${PROJECT_BINARY_DIR}/generated")
if(NOT EXISTS "${BOARDINIT_BOARD_DESCRIPTION}")
  message(FATAL_ERROR "BOARDINIT_BOARD=${BOARDINIT_BOARD}: ${BOARDINIT_BOARD_DESCRIPTION} does not exist")
endif()

# Generated at configure time, so that a description with a mistake stops the configure with its
# one line; an edit of the description or the generator configures again.
file(RELATIVE_PATH description "${PROJECT_SOURCE_DIR}" "${BOARDINIT_BOARD_DESCRIPTION}")
if(description MATCHES "^\\.\\./")
  set(description "${BOARDINIT_BOARD_DESCRIPTION}")
endif()
execute_process(
  COMMAND ${Python3_EXECUTABLE} cmake/BoardTables.py ${description} ${BOARDINIT_BOARD_TABLES_DIR}
  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
  RESULT_VARIABLE result
  ERROR_VARIABLE error
  ERROR_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
  # The generator's line as it wrote it: FATAL_ERROR would wrap it.
  message(NOTICE "${error}")
  message(FATAL_ERROR "BOARDINIT_BOARD=${BOARDINIT_BOARD}: the board description is refused")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${BOARDINIT_BOARD_DESCRIPTION}"
             "${PROJECT_SOURCE_DIR}/cmake/BoardTables.py"
             "${PROJECT_SOURCE_DIR}/cmake/board_description.py")
message(STATUS "Board: ${description}")
